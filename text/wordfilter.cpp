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

// Characters that no other character folds to and that fold to themselves: the CJK ideographs, their
// punctuation and Hangul. A word made of them alone is found letter for letter, which is what the
// search that ignores case finds too, only faster.
bool caseless(QStringView word)
{
    for (const QChar c : word) {
        const char16_t u = c.unicode();
        if (!((u >= 0x3000 && u <= 0x303F) || (u >= 0x3400 && u <= 0x9FFF) || (u >= 0xAC00 && u <= 0xD7A3)
              || (u >= 0xF900 && u <= 0xFAFF)))
            return false;
    }
    return true;
}

bool holds(QStringView text, const QString& word)
{
    return text.contains(word, caseless(word) ? Qt::CaseSensitive : Qt::CaseInsensitive);
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
        if (!holds(text, word))
            return false;
    }
    return !containsAny(text, words.excluded);
}

bool containsAny(QStringView text, const QStringList& words)
{
    for (const QString& word : words) {
        if (holds(text, word))
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
