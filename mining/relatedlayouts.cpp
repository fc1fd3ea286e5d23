// Reading the related searches of the engine's newer result pages. Only stable names are matched:
// ids, the s-data comment and its keys, and class-name prefixes, never a class name with its build
// hash (rs-link_2DE3Q), which may change with any release of the engine's front end.
#include "mining/relatedlayouts.h"

#include "text/linebreaks.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>

using namespace Qt::StringLiterals;

namespace Mining {

namespace {

qsizetype find(QStringView page, QStringView what, qsizetype from)
{
    return page.indexOf(what, from, Qt::CaseInsensitive);
}

// Whether the tag `name` ("<a", "<th") opens at `at`, and not a longer one such as "<thead".
bool opensTag(QStringView page, qsizetype at, QStringView name)
{
    if (!page.mid(at).startsWith(name, Qt::CaseInsensitive))
        return false;
    const qsizetype next = at + name.size();
    return next < page.size() && (page[next].isSpace() || page[next] == u'>' || page[next] == u'/');
}

// The '>' that closes the tag opened at `from`, passing over quoted attribute values; -1 when the
// tag never closes.
qsizetype tagEnd(QStringView page, qsizetype from)
{
    for (qsizetype i = from; i < page.size(); ++i) {
        const QChar c = page[i];
        if (c == u'>')
            return i;
        if (c == u'"' || c == u'\'') {
            i = page.indexOf(c, i + 1);
            if (i < 0)
                return -1;
        }
    }
    return -1;
}

bool hasClassPrefix(QStringView tag, QStringView prefix)
{
    const std::optional<QStringView> classes = tagAttribute(tag, u"class");
    if (!classes)
        return false;
    for (const QStringView name : classes->split(u' ', Qt::SkipEmptyParts)) {
        if (name.trimmed().startsWith(prefix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// The words of the s-data comment: {"newList":[[{"word":"..."},...],...],...}, made as the link
// titles are. None when the text is not such JSON or names no word, so that the caller falls back
// to the link titles.
QStringList sDataWords(QStringView json)
{
    QStringList words;
    const auto take = [&words](const QJsonValue& item) {
        const QJsonValue word = item.toObject().value(u"word"_s);
        if (word.isString())
            words << normalizedWord(textOfMarkup(word.toString()));
    };
    for (const QJsonValue& row : arrayOfJsonObject(json, u"newList")) {
        if (row.isArray()) {
            for (const QJsonValue& item : row.toArray())
                take(item);
        } else {
            take(row);
        }
    }
    return words;
}

// The related-search links up to the next </table>: the title of each link whose class begins
// with "rs-link_", or its text when it has no title.
QStringList linkTitles(QStringView content)
{
    qsizetype end = find(content, u"</table>", 0);
    if (end < 0)
        end = content.size();
    const QStringView table = content.first(end);
    QStringList words;
    qsizetype at = 0;
    while ((at = find(table, u"<a", at)) >= 0) {
        if (!opensTag(table, at, u"<a")) {
            at += 2;
            continue;
        }
        const qsizetype close = tagEnd(table, at);
        if (close < 0)
            break;
        const QStringView tag = table.sliced(at, close - at);
        at = close + 1;
        if (!hasClassPrefix(tag, u"rs-link_"))
            continue;
        if (const std::optional<QStringView> title = tagAttribute(tag, u"title")) {
            words << normalizedWord(decodeCharacterReferences(*title));
        } else {
            const qsizetype linkEnd = find(table, u"</a>", at);
            if (linkEnd < 0)
                break;
            words << normalizedWord(textOfMarkup(table.sliced(at, linkEnd - at)));
            at = linkEnd + 4;
        }
    }
    return words;
}

QStringList readRsNew(QStringView content)
{
    qsizetype comment = 0;
    while (comment < content.size() && content[comment].isSpace())
        ++comment;
    const QStringView sData = u"<!--s-data:";
    if (content.sliced(comment).startsWith(sData, Qt::CaseInsensitive)) {
        const qsizetype dataFrom = comment + sData.size();
        const qsizetype dataEnd = content.indexOf(u"-->", dataFrom);
        if (dataEnd >= 0) {
            QStringList words = sDataWords(content.sliced(dataFrom, dataEnd - dataFrom));
            if (!words.isEmpty())
                return words;
            return linkTitles(content.sliced(dataEnd + 3));
        }
    }
    return linkTitles(content);
}

// Searches for one text forward through a page whose start positions only grow, remembering the
// last place found, so that a page without the text is scanned once and not once per question.
class ForwardSearch
{
public:
    ForwardSearch(QStringView text, QStringView what, Qt::CaseSensitivity cs = Qt::CaseInsensitive)
        : text_(text)
        , what_(what)
        , cs_(cs)
    {
    }

    // The first occurrence at or after from; the size of the text when there is none.
    qsizetype from(qsizetype from)
    {
        if (found_ < from) {
            found_ = text_.indexOf(what_, from, cs_);
            if (found_ < 0)
                found_ = text_.size();
        }
        return found_;
    }

private:
    QStringView text_;
    QStringView what_;
    Qt::CaseSensitivity cs_;
    qsizetype found_ = -1;
};

QStringList readRs(QStringView content)
{
    qsizetype end = find(content, u"</table>", 0);
    if (end < 0)
        end = content.size();
    const QStringView table = content.first(end);
    // A cell ends at its </th> or, when that is missing, where the next cell begins.
    ForwardSearch cellClose(table, u"</th");
    ForwardSearch nextCell(table, u"<th");
    QStringList words;
    qsizetype cell = 0;
    while ((cell = find(table, u"<th", cell)) >= 0) {
        if (!opensTag(table, cell, u"<th")) {
            cell += 3;
            continue;
        }
        const qsizetype cellOpen = tagEnd(table, cell);
        if (cellOpen < 0)
            break;
        const qsizetype contentFrom = cellOpen + 1;
        const qsizetype cellEnd = std::min(cellClose.from(contentFrom), nextCell.from(contentFrom));
        cell = cellEnd;
        // The first link of the cell, also when a <span> or other markup wraps it.
        const QStringView inside = table.sliced(contentFrom, cellEnd - contentFrom);
        qsizetype link = 0;
        while ((link = find(inside, u"<a", link)) >= 0 && !opensTag(inside, link, u"<a"))
            link += 2;
        if (link < 0)
            continue;
        const qsizetype linkOpen = tagEnd(inside, link);
        if (linkOpen < 0)
            continue;
        const qsizetype linkEnd = find(inside, u"</a>", linkOpen + 1);
        if (linkEnd < 0)
            continue;
        words << normalizedWord(textOfMarkup(inside.sliced(linkOpen + 1, linkEnd - linkOpen - 1)));
    }
    return words;
}

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}

struct NamedReference
{
    QStringView name;
    char16_t character;
};

constexpr NamedReference NamedReferences[] = {
    {u"amp", u'&'},     {u"lt", u'<'},      {u"gt", u'>'},      {u"quot", u'"'},    {u"apos", u'\''},
    {u"nbsp", 0x00A0},  {u"middot", 0x00B7}, {u"hellip", 0x2026}, {u"ldquo", 0x201C}, {u"rdquo", 0x201D},
    {u"lsquo", 0x2018}, {u"rsquo", 0x2019}, {u"mdash", 0x2014}, {u"ndash", 0x2013}, {u"copy", 0x00A9},
    {u"reg", 0x00AE},   {u"times", 0x00D7}, {u"yen", 0x00A5},
};

// The character of a reference's name ("amp", "#20013", "#x4e2d"), or nothing.
std::optional<char32_t> referencedCharacter(QStringView name)
{
    if (name.startsWith(u'#')) {
        QStringView digits = name.mid(1);
        int base = 10;
        if (digits.startsWith(u'x') || digits.startsWith(u'X')) {
            digits = digits.mid(1);
            base = 16;
        }
        if (digits.isEmpty() || digits.size() > 8)
            return std::nullopt;
        for (const QChar c : digits) {
            const bool digit = base == 10 ? (c >= u'0' && c <= u'9') : QStringView(u"0123456789abcdefABCDEF").contains(c);
            if (!digit)
                return std::nullopt;
        }
        const uint value = digits.toUInt(nullptr, base);
        if (value == 0 || value > 0x10FFFF || (value >= 0xD800 && value <= 0xDFFF))
            return char32_t(0xFFFD);
        return char32_t(value);
    }
    for (const NamedReference& reference : NamedReferences) {
        if (reference.name == name)
            return char32_t(reference.character);
    }
    return std::nullopt;
}

} // namespace

const QList<RelatedLayout>& relatedLayouts()
{
    static const QList<RelatedLayout> layouts = {
        {u"2021 - 2026: rs_new", u"rs_new", readRsNew},
        {u"2014 - 2021: div rs", u"rs", readRs},
    };
    return layouts;
}

namespace {

char16_t asciiLower(char16_t c)
{
    return (c >= u'A' && c <= u'Z') ? char16_t(c + (u'a' - u'A')) : c;
}

bool equalsIgnoringAsciiCase(QStringView a, QStringView b)
{
    if (a.size() != b.size())
        return false;
    for (qsizetype i = 0; i < a.size(); ++i) {
        if (asciiLower(a[i].unicode()) != asciiLower(b[i].unicode()))
            return false;
    }
    return true;
}

// The places of an ASCII text in a page, letter case ignored, in page order. Qt's case-blind search
// folds every character of the page; this one looks for the first letter in its two cases with the
// plain search and compares the rest only there.
class AsciiFinder
{
public:
    AsciiFinder(QStringView page, QStringView what)
        : page_(page)
        , what_(what)
        , lower_(page, QStringView(&lowerFirst_, 1), Qt::CaseSensitive)
        , upper_(page, QStringView(&upperFirst_, 1), Qt::CaseSensitive)
    {
    }

    // The first place at or after from, or -1.
    qsizetype from(qsizetype from)
    {
        for (;;) {
            const qsizetype at = std::min(lower_.from(from), upper_.from(from));
            if (at + what_.size() > page_.size())
                return -1;
            if (equalsIgnoringAsciiCase(page_.sliced(at, what_.size()), what_))
                return at;
            from = at + 1;
        }
    }

private:
    QStringView page_;
    QStringView what_;
    char16_t lowerFirst_ = asciiLower(what_.isEmpty() ? u' ' : what_[0].unicode());
    char16_t upperFirst_ = (lowerFirst_ >= u'a' && lowerFirst_ <= u'z') ? char16_t(lowerFirst_ - (u'a' - u'A')) : lowerFirst_;
    ForwardSearch lower_;
    ForwardSearch upper_;
};

} // namespace

QList<StartTag> startTagsWithId(QStringView page, QStringView id)
{
    // Only the places where the id's text stands are looked at, and everything moves forward, so a
    // page full of the id's text costs one pass. `open` is the "<" not closed by a ">" before the
    // place; the look back for it stops where the previous place was, whose answer still holds when
    // no "<" or ">" stands between the two.
    QList<StartTag> tags;
    if (id.isEmpty())
        return tags;
    ForwardSearch nextOpen(page, u"<", Qt::CaseSensitive);
    ForwardSearch nextClose(page, u">", Qt::CaseSensitive);
    qsizetype lookedBackTo = 0;
    qsizetype open = -1;
    qsizetype lastTried = -1;
    AsciiFinder places(page, id);
    for (qsizetype at = places.from(0); at >= 0; at = places.from(at + 1)) {
        qsizetype i = at - 1;
        while (i >= lookedBackTo && page[i] != u'<' && page[i] != u'>')
            --i;
        if (i >= lookedBackTo)
            open = page[i] == u'<' ? i : -1;
        lookedBackTo = at;
        if (open < 0 || open == lastTried)
            continue;
        lastTried = open;
        const qsizetype close = nextClose.from(at);
        if (close >= page.size() || nextOpen.from(at) < close || !isAsciiLetter(page[open + 1]))
            continue;
        const std::optional<QStringView> value = tagAttribute(page.sliced(open, close - open), u"id");
        if (value && equalsIgnoringAsciiCase(*value, id))
            tags.append({open, close});
    }
    return tags;
}

QStringList todaysRelatedWords(QStringView page)
{
    for (const RelatedLayout& layout : relatedLayouts()) {
        const QList<StartTag> tags = startTagsWithId(page, layout.id);
        for (qsizetype k = 0; k < tags.size(); ++k) {
            const qsizetype from = tags[k].close + 1;
            const qsizetype to = k + 1 < tags.size() ? tags[k + 1].open : page.size();
            QStringList words = layout.read(page.sliced(from, to - from));
            if (!words.isEmpty())
                return words;
        }
    }
    return {};
}

std::optional<QStringView> tagAttribute(QStringView tag, QStringView name)
{
    qsizetype i = 1;
    while (i < tag.size() && !tag[i].isSpace() && tag[i] != u'/' && tag[i] != u'>')
        ++i; // the tag's own name
    for (;;) {
        while (i < tag.size() && (tag[i].isSpace() || tag[i] == u'/'))
            ++i;
        if (i >= tag.size() || tag[i] == u'>')
            return std::nullopt;
        const qsizetype nameFrom = i;
        while (i < tag.size() && !tag[i].isSpace() && tag[i] != u'=' && tag[i] != u'/' && tag[i] != u'>')
            ++i;
        const QStringView attributeName = tag.sliced(nameFrom, i - nameFrom);
        while (i < tag.size() && tag[i].isSpace())
            ++i;
        QStringView value;
        if (i < tag.size() && tag[i] == u'=') {
            ++i;
            while (i < tag.size() && tag[i].isSpace())
                ++i;
            if (i < tag.size() && (tag[i] == u'"' || tag[i] == u'\'')) {
                const QChar quote = tag[i];
                qsizetype close = tag.indexOf(quote, i + 1);
                if (close < 0)
                    close = tag.size();
                value = tag.sliced(i + 1, close - i - 1);
                i = std::min(close + 1, tag.size());
            } else {
                const qsizetype valueFrom = i;
                while (i < tag.size() && !tag[i].isSpace() && tag[i] != u'>')
                    ++i;
                value = tag.sliced(valueFrom, i - valueFrom);
            }
        }
        if (attributeName.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
}

QString decodeCharacterReferences(QStringView text)
{
    if (!text.contains(u'&'))
        return text.toString();
    QString out;
    out.reserve(text.size());
    qsizetype i = 0;
    while (i < text.size()) {
        const QChar c = text[i];
        if (c == u'&') {
            const qsizetype semicolon = text.indexOf(u';', i + 1);
            if (semicolon > i + 1 && semicolon - i <= 11) {
                if (const std::optional<char32_t> character = referencedCharacter(text.mid(i + 1, semicolon - i - 1))) {
                    out += QStringView(QChar::fromUcs4(*character));
                    i = semicolon + 1;
                    continue;
                }
            }
        }
        out += c;
        ++i;
    }
    return out;
}

QString textOfMarkup(QStringView markup)
{
    QString text;
    text.reserve(markup.size());
    qsizetype i = 0;
    while (i < markup.size()) {
        if (markup[i] == u'<') {
            const qsizetype close = markup.indexOf(u'>', i + 1);
            if (close >= 0) {
                i = close + 1;
                continue;
            }
        }
        text += markup[i];
        ++i;
    }
    return decodeCharacterReferences(text);
}

QJsonArray arrayOfJsonObject(QStringView json, QStringView key)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return {};
    return document.object().value(key).toArray();
}

QString normalizedWord(const QString& word)
{
    // simplified() takes CR, LF, U+2028 and the like for white space, but not U+FDD0 and U+FDD1.
    return LineBreaks::breaksAsSpaces(word).simplified().toLower();
}

} // namespace Mining
