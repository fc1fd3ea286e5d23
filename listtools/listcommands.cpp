// The list commands' rules: keep or drop the entries that contain a text, keep the entries longer
// than a limit, and the export conversion. Entries are views into the list; each new list is built
// with one allocation.
#include "listtools/listcommands.h"

#include "platform/codepage.h"
#include "text/module1.h"

#include <QList>
#include <QStringView>

using namespace Qt::StringLiterals;

namespace {

constexpr QStringView Crlf = u"\r\n";

// Calls take(entry) for each entry of the list cut at every CRLF: none for an empty list, an empty
// last entry when it ends with CRLF.
template<typename Take>
void forEachEntry(QStringView list, Take take)
{
    if (list.isEmpty())
        return;
    qsizetype from = 0;
    // CRLF cannot overlap itself: every CR directly before a line feed closes an entry.
    for (qsizetype lf = list.indexOf(u'\n', 1); lf >= 0; lf = list.indexOf(u'\n', lf + 1)) {
        if (list[lf - 1] == u'\r') {
            take(list.mid(from, lf - 1 - from));
            from = lf + 1;
        }
    }
    take(list.mid(from));
}

// The entries for which keep(entry) holds, each followed by CRLF.
template<typename Keep>
QString selectEntries(const QString& list, Keep keep)
{
    QList<QStringView> kept;
    qsizetype length = 0;
    forEachEntry(list, [&](QStringView entry) {
        if (keep(entry)) {
            kept.append(entry);
            length += entry.size() + Crlf.size();
        }
    });
    QString result;
    result.reserve(length);
    for (QStringView entry : std::as_const(kept)) {
        result += entry;
        result += Crlf;
    }
    return result;
}

} // namespace

namespace ListCommands {

QString trimSpaces(const QString& text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text[from] == u' ')
        ++from;
    while (to > from && text[to - 1] == u' ')
        --to;
    return text.mid(from, to - from);
}

qsizetype countEntries(const QString& list)
{
    qsizetype count = 0;
    forEachEntry(list, [&count](QStringView entry) {
        for (const QChar c : entry) {
            if (c != u' ') {
                ++count;
                return;
            }
        }
    });
    return count;
}

QString keepContaining(const QString& list, const QString& filter)
{
    return selectEntries(list, [&](QStringView entry) { return entry.contains(filter, Qt::CaseInsensitive); });
}

QString dropContaining(const QString& list, const QString& filter)
{
    return selectEntries(list, [&](QStringView entry) { return !entry.contains(filter, Qt::CaseInsensitive); });
}

QString keepMatching(const QString& list, const WordFilter::Words& words)
{
    // One word, the usual case, takes the single-text path and costs what it always cost.
    if (words.required.size() == 1 && words.excluded.isEmpty())
        return keepContaining(list, words.required.front());
    // With a required word the entry holds something besides spaces anyway.
    if (words.required.isEmpty())
        return selectEntries(list, [&](QStringView entry) {
            return !WordFilter::isBlank(entry) && WordFilter::matches(entry, words);
        });
    return selectEntries(list, [&](QStringView entry) { return WordFilter::matches(entry, words); });
}

QString dropContainingAny(const QString& list, const QStringList& words)
{
    if (words.size() == 1)
        return dropContaining(list, words.front());
    return selectEntries(list, [&](QStringView entry) { return !WordFilter::containsAny(entry, words); });
}

QString keepLongerThan(const QString& list, qint32 limit)
{
    return selectEntries(list, [limit](QStringView entry) { return entry.size() > qsizetype(limit); });
}

qint32 lengthLimitFromText(const QString& text)
{
    return Module1::ReadWholeNumber(text).value_or(0);
}

QByteArray exportBytes(const QString& list, ExportSeparator separator)
{
    QString text = list;
    if (separator == ExportSeparator::Comma)
        text.replace(u"\r\n"_s, u","_s);
    else if (separator == ExportSeparator::Bar)
        text.replace(u"\r\n"_s, u"|"_s);
    text += Crlf;
    return CodePage::toGbk(text);
}

} // namespace ListCommands
