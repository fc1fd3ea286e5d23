// Filters of several words typed into one box, "减肥 方法 -药": the words are separated by spaces of
// either width, and a word written with a leading minus is one that must not occur. Shared by the
// mining run's contains filter and the list commands.
#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

namespace WordFilter {

struct Words
{
    QStringList required; // every one must occur
    QStringList excluded; // none may occur
    bool isEmpty() const { return required.isEmpty() && excluded.isEmpty(); }
};

// The words of a typed text, cut at U+0020 and U+3000, empty pieces dropped. With minusExcludes, a
// word of two or more characters that starts with "-" or "－" is excluded without its minus; a minus
// standing alone is an ordinary word, as somebody looking for keywords with a dash types it. Without
// minusExcludes every word is required, minus and all.
Words parse(QStringView text, bool minusExcludes = true);

// The text contains every required word and no excluded one, letter case ignored. With no words at all
// every text matches.
bool matches(QStringView text, const Words& words);

// The text contains at least one of the words, letter case ignored.
bool containsAny(QStringView text, const QStringList& words);

// The text holds nothing but spaces of either width, or nothing at all.
bool isBlank(QStringView text);

} // namespace WordFilter
