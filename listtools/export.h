// Writing the export file "关键词.txt" and the record of the last fetched hot-word list. Files are
// replaced whole or not at all. They go to the program's directory; when it cannot be written (an
// installed copy, say), the export goes to the user's documents folder and the record to the
// program's own data folder, where it replaces no file of the user's.
#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>

namespace ExportFile {

inline constexpr char16_t FileName[] = u"关键词.txt";
inline constexpr char16_t RecordFileName[] = u"1.txt";

struct Result
{
    bool ok = false;
    QString path;         // the file written, or the last one tried
    bool fallback = false; // written to the second folder instead of the program's directory
    QStringList failures;  // one line per folder that could not be written, in Chinese
};

// The folders tried in turn: the program's directory, then the documents folder (the export) or
// the program's data folder (the record; DataFolder::path(), where the session is kept too). Tests
// point them at temporary folders; an empty text restores the real folder.
void setProgramDirForTesting(const QString& dir);
void setDocumentsDirForTesting(const QString& dir);
void setAppDataDirForTesting(const QString& dir);
QString programDir();
QString documentsDir();
QString appDataDir();

// Replaces path with bytes through a temporary file; on failure the previous file is untouched
// and error says why, in Chinese.
bool writeWhole(const QString& path, const QByteArray& bytes, QString* error = nullptr);

// Writes bytes to fileName in the program's directory, else in fallbackDir (created if need be).
Result writeWithFallback(const QString& fileName, const QByteArray& bytes, const QString& fallbackDir);

// The export file's content goes to "关键词.txt".
Result writeExport(const QByteArray& bytes);

// The record of the last fetched hot-word list: the list followed by CRLF, in GBK, written to
// "d:\1.txt" on Windows and elsewhere to "1.txt" in the program's directory, else in the program's
// data folder. A failure is silent.
void writeFetchRecord(const QString& list);

} // namespace ExportFile
