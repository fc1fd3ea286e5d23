// Reading the related searches of the engine's newer result pages. Only stable names are matched:
// ids, the s-data comment and its keys, and class-name prefixes, never a class name with its build
// hash (rs-link_2DE3Q), which may change with any release of the engine's front end.
#include "mining/relatedlayouts.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonParseError>
#include <optional>

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

// The value of an attribute of an opening tag's text ("<a title=\"x\" class=y"), with its
// character references still in it; nothing when the tag lacks it.
std::optional<QStringView> attribute(QStringView tag, QStringView name)
{
    qsizetype i = 1;
    while (i < tag.size() && !tag[i].isSpace() && tag[i] != u'/')
        ++i; // the tag's own name
    for (;;) {
        while (i < tag.size() && (tag[i].isSpace() || tag[i] == u'/'))
            ++i;
        if (i >= tag.size())
            return std::nullopt;
        const qsizetype nameFrom = i;
        while (i < tag.size() && !tag[i].isSpace() && tag[i] != u'=' && tag[i] != u'/')
            ++i;
        const QStringView attributeName = tag.mid(nameFrom, i - nameFrom);
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
                value = tag.mid(i + 1, close - i - 1);
                i = close + 1;
            } else {
                const qsizetype valueFrom = i;
                while (i < tag.size() && !tag[i].isSpace())
                    ++i;
                value = tag.mid(valueFrom, i - valueFrom);
            }
        }
        if (attributeName.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
}

bool hasClassPrefix(QStringView tag, QStringView prefix)
{
    const std::optional<QStringView> classes = attribute(tag, u"class");
    if (!classes)
        return false;
    for (const QStringView name : classes->split(u' ', Qt::SkipEmptyParts)) {
        if (name.trimmed().startsWith(prefix, Qt::CaseInsensitive))
            return true;
    }
    return false;
}

// The words of the s-data comment: {"newList":[[{"word":"..."},...],...],...}. Nothing when the
// text is not such JSON, so that the caller falls back to the link titles.
std::optional<QStringList> sDataWords(QStringView json)
{
    QJsonParseError error;
    const QJsonDocument document = QJsonDocument::fromJson(json.toUtf8(), &error);
    if (error.error != QJsonParseError::NoError || !document.isObject())
        return std::nullopt;
    const QJsonValue newList = document.object().value(u"newList"_s);
    if (!newList.isArray())
        return std::nullopt;
    QStringList words;
    const auto take = [&words](const QJsonValue& item) {
        const QJsonValue word = item.toObject().value(u"word"_s);
        if (word.isString())
            words << normalizedWord(word.toString());
    };
    for (const QJsonValue& row : newList.toArray()) {
        if (row.isArray()) {
            for (const QJsonValue& item : row.toArray())
                take(item);
        } else {
            take(row);
        }
    }
    return words;
}

// The related-search links after `from` up to the next </table>: the title of each link whose
// class begins with "rs-link_", or its text when it has no title.
QStringList linkTitles(QStringView page, qsizetype from)
{
    qsizetype end = find(page, u"</table>", from);
    if (end < 0)
        end = page.size();
    QStringList words;
    qsizetype at = from;
    while ((at = find(page, u"<a", at)) >= 0 && at < end) {
        if (!opensTag(page, at, u"<a")) {
            at += 2;
            continue;
        }
        const qsizetype close = tagEnd(page, at);
        if (close < 0 || close >= end)
            break;
        const QStringView tag = page.mid(at, close - at);
        at = close + 1;
        if (!hasClassPrefix(tag, u"rs-link_"))
            continue;
        if (const std::optional<QStringView> title = attribute(tag, u"title")) {
            words << normalizedWord(decodeCharacterReferences(*title));
        } else {
            const qsizetype linkEnd = find(page, u"</a>", at);
            if (linkEnd < 0 || linkEnd >= end)
                break;
            words << normalizedWord(textOfMarkup(page.mid(at, linkEnd - at)));
            at = linkEnd + 4;
        }
    }
    return words;
}

QStringList readRsNew(QStringView page, qsizetype at)
{
    const qsizetype open = tagEnd(page, at);
    if (open < 0)
        return {};
    qsizetype from = open + 1;
    qsizetype comment = from;
    while (comment < page.size() && page[comment].isSpace())
        ++comment;
    const QStringView sData = u"<!--s-data:";
    if (page.mid(comment).startsWith(sData, Qt::CaseInsensitive)) {
        const qsizetype dataFrom = comment + sData.size();
        const qsizetype dataEnd = page.indexOf(u"-->", dataFrom);
        if (dataEnd >= 0) {
            if (std::optional<QStringList> words = sDataWords(page.mid(dataFrom, dataEnd - dataFrom)))
                return *words;
            from = dataEnd + 3;
        }
    }
    return linkTitles(page, from);
}

QStringList readRs(QStringView page, qsizetype at)
{
    const qsizetype from = at + QStringView(u"<div id=\"rs\">").size();
    qsizetype end = find(page, u"</table>", from);
    if (end < 0)
        end = page.size();
    QStringList words;
    qsizetype cell = from;
    while ((cell = find(page, u"<th", cell)) >= 0 && cell < end) {
        if (!opensTag(page, cell, u"<th")) {
            cell += 3;
            continue;
        }
        const qsizetype cellOpen = tagEnd(page, cell);
        if (cellOpen < 0 || cellOpen >= end)
            break;
        cell = cellOpen + 1;
        qsizetype link = cell;
        while (link < end && page[link].isSpace())
            ++link;
        if (link >= end || !opensTag(page, link, u"<a"))
            continue;
        const qsizetype linkOpen = tagEnd(page, link);
        if (linkOpen < 0 || linkOpen >= end)
            break;
        const qsizetype linkEnd = find(page, u"</a>", linkOpen + 1);
        if (linkEnd < 0 || linkEnd >= end)
            break;
        words << normalizedWord(textOfMarkup(page.mid(linkOpen + 1, linkEnd - linkOpen - 1)));
        cell = linkEnd + 4;
    }
    return words;
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
        {u"2021 - 2026: rs_new", u"id=\"rs_new\"", readRsNew},
        {u"2014 - 2021: div rs", u"<div id=\"rs\">", readRs},
    };
    return layouts;
}

QStringList todaysRelatedWords(QStringView page)
{
    for (const RelatedLayout& layout : relatedLayouts()) {
        const qsizetype at = find(page, layout.marker, 0);
        if (at >= 0)
            return layout.read(page, at);
    }
    return {};
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

QString normalizedWord(const QString& word)
{
    return word.simplified().toLower();
}

} // namespace Mining
