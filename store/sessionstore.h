// The session store: one SQLite file in the program's data folder that keeps the keyword list, the
// window's settings, the kept place of every seed, where each keyword came from and every keyword a
// run asked, so that closing the window, a crash or a power cut loses nothing.
//
// Callers say what happened; the store decides how it is kept. Every write is queued in order and
// committed by one writer thread with its own connection, one transaction per call, so a call's
// changes are in the file whole or not at all. Reads are synchronous and see every write queued
// before them. A store that could not be opened accepts every call and keeps nothing: the window's
// own text stays the truth and the store is only its copy.
//
// Call every function from the thread that called open(); only the writing happens elsewhere.
#pragma once

#include "mining/runplace.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <memory>

class QLockFile;
class QSqlDatabase;

namespace Store {

// What a run reports and keeps is the run's own (mining/runplace.h); the store keeps it as it is.
using Asked = Mining::PageOutcome;
using Mining::FoundKeyword;
using Mining::PageEvent;
using Mining::Place;
inline constexpr auto& RelatedSource = Mining::RelatedSourceName;
inline constexpr auto& SuggestionSource = Mining::SuggestionSourceName;

// Where a keyword came from: the first record made for it.
struct KeywordRecord
{
    QString keyword;
    QString source; // RelatedSource, SuggestionSource, a hot-word list's caption, "文件 NAME"
    QString parent;
    QString seed;
    qint32 generation = 0; // 0 for hot words and files
    QDateTime firstFound;
    qint32 seenCount = 0; // answered pages that listed it; 0 for hot words and files until a page does
};

// A keyword a run asked.
struct AskedKeyword
{
    QString seed;
    QString keyword;
    QDateTime at;
    Asked outcome = Asked::Answered;
};

class ListRecords;

// Writes are queued in order and made by a writer thread of their own (store/writer.h): a write that
// failed is made again, before them, with the writes after it. Opening, with the lock and the file's
// version, is store/opening.cpp; the reads are store/reads.cpp.
class SessionStore : public QObject
{
    Q_OBJECT
public:
    // open() waits this long for the lock of a window that is closing.
    static constexpr int LockWaitMs = 2500;

    explicit SessionStore(QObject* parent = nullptr);
    // close().
    ~SessionStore() override;

    // Opens the store in folder (empty: DataFolder::path()), creating folder and file when missing,
    // and reads what list(), settings() and places() hand out first. Returns an empty text when all is
    // well, otherwise a Simplified-Chinese text for a box titled "保存". With isOpen() false the
    // program goes on without keeping its session: the SQLite driver is missing, the folder or the
    // file cannot be written, a second window of the program (or another program) holds the file, the
    // file is of a newer version (left exactly as it is). With isOpen() true the store works but the
    // user should know: a file that could not be read was renamed aside with its journals (never
    // overwritten or deleted) and a new one made.
    QString open(const QString& folder = QString());
    bool isOpen() const;
    // The file's path once open() has found its folder.
    QString filePath() const;
    // Makes every queued write, closes the file and lets go of its lock, so that another window can
    // open it at once. Returns an empty text when the file holds every write, otherwise a
    // Simplified-Chinese text for a box titled "保存" saying that the last changes are not kept.
    QString close();

    // The list as saved: the text of the last saveList() followed by every listAppend since, unit for
    // unit. The first call after open() hands over what open() read; later calls read the file.
    QString list() const;
    QHash<QString, QString> settings() const; // control objectName -> value text
    // Every kept place with the pages since applied, in the order they were last written whole.
    QList<Place> places() const;
    QList<AskedKeyword> asked() const; // every keyword asked, in order

    // The records of the given keywords (exact match, letter case significant) that have one, in one
    // query. A keyword holding a lone surrogate never has one.
    QHash<QString, KeywordRecord> records(const QStringList& keywords) const;
    // The records of the lines of list (CRLF-separated) for a reader on another thread, the export of
    // the sheet: they are read there, from the file as it stands once every write queued before this
    // call is made. Says why when they cannot be read, also when writes that failed are still waiting
    // (their records would be missing). Null when the store is not open.
    std::shared_ptr<ListRecords> recordsOfList(const QString& list);

    // The writes: each returns at once, and is made in order off the caller's thread. A run's appends
    // reach the saved list through PageEvent::listAppend; saveList() takes every other change (typing,
    // a command, a drop, 获取) and the list at exit.
    void saveList(const QString& text); // replaces the saved list and its appends
    void saveSettings(const QHash<QString, QString>& settings); // replaces every setting
    void recordPage(const PageEvent& event);
    void writePlace(const Place& place); // replaces the place of place.seed and the pages since
    void dropPlace(const QString& seed);
    // Records of words that did not come from a result page: a hot-word list (its caption as source),
    // a dropped file ("文件 NAME"). A word that has a record keeps it; empty words get none.
    void recordWords(const QStringList& words, const QString& source, const QDateTime& at);

    // Waits until every queued write is made (or has failed).
    void flush();

    // Tests: fault is asked on the writer thread before each commit; a result other than 0 makes the
    // commit fail with that SQLite result code (13: the disk is full). An empty function ends it.
    static void setCommitFaultForTesting(std::function<int()> fault);

Q_SIGNALS:
    // A write failed (the disk is full, ...), with its reason in Chinese; emitted in the thread that
    // opened the store, once for each kind of failure. Nothing of the write is lost while the window
    // stays open: it is made again with the next write that succeeds.
    void writeFailed(const QString& reason);

public:
    struct Opening; // what open() found the file to be

private:
    class Writer;
    Opening openFile();
    void closeFile();
    void forgetStartUpReads();
    QSqlDatabase readDatabase() const;

    QString folder_;
    QString path_;
    QString readConnection_;
    std::unique_ptr<QLockFile> lock_;
    std::unique_ptr<Writer> writer_;
    // What open() read, handed out until the first write.
    bool startUpReadsValid_ = false;
    mutable bool startUpListKept_ = false;
    mutable QString startUpList_;
    QHash<QString, QString> startUpSettings_;
    QList<Place> startUpPlaces_;
};

} // namespace Store
