// Joining keyword files to the list in one pass into a buffer sized beforehand: the lists run to
// millions of lines, and growing or replacing in place would copy them over and over.
#include "listtools/filejoin.h"

#include <algorithm>

namespace FileJoin {

namespace {

// Writes text with its line breaks as CRLF and returns the end of what was written.
QChar* writeWithCrlf(QChar* out, QStringView text)
{
    const QChar* in = text.data();
    const QChar* const end = in + text.size();
    while (in != end) {
        const QChar c = *in++;
        if (c == u'\r' || c == u'\n') {
            if (c == u'\r' && in != end && *in == u'\n')
                ++in;
            *out++ = u'\r';
            *out++ = u'\n';
        } else {
            *out++ = c;
        }
    }
    return out;
}

bool endsWithBreak(QStringView text)
{
    return !text.isEmpty() && (text.back() == u'\r' || text.back() == u'\n');
}

} // namespace

QString joinFileTexts(const QString& list, const QList<QString>& texts)
{
    // Every CR and LF may become two units, and each text may gain a closing CRLF: an upper bound.
    qsizetype bound = list.size() + 2;
    for (const QString& text : texts)
        bound += text.size() + text.count(u'\r') + text.count(u'\n') + 2;

    QString joined(bound, Qt::Uninitialized);
    QChar* const start = joined.data();
    std::copy(list.cbegin(), list.cend(), start);
    QChar* out = start + list.size();
    bool separated = list.isEmpty() || list.endsWith(u"\r\n");
    for (const QString& text : texts) {
        if (text.isEmpty())
            continue;
        if (!separated) {
            *out++ = u'\r';
            *out++ = u'\n';
            separated = true;
        }
        out = writeWithCrlf(out, text);
        if (!endsWithBreak(text)) {
            *out++ = u'\r';
            *out++ = u'\n';
        }
    }
    joined.truncate(out - start);
    return joined;
}

} // namespace FileJoin
