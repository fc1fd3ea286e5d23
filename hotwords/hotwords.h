// The six hot-search ranking pages, their block markers and item rules, and the cutting of a
// fetched page into its list of keywords; beside the written page of a list, the address where
// that list is published today and the reader of its answer.
#pragma once

#include <QList>
#include <QString>
#include <QStringList>
#include <QStringView>

class Inet;

struct HotWordSource
{
    enum Rule {
        Baidu, // one pass: the texts of links that open in a blank window
        Sogou, // two passes: cells that link into Sogou's web search, then their link texts
    };

    QString optionName; // the option button that selects this source
    QString caption;
    QString host;
    QString path;
    QString blockStart;
    QString blockEnd;
    Rule rule = Baidu;

    // Where the list is published today, asked only when the written page gives no keyword; empty
    // for a list that has no such address. Its answer is JSON, read by todayReader into the words in
    // the list's order.
    QString todayAddress = {};
    QStringList (*todayReader)(QStringView answer) = nullptr;

    // "http://" + host + path, without a query.
    QString address() const;
};

namespace HotWords {

inline constexpr char16_t BaiduHost[] = u"top.baidu.com";
inline constexpr char16_t SogouHost[] = u"top.sogou.com";
inline constexpr char16_t SogouSearchHost[] = u"www.sogou.com";

// The six sources in the order the command tests their option buttons:
// Option3, Option4, Option1, Option2, Option5, Option6.
const QList<HotWordSource>& sources();

// The texts of the links in block whose opening tag ends with " target="_blank">", each followed
// by CRLF.
QString baiduItems(const QString& block);

// First the rest of each table cell that links into Sogou's web search, then the link texts
// collected from those cells joined together, each followed by CRLF.
QString sogouItems(const QString& block);

// The keywords of a fetched page: its block (lower case) cut into items by the source's rule.
QString hotWordList(const QString& page, const HotWordSource& source);

// The engine's hot board: the word of each pinned entry (data.cards[0].topContent), then of each
// ranked entry (data.cards[0].content), an entry holding its own content array read through it;
// the query where an entry has no word. None when the answer is not such JSON.
QStringList baiduBoardWords(QStringView answer);

// Sogou's hot ranks, JSON or JSONP: data[i].attributes.title, ranked entries in the order of their
// rank, then the entries without one in the order of the answer.
QStringList sogouRankWords(QStringView answer);

// Words as keywords: character references decoded, white space runs made one space and trimmed,
// lower case; empty ones left out; each followed by CRLF.
QString keywordList(const QStringList& words);

// The keyword list with the new keywords after it, on a line of their own.
QString appendKeywords(const QString& list, const QString& keywords);

// What one click gives: the new keywords, or none and why.
struct Fetched
{
    QString keywords;
    QString reason; // the fetch's own error text, or NoHotWordsOnPage; empty when keywords came
};

inline constexpr char16_t NoHotWordsOnPage[] = u"页面上没有找到热词";

// Fetches the source's written page; when that gives no keyword, its address of today. Other
// handlers run while it waits, and the Inet may be destroyed: then nothing more is asked.
Fetched fetch(Inet* inet, const HotWordSource& source);

// The one sentence of the box shown when a click gave no keyword.
QString nothingFetchedMessage(const HotWordSource& source, const QString& reason);

} // namespace HotWords
