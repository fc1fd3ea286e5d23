// Where the related searches stand on result pages that lack the classic table, one row per layout
// of the engine's pages, newest first; and the reading of a word as the page means it.
#pragma once

#include <QJsonArray>
#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

#include <optional>

namespace Mining {

struct RelatedLayout
{
    const char16_t* name;
    // The id of the element that holds the block, ASCII; compared ignoring letter case.
    const char16_t* id;
    // The words of the block in `content`: the page after the element's start tag, up to the start
    // tag of the next element with the same id or the end of the page; in page order.
    QStringList (*read)(QStringView content);
};

// 2021 - 2026: the element with id rs_new, its words in the s-data comment, the link titles when
// the comment gives none.
// 2014 - 2021: the element with id rs, the text of the first link in each <th> cell up to the next
// </table>.
const QList<RelatedLayout>& relatedLayouts();

// A start tag as the readers take it: "<" and an ASCII letter, up to the next ">" with no other
// "<" before it. The tags of the page whose id attribute is `id` (ASCII, letter case ignored), in
// page order, as the position of their "<" and of their ">".
struct StartTag
{
    qsizetype open;
    qsizetype close;
};
QList<StartTag> startTagsWithId(QStringView page, QStringView id);

// The words of the first element, of the first layout, that gives at least one word: an id named
// inside a script, a template or a selector string ahead of the real element does not hide it.
// None when no element gives a word.
QStringList todaysRelatedWords(QStringView page);

// The value of an attribute of a start tag's text ("<a title=\"x\" class=y", with or without its
// ">"), quoted with either quote or unquoted, its character references still in it; nothing when the
// tag lacks it. The first of two attributes of the same name counts.
std::optional<QStringView> tagAttribute(QStringView tag, QStringView name);

// Decodes HTML character references: the common named ones and the numeric ones ("&#20013;",
// "&#x4e2d;"). A reference that is not recognised, or lacks its ';', stays as it stands.
QString decodeCharacterReferences(QStringView text);

// The text of a piece of markup: every tag removed, then character references decoded.
QString textOfMarkup(QStringView markup);

// The array under key of a JSON object; empty when the text is not such an object or the key holds
// no array.
QJsonArray arrayOfJsonObject(QStringView json, QStringView key);

// A word as the engine's newer layouts give it: line breaks and white space runs made one space and
// trimmed, then lower case, as the classic block is.
QString normalizedWord(const QString& word);

} // namespace Mining
