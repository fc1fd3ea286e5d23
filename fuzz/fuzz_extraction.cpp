// The extraction of new keywords with the novelty index: the index answers exactly as the scan of
// RunList, whether it was built in one go or grown piece by piece, and the extraction equals the
// rule followed step by step with the scan. Then the newer page layouts: pages built of known words
// in the rs_new or div rs markup, with intact, cut, missing or other s-data, the id written in any
// of the ways pages write it, behind decoys that name the id without giving a word, inside any text,
// give exactly those words; pages put together from pieces of such markup give the words a plain
// reader finds, tag by tag; any text around the markers never crashes the reader and gives only
// trimmed words without line breaks. Last the search box's suggestion answers: JSON or JSONP built
// of known words gives exactly the words of its suggestion elements, cut or wrapped in other text it
// never crashes the reader and gives only trimmed lower-case words with single spaces.
#include "fuzzinput.h"
#include "mining/extraction.h"
#include "mining/relatedlayouts.h"
#include "mining/suggestions.h"
#include "text/module1.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <QStringList>

#include <algorithm>

using namespace Qt::StringLiterals;

namespace {

// The filter's words, read apart from the program's own parser: a keyword holds every word and none
// of those written with a leading minus; spaces of either width separate them.
bool passesFilter(const QString& keyword, QString filter)
{
    filter.replace(u'\u3000', u' ');
    for (const QString& word : filter.split(u' ', Qt::SkipEmptyParts)) {
        const bool minus = word.size() > 1 && (word.startsWith(u'-') || word.startsWith(u'\uFF0D'));
        if (keyword.contains(minus ? word.mid(1) : word, Qt::CaseInsensitive) == minus)
            return false;
    }
    return true;
}

Mining::Extraction literalExtraction(const QString& block, const QString& start, const QString& end,
                                     const Mining::ExtractionSettings& settings, const QString& runList)
{
    Mining::Extraction out;
    const bool filterOff = settings.containsFilter.contains(QStringView(Mining::FilterOff));
    QString rest = block;
    for (;;) {
        if (!rest.contains(start, Qt::CaseInsensitive) || !rest.contains(end, Qt::CaseInsensitive))
            return out;
        rest = rest.mid(rest.indexOf(start, 0, Qt::CaseInsensitive) + start.size());
        const qsizetype at = rest.indexOf(end, 0, Qt::CaseInsensitive);
        const QString item = at < 0 ? QString() : rest.left(at);
        // Each line break in the link text is one space of the keyword, CR LF together one break.
        QString keyword = item;
        keyword.replace(u"\r\n"_s, u" "_s);
        for (const char16_t lineBreak : { u'\r', u'\n', u'\v', u'\f', u'\u0085', u'\u2028', u'\u2029', u'\uFDD0', u'\uFDD1' })
            keyword.replace(QChar(lineBreak), u' ');
        if (keyword.size() <= settings.minLength)
            return out;
        if ((filterOff || passesFilter(keyword, settings.containsFilter))
            && !Mining::NoveltyIndex::isKnownByScan(runList, keyword)) {
            ++out.count;
            out.keywords += keyword + u"\r\n";
        }
        // The rule would find the same empty item at the same place for ever; the program stops.
        if (item.isEmpty() && start.isEmpty())
            return out;
        rest = rest.mid(item.size());
    }
}

// What a reader of the page as a browser shows it takes for a word: white space runs as one space,
// trimmed, in lower case; U+FDD0 and U+FDD1, which would break the list's line, count as white space.
QString shownWord(const QString& word)
{
    QString out;
    bool space = false;
    for (const QChar c : word) {
        if (c.isSpace() || c == QChar(0xFDD0) || c == QChar(0xFDD1)) {
            space = !out.isEmpty();
            continue;
        }
        if (space)
            out += u' ';
        space = false;
        out += c;
    }
    return out.toLower();
}

QString escaped(const QString& word)
{
    QString out = word;
    return out.replace(u'&', u"&amp;"_s).replace(u'<', u"&lt;"_s).replace(u'>', u"&gt;"_s).replace(u'"', u"&quot;"_s);
}

// The start tag of the element that holds a layout's block, in one of the ways pages write it.
QString startTagOf(Fuzz::Input& input, bool newest)
{
    static const QStringList rsNew = {
        u"<div class=\"rs-normal-width_1\" id=\"rs_new\">"_s, u"<div id='rs_new' class=\"x\">"_s,
        u"<div\n\tclass=\"x\"\r\n id=rs_new >"_s, u"<DIV ID=\"RS_NEW\">"_s};
    static const QStringList rs = {u"<div id=\"rs\">"_s, u"<div class=\"c\" id='rs'>"_s, u"<div\tid=rs>"_s};
    const QStringList& tags = newest ? rsNew : rs;
    return tags.at(input.number<qsizetype>(0, tags.size() - 1));
}

// Text ahead of the real element that names its id without giving a word: a selector in a script,
// an empty element in a template, a link to it, an element with nothing in it.
QString decoysAhead(Fuzz::Input& input, bool newest)
{
    const QString id = newest ? u"rs_new"_s : u"rs"_s;
    const QStringList decoys = {
        u"<script>document.querySelector('#"_s + id + u"'); $(\"#"_s + id + u"\").show();</script>"_s,
        u"<script type=\"text/template\"><div id=\""_s + id + u"\"></div></script>"_s,
        u"<a href=\"#"_s + id + u"\" data-target=\""_s + id + u"\">x</a><style>#"_s + id + u"{}</style>"_s,
        newest ? u"<div id=\"rs_new\"><!--s-data:{\"newList\":[]}--></div>"_s
               : u"<div id=\"rs\"><table><tr><th>x</th></tr></table></div>"_s};
    QString out;
    for (int i = input.number(0, 3); i > 0; --i)
        out += decoys.at(input.number<qsizetype>(0, decoys.size() - 1));
    return out;
}

void checkLayouts(Fuzz::Input& input)
{
    const QString before = input.text(512);
    const QString after = input.text(512);
    QStringList words;
    for (int i = input.number(0, 6); i > 0; --i)
        words << QString::fromUtf8(input.text(24).toUtf8()); // lone surrogates cannot travel in JSON
    const bool newest = input.flag();
    const int sData = input.number(0, 3); // 0 intact, 1 cut off, 2 missing, 3 of another shape
    const bool wrapped = input.flag();

    QString block = startTagOf(input, newest);
    if (newest) {
        QJsonArray rows;
        for (qsizetype i = 0; i < words.size(); ++i) {
            if (i % 2 == 0)
                rows.append(QJsonArray());
            QJsonArray row = rows.last().toArray();
            row.append(QJsonObject{{u"url"_s, u"/s?wd=1"_s}, {u"word"_s, words[i]}});
            rows[rows.size() - 1] = row;
        }
        const QString json = QString::fromUtf8(QJsonDocument(QJsonObject{{u"newList"_s, rows}}).toJson(QJsonDocument::Compact));
        // A word holding "-->" ends the comment early, and what follows is read as markup.
        if (json.contains(u"-->"_s))
            return;
        if (sData == 0)
            block += u"<!--s-data:"_s + json + u"-->"_s;
        else if (sData == 1)
            block += u"<!--s-data:"_s + json.left(input.number<qsizetype>(0, json.size() - 1)) + u"-->"_s;
        else if (sData == 3)
            block += u"<!--s-data:{\"list\":"_s + QString::fromUtf8(QJsonDocument(rows).toJson(QJsonDocument::Compact))
                + u",\"newList\":{\"word\":\"no\"}}-->"_s;
        block += u"<div class=\"rs-label_2\">相关搜索</div><table class=\"rs-table_3\"><tbody><tr>"_s;
        for (const QString& word : words)
            block += u"<td class=\"rs-col_4\"><a title=\""_s + escaped(word)
                + u"\" class=\"rs-link_5 c-line-clamp1\" href=\"/s?wd=1&amp;f=1\"><span class=\"rs-text_6\">"_s
                + escaped(word) + u"</span></a></td>"_s;
        block += u"</tr></tbody></table></div>"_s;
    } else {
        block += u"<div class=\"tt\">相关搜索</div><table cellpadding=\"0\"><tr>"_s;
        for (const QString& word : words) {
            const QString link = u"<a href=\"/s?wd=1&rsp=0&f=1&oq=x\">"_s + escaped(word) + u"</a>"_s;
            block += u"<th>"_s + (wrapped ? u"<span class=\"s\">"_s + link + u"</span>"_s : link) + u"</th><td></td>"_s;
        }
        block += u"</tr></table></div>"_s;
    }

    const QString page = before + decoysAhead(input, newest) + block + after;
    const QStringList found = Mining::todaysRelatedWords(page);
    for (const QString& word : found)
        FUZZ_CHECK(!word.contains(u'\r') && !word.contains(u'\n') && word == word.trimmed());
    Mining::relatedSearches(page, QString::fromUtf16(Mining::BlockStart), QString::fromUtf16(Mining::BlockEnd));

    // The comparison holds while the surrounding text and the words name no element of their own.
    const auto names = [](const QString& text) { return text.contains(u"rs"_s, Qt::CaseInsensitive); };
    if (names(before) || names(after) || std::any_of(words.begin(), words.end(), names))
        return;
    QStringList expected;
    for (const QString& word : words)
        expected << shownWord(newest && sData == 0 ? Mining::textOfMarkup(word) : word);
    FUZZ_CHECK_EQUAL(found.join(u'|'), expected.join(u'|'));
    FUZZ_CHECK(found.size() == expected.size());
}

// The words of the first element with words, found tag by tag from the start of the page: every
// "<" and ASCII letter up to the next ">" with no "<" before it is a start tag, and its id is
// compared ignoring the letter case of ASCII letters only.
QStringList plainRelatedWords(const QString& page)
{
    const auto sameIgnoringAsciiCase = [](QStringView a, QStringView b) {
        if (a.size() != b.size())
            return false;
        for (qsizetype i = 0; i < a.size(); ++i) {
            const char16_t x = a[i].unicode();
            const char16_t y = b[i].unicode();
            if (x != y && !(x < 0x80 && y < 0x80 && QChar::toLower(x) == QChar::toLower(y)))
                return false;
        }
        return true;
    };
    for (const Mining::RelatedLayout& layout : Mining::relatedLayouts()) {
        QList<std::pair<qsizetype, qsizetype>> tags;
        for (qsizetype i = 0; i + 1 < page.size(); ++i) {
            const char16_t next = page[i + 1].unicode();
            if (page[i] != u'<' || !((next >= u'a' && next <= u'z') || (next >= u'A' && next <= u'Z')))
                continue;
            qsizetype j = i + 1;
            while (j < page.size() && page[j] != u'<' && page[j] != u'>')
                ++j;
            if (j == page.size() || page[j] == u'<')
                continue;
            const std::optional<QStringView> id = Mining::tagAttribute(QStringView(page).mid(i, j - i), u"id");
            if (id && sameIgnoringAsciiCase(*id, QStringView(layout.id)))
                tags.append({i, j});
        }
        for (qsizetype k = 0; k < tags.size(); ++k) {
            const qsizetype to = k + 1 < tags.size() ? tags[k + 1].first : page.size();
            const QStringList words = layout.read(QStringView(page).mid(tags[k].second + 1, to - tags[k].second - 1));
            if (!words.isEmpty())
                return words;
        }
    }
    return {};
}

// Pages put together from pieces of the markup the readers look for, in any order: the words equal
// the plain reader's, and the classic block gives way to the layouts exactly when it holds no item.
void checkLayoutsAgainstPlainReader(Fuzz::Input& input)
{
    static const QStringList pieces = {
        u"<div id=\"rs_new\">"_s, u"<div class='x' id='rs_new'>"_s, u"<DIV\tID=rs_new\n>"_s, u"<div id=\"rs\">"_s,
        u"<div class=\"c\" id=rs>"_s,
        u"<!--s-data:{\"newList\":[[{\"word\":\"A&amp;b\"},{\"word\":\"<em>c</em>\"}],[{\"word\":\"d\"}]]}-->"_s,
        u"<!--s-data:{\"newList\":[]}-->"_s, u"<!--s-data:{\"x\":1}-->"_s, u"<!--s-data:"_s, u"-->"_s,
        u"<table>"_s, u"</table>"_s, u"<tr>"_s, u"<th>"_s, u"<th class=\"tt\">"_s, u"</th>"_s, u"<td>"_s, u"<span>"_s,
        u"</span>"_s, u"<a class=\"rs-link_1\" title=\"T&amp;1\">"_s, u"<a class=\"x rs-link_2\">"_s,
        u"<a href=\"s?wd=x&f=1\">"_s, u"<a href='/s?a=>'>"_s, u"</a>"_s, u"w\u00A0 W"_s,
        u"<script>$('#rs_new')</script>"_s, u"<script type=\"text/template\"><div id=\"rs_new\"></div></script>"_s,
        u"<a href=\"#rs\">"_s, u"相关搜索</th>"_s, u"&f=1\">"_s, u"<"_s, u">"_s, u"\""_s, u"'"_s, u" "_s, u"id="_s,
        u"rs_new"_s, u"rs"_s};
    QString page;
    for (int i = input.number(0, 48); i > 0; --i) {
        const qsizetype pick = input.number<qsizetype>(0, pieces.size());
        page += pick < pieces.size() ? pieces.at(pick) : input.text(32);
    }
    const QStringList found = Mining::todaysRelatedWords(page);
    const QStringList plain = plainRelatedWords(page);
    if (found != plain) {
        std::fprintf(stderr, "page %s\n", Fuzz::printable(page).constData());
        FUZZ_CHECK_EQUAL(found.join(u'|'), plain.join(u'|'));
        FUZZ_CHECK(found == plain);
    }

    const QString start = QString::fromUtf16(Mining::BlockStart);
    const QString end = QString::fromUtf16(Mining::BlockEnd);
    const QString itemStart = QString::fromUtf16(Mining::ItemStart);
    const Mining::RelatedSearches offered = Mining::relatedSearches(page, start, end);
    const QString block = Module1::TextBetween(page, start, end);
    const qsizetype itemAt = block.indexOf(itemStart, 0, Qt::CaseInsensitive);
    if (itemAt >= 0 && block.mid(itemAt + itemStart.size()).contains(QStringView(Mining::ItemEnd), Qt::CaseInsensitive)) {
        FUZZ_CHECK_EQUAL(offered.classicBlock, block);
        FUZZ_CHECK(offered.words.isEmpty());
    } else {
        FUZZ_CHECK(offered.classicBlock.isEmpty());
        FUZZ_CHECK(offered.words == plain);
    }
}

} // namespace

namespace {

// A JSON string of the text; the characters whose bit is set in escapes (by their place, modulo
// 32) are written as \uXXXX, a slash then as "\/". The two halves of a surrogate pair go alike:
// one half written as it stands would be a lone surrogate in the answer's text.
QString jsonString(const QString& text, quint32 escapes)
{
    QString out = u"\""_s;
    bool escape = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (!c.isLowSurrogate())
            escape = (escapes >> (i % 32)) & 1;
        if (c == u'"' || c == u'\\') {
            out += u'\\';
            out += c;
        } else if (c == u'/' && escape)
            out += u"\\/"_s;
        else if (c.unicode() < 0x20 || escape)
            out += u"\\u"_s + QString::number(c.unicode(), 16).rightJustified(4, u'0');
        else
            out += c;
    }
    out += u'"';
    return out;
}

// Each word is trimmed, lower case, holds no line break and no white space but single spaces.
void checkSuggestionWords(const QStringList& words)
{
    for (const QString& word : words) {
        FUZZ_CHECK(!word.isEmpty() && word == word.trimmed() && word == word.toLower());
        for (qsizetype i = 0; i < word.size(); ++i)
            FUZZ_CHECK(!word[i].isSpace() || (word[i] == u' ' && i + 1 < word.size() && !word[i + 1].isSpace()));
    }
}

void checkSuggestions(Fuzz::Input& input)
{
    // Any text, bare or as a JSONP call, reaches the reader's every branch.
    const QString any = input.text(2048);
    checkSuggestionWords(Mining::suggestionWords(any));
    checkSuggestionWords(Mining::suggestionWords(QString(u"cb("_s + any + u")"_s)));

    const QString spaces[] = {QString(), u" "_s, u"\r\n\t "_s};
    const auto space = [&]() { return spaces[input.number(0, 2)]; };
    const QString otherTypes[] = {u"\"his\""_s, u"\"SUG\""_s, u"\"sug \""_s, u"\"\""_s, u"null"_s, u"1"_s};

    // The elements of "g", one per word, and the words a reader must take from them.
    QString elements;
    QStringList expected;
    for (int i = input.number(0, 12); i > 0; --i) {
        const QString word = QString::fromUtf8(input.text(24).toUtf8()); // no lone surrogates in JSON
        const QString q = u"\"q\":"_s + space() + jsonString(word, input.number<quint32>(0, 0xFFFFFFFF));
        QString element;
        bool suggested = false;
        switch (input.number(0, 5)) {
        case 0:
            element = u"{"_s + q + u"}"_s;
            suggested = true;
            break;
        case 1:
            element = u"{\"type\":\"sug\","_s + space() + q + u"}"_s;
            suggested = true;
            break;
        case 2:
            element = u"{"_s + q + u",\"sa\":\"s_1\","_s + space() + u"\"type\":\"sug\"}"_s;
            suggested = true;
            break;
        case 3:
            element = u"{\"type\":"_s + otherTypes[input.number(0, 5)] + u","_s + q + u"}"_s;
            break;
        case 4:
            element = u"["_s + jsonString(word, 0) + u",7]"_s;
            break;
        default: // a suggestion without its word
            element = u"{\"type\":\"sug\",\"sa\":"_s + jsonString(word, 0) + u"}"_s;
            break;
        }
        if (suggested && !shownWord(word).isEmpty())
            expected << shownWord(word);
        if (!elements.isEmpty())
            elements += u","_s + space();
        elements += element;
    }
    const QString g = u"\"g\":"_s + space() + u"["_s + elements + u"]"_s;
    const QString others = u"\"q\":"_s + jsonString(input.text(16), 0) + u",\"p\":false"_s;
    QString json;
    if (input.flag())
        json = u"{"_s + g + u","_s + space() + others + u"}"_s;
    else
        json = u"{"_s + space() + others + u","_s + g + space() + u",\"slid\":\"1717\"}"_s;

    if (input.flag()) {
        // A strict prefix of an object is no object, bare or wrapped, and gives nothing.
        json.truncate(input.number<qsizetype>(0, json.size() - 1));
        expected.clear();
    }
    const QString callbacks[] = {u"cb"_s, u"jQuery110207_1700000000000"_s, u"window.baidu.sug"_s, u"$_"_s};
    QString answer;
    switch (input.number(0, 2)) {
    case 0:
        answer = json;
        break;
    case 1:
        answer = callbacks[input.number(0, 3)] + space() + u"("_s + json + u")"_s;
        break;
    default:
        answer = callbacks[input.number(0, 3)] + u"("_s + space() + json + space() + u");"_s + space();
        break;
    }
    const QString before = input.text(64);
    const QString after = input.text(64);
    answer = before + answer + after;

    const QStringList found = Mining::suggestionWords(answer);
    checkSuggestionWords(found);
    FUZZ_CHECK(found == Mining::suggestionSources().front().read(answer));
    // Only white space around the answer leaves it an answer; with other text around it only the
    // properties above hold.
    if (before.trimmed().isEmpty() && after.trimmed().isEmpty()) {
        FUZZ_CHECK_EQUAL(found.join(u'|'), expected.join(u'|'));
        FUZZ_CHECK(found.size() == expected.size());
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    Fuzz::Input input(data, size);
    const bool realMarkers = input.flag();
    const bool filterOff = input.flag();
    const int pieceCount = input.number(0, 6);
    Mining::ExtractionSettings settings;
    settings.minLength = input.number(-2, 6);

    QString runList;
    Mining::NoveltyIndex grown;
    grown.reset(QString());
    for (int i = 0; i < pieceCount; ++i) {
        const QString piece = input.text(256);
        runList += piece;
        grown.append(piece);
    }
    Mining::NoveltyIndex whole;
    whole.reset(runList);
    FUZZ_CHECK(grown.indexedLength() == runList.size() && whole.indexedLength() == runList.size());

    const auto agree = [&](const QString& item) {
        const bool known = Mining::NoveltyIndex::isKnownByScan(runList, item);
        if (grown.isKnown(runList, item) != known || whole.isKnown(runList, item) != known) {
            std::fprintf(stderr, "item %s, RunList %s, scan says %d\n", Fuzz::printable(item).constData(),
                         Fuzz::printable(runList).constData(), int(known));
            Fuzz::fail("the novelty index agrees with the scan", __FILE__, __LINE__);
        }
        return known;
    };
    // Every entry of RunList, and the same in other letter cases, must be found as the scan finds it.
    for (const QString& entry : runList.split(u"\r\n"_s)) {
        agree(entry);
        agree(entry.toUpper());
        agree(entry.toLower());
    }

    const QString start = realMarkers ? QString::fromUtf16(Mining::ItemStart) : input.text(16);
    const QString end = realMarkers ? QString::fromUtf16(Mining::ItemEnd) : input.text(16);
    settings.containsFilter = filterOff ? QString::fromUtf16(Mining::FilterOff) : input.text(16);
    const QString block = input.text(1 << 20);
    agree(block);

    const Mining::Extraction found = Mining::extractNewKeywords(block, start, end, settings, agree);
    checkLayouts(input);
    checkLayoutsAgainstPlainReader(input);
    checkSuggestions(input);
    if (Fuzz::beginsWithLowSurrogate(start) || Fuzz::beginsWithLowSurrogate(end))
        return 0;
    const Mining::Extraction expected = literalExtraction(block, start, end, settings, runList);
    FUZZ_CHECK_EQUAL(found.keywords, expected.keywords);
    FUZZ_CHECK(found.count == expected.count);
    return 0;
}
