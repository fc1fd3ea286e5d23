// The six hot-search ranking pages, their block markers and item rules, and the cutting of a
// fetched page into its list of keywords.
#pragma once

#include <QList>
#include <QString>

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

} // namespace HotWords
