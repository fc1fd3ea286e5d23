// Where the related searches stand on result pages that lack the classic table, one row per layout
// of the engine's pages, newest first; and the reading of a word as the page means it.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

namespace Mining {

struct RelatedLayout
{
    const char16_t* name;
    // Found ignoring letter case; the layout's block begins at the first occurrence.
    const char16_t* marker;
    // The words of the block that begins at `at` in the page, in page order.
    QStringList (*read)(QStringView page, qsizetype at);
};

// 2021 - 2026: the element with id="rs_new", its words in the s-data comment, the link titles as fallback.
// 2014 - 2021: <div id="rs">, the text of each <th><a ...>...</a></th> link up to the next </table>.
const QList<RelatedLayout>& relatedLayouts();

// The words of the first layout whose block the page holds; none when no layout's block is there.
QStringList todaysRelatedWords(QStringView page);

// Decodes HTML character references: the common named ones and the numeric ones ("&#20013;",
// "&#x4e2d;"). A reference that is not recognised, or lacks its ';', stays as it stands.
QString decodeCharacterReferences(QStringView text);

// The text of a piece of markup: every tag removed, then character references decoded.
QString textOfMarkup(QStringView markup);

// A word as the engine's newer layouts give it: white space runs made one space and trimmed,
// then lower case, as the classic block is.
QString normalizedWord(const QString& word);

} // namespace Mining
