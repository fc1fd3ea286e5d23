// The new list of each list command and the bytes of the export, as plain functions over the
// keyword list (entries separated by CRLF).
#pragma once

#include "text/wordfilter.h"

#include <QByteArray>
#include <QString>

namespace ListCommands {

// The text without leading and trailing U+0020 spaces; tabs and other spaces stay.
QString trimSpaces(const QString& text);

// How many keywords the list holds: its entries that are not empty once spaces are trimmed.
qsizetype countEntries(const QString& list);

// The entries that contain filter, letter case ignored, each followed by CRLF. The filter is
// expected to be non-empty: the commands do nothing for an empty one.
QString keepContaining(const QString& list, const QString& filter);

// The entries that do not contain filter, letter case ignored, each followed by CRLF; empty
// entries stay as empty lines.
QString dropContaining(const QString& list, const QString& filter);

// 筛选关键词包含 with the words of its box: the entries that contain every required word and no
// excluded one (WordFilter::matches), each followed by CRLF. Entries of nothing but spaces never stay,
// also when the box holds only excluded words. For one word this is keepContaining.
QString keepMatching(const QString& list, const WordFilter::Words& words);

// 筛选关键词不包含 with the words of its box: the entries that contain none of the words, each
// followed by CRLF; empty entries stay as empty lines. For one word this is dropContaining.
QString dropContainingAny(const QString& list, const QStringList& words);

// The entries longer than limit UTF-16 code units, each followed by CRLF.
QString keepLongerThan(const QString& list, qint32 limit);

// The length limit typed into a box: a decimal number rounded down, 0 when it cannot be read or
// does not fit in 32 bits.
qint32 lengthLimitFromText(const QString& text);

enum class ExportSeparator {
    LineBreak, // the list's own CRLF
    Comma,
    Bar,
};

// The export file's content: the list with every CRLF replaced by the separator, then CRLF, in
// GBK (GB18030 four-byte forms for the characters GBK cannot hold).
QByteArray exportBytes(const QString& list, ExportSeparator separator);

} // namespace ListCommands
