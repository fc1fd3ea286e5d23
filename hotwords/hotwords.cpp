// The hot-word source table, the item rules of the written pages, the readers of today's answers,
// and the fetch that tries the one after the other.
#include "hotwords/hotwords.h"

#include "mining/relatedlayouts.h"
#include "platform/inet.h"
#include "text/module1.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QJsonValue>
#include <QPointer>
#include <algorithm>
#include <cmath>
#include <optional>

using namespace Qt::StringLiterals;

QString HotWordSource::address() const
{
    return u"http://"_s + host + path;
}

namespace HotWords {

namespace {

const QString BaiduBoardAddress = u"http://top.baidu.com/api/board?platform=web&tab=realtime"_s;
const QString SogouRanksAddress = u"http://go.ie.sogou.com/hot_ranks"_s;

// The JSON of an answer that may also come as JSONP, "name({...})" or "name({...});".
QJsonDocument answerJson(QStringView answer)
{
    QStringView json = answer.trimmed();
    if (!json.startsWith(u'{') && !json.startsWith(u'[')) {
        const qsizetype open = json.indexOf(u'(');
        const qsizetype close = json.lastIndexOf(u')');
        if (open < 0 || close < open)
            return {};
        json = json.mid(open + 1, close - open - 1);
    }
    return QJsonDocument::fromJson(json.toUtf8());
}

// An entry's word; its query when the word is missing or empty.
QString wordOfEntry(const QJsonValue& entry)
{
    const QString word = entry[u"word"].toString();
    return word.isEmpty() ? entry[u"query"].toString() : word;
}

// A rank given as a number or as the text of one; "nan" and "inf" are no rank, as they would not sort.
std::optional<double> rankOf(const QJsonValue& rank)
{
    bool ok = rank.isDouble();
    const double value = ok ? rank.toDouble() : rank.toString().trimmed().toDouble(&ok);
    if (ok && std::isfinite(value))
        return value;
    return std::nullopt;
}

} // namespace

const QList<HotWordSource>& sources()
{
    static const QString baidu = QStringView(BaiduHost).toString();
    static const QString sogou = QStringView(SogouHost).toString();
    static const QList<HotWordSource> table = {
        { u"Option3"_s, u"百度今日热词"_s, baidu, u"/buzz/top10.html"_s, u"最近24小时搜索量"_s, u"</table>"_s,
          HotWordSource::Baidu, BaiduBoardAddress, baiduBoardWords },
        { u"Option4"_s, u"百度一周热词"_s, baidu, u"/buzz/weekhotspot.html"_s, u"最近七日"_s, u"</table>"_s,
          HotWordSource::Baidu, QString(), nullptr },
        { u"Option1"_s, u"搜狗今日热词"_s, sogou, u"/000002.html"_s, u"今日搜索"_s, u"</HTML>"_s,
          HotWordSource::Sogou, SogouRanksAddress, sogouRankWords },
        { u"Option2"_s, u"搜狗一周热词"_s, sogou, u"/000001.html"_s, u"今日搜索"_s, u"</HTML>"_s,
          HotWordSource::Sogou, QString(), nullptr },
        { u"Option5"_s, u"最近火热新词"_s, baidu, u"/buzz/shijian.html"_s, u"最近七日"_s, u"</table>"_s,
          HotWordSource::Baidu, QString(), nullptr },
        { u"Option6"_s, u"上月火热新词"_s, baidu, u"/buzz/shijian_lastmonth.html"_s, u"最近七日"_s, u"</table>"_s,
          HotWordSource::Baidu, QString(), nullptr },
    };
    return table;
}

QString baiduItems(const QString& block)
{
    return Module1::CollectBetween(block, u"\" target=\"_blank\">"_s, u"</a>"_s);
}

QString sogouItems(const QString& block)
{
    const QString cellStart = u"<td><a href=\"http://"_s + QStringView(SogouSearchHost) + u"/web"_s;
    const QString cells = Module1::CollectBetween(block, cellStart, u"</td>"_s);
    return Module1::CollectBetween(cells, u"\">"_s, u"</a>"_s);
}

QString hotWordList(const QString& page, const HotWordSource& source)
{
    const QString block = Module1::TextBetween(page, source.blockStart, source.blockEnd);
    return source.rule == HotWordSource::Sogou ? sogouItems(block) : baiduItems(block);
}

QStringList baiduBoardWords(QStringView answer)
{
    const QJsonDocument json = answerJson(answer);
    const QJsonValue card = json[u"data"][u"cards"][0];
    QStringList words;
    for (const QJsonValue entry : card[u"topContent"].toArray())
        words << wordOfEntry(entry);
    for (const QJsonValue entry : card[u"content"].toArray()) {
        const QJsonValue nested = entry[u"content"];
        if (nested.isArray()) {
            for (const QJsonValue inner : nested.toArray())
                words << wordOfEntry(inner);
        } else {
            words << wordOfEntry(entry);
        }
    }
    return words;
}

QStringList sogouRankWords(QStringView answer)
{
    struct Entry
    {
        std::optional<double> rank;
        QString title;
    };
    QList<Entry> entries;
    for (const QJsonValue item : answerJson(answer)[u"data"].toArray()) {
        const QJsonValue attributes = item[u"attributes"];
        entries.append({ rankOf(attributes[u"rank"]), attributes[u"title"].toString() });
    }
    std::stable_sort(entries.begin(), entries.end(), [](const Entry& a, const Entry& b) {
        if (a.rank && b.rank)
            return *a.rank < *b.rank;
        return a.rank.has_value() && !b.rank.has_value();
    });
    QStringList words;
    for (const Entry& entry : entries)
        words << entry.title;
    return words;
}

QString keywordList(const QStringList& words)
{
    QString list;
    for (const QString& word : words) {
        const QString keyword = Mining::normalizedWord(Mining::decodeCharacterReferences(word));
        if (!keyword.isEmpty())
            list += keyword + u"\r\n"_s;
    }
    return list;
}

QString appendKeywords(const QString& list, const QString& keywords)
{
    if (list.isEmpty() || keywords.isEmpty() || list.endsWith(u"\r\n"_s))
        return list + keywords;
    return list + u"\r\n"_s + keywords;
}

Fetched fetch(Inet* inet, const HotWordSource& source)
{
    const QPointer<Inet> alive(inet);
    Fetched fetched;
    const FetchResult page = inet->OpenURL(source.address());
    if (page.ok)
        fetched.keywords = hotWordList(page.text, source);
    fetched.reason = page.ok ? QStringView(NoHotWordsOnPage).toString() : page.error;
    if (fetched.keywords.isEmpty() && !source.todayAddress.isEmpty() && source.todayReader && alive) {
        const FetchResult answer = inet->OpenURL(source.todayAddress, Inet::Expect::Json);
        if (answer.ok)
            fetched.keywords = keywordList(source.todayReader(answer.text));
        fetched.reason = answer.ok ? QStringView(NoHotWordsOnPage).toString() : answer.error;
    }
    if (!fetched.keywords.isEmpty())
        fetched.reason.clear();
    return fetched;
}

QString nothingFetchedMessage(const HotWordSource& source, const QString& reason)
{
    return u"没有从“"_s + source.caption + u"”获取到热词："_s + reason + u"。"_s;
}

} // namespace HotWords
