// Typed filters of several words: reading the box and testing a text against the words.
#include "text/wordfilter.h"

namespace {

bool isSpace(QChar c)
{
    return c == u' ' || c == u'\u3000';
}

bool isMinus(QChar c)
{
    return c == u'-' || c == u'－';
}

} // namespace

namespace WordFilter {

Words parse(QStringView text, bool minusExcludes)
{
    Words words;
    for (qsizetype i = 0; i < text.size();) {
        if (isSpace(text[i])) {
            ++i;
            continue;
        }
        qsizetype end = i;
        while (end < text.size() && !isSpace(text[end]))
            ++end;
        const QStringView word = text.sliced(i, end - i);
        if (minusExcludes && word.size() > 1 && isMinus(word.front()))
            words.excluded.append(word.sliced(1).toString());
        else
            words.required.append(word.toString());
        i = end;
    }
    return words;
}

bool matches(QStringView text, const Words& words)
{
    for (const QString& word : words.required) {
        if (!text.contains(word, Qt::CaseInsensitive))
            return false;
    }
    return !containsAny(text, words.excluded);
}

bool containsAny(QStringView text, const QStringList& words)
{
    for (const QString& word : words) {
        if (text.contains(word, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

bool isBlank(QStringView text)
{
    for (const QChar c : text) {
        if (!isSpace(c))
            return false;
    }
    return true;
}

} // namespace WordFilter
