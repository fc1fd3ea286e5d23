// The hot-word source table and item rules.
#include "hotwords/hotwords.h"

#include "text/module1.h"

using namespace Qt::StringLiterals;

QString HotWordSource::address() const
{
    return u"http://"_s + host + path;
}

namespace HotWords {

const QList<HotWordSource>& sources()
{
    static const QList<HotWordSource> table = {
        { u"Option3"_s, u"百度今日热词"_s, QStringView(BaiduHost).toString(), u"/buzz/top10.html"_s, u"最近24小时搜索量"_s,
          u"</table>"_s, HotWordSource::Baidu },
        { u"Option4"_s, u"百度一周热词"_s, QStringView(BaiduHost).toString(), u"/buzz/weekhotspot.html"_s, u"最近七日"_s,
          u"</table>"_s, HotWordSource::Baidu },
        { u"Option1"_s, u"搜狗今日热词"_s, QStringView(SogouHost).toString(), u"/000002.html"_s, u"今日搜索"_s, u"</HTML>"_s,
          HotWordSource::Sogou },
        { u"Option2"_s, u"搜狗一周热词"_s, QStringView(SogouHost).toString(), u"/000001.html"_s, u"今日搜索"_s, u"</HTML>"_s,
          HotWordSource::Sogou },
        { u"Option5"_s, u"最近火热新词"_s, QStringView(BaiduHost).toString(), u"/buzz/shijian.html"_s, u"最近七日"_s,
          u"</table>"_s, HotWordSource::Baidu },
        { u"Option6"_s, u"上月火热新词"_s, QStringView(BaiduHost).toString(), u"/buzz/shijian_lastmonth.html"_s, u"最近七日"_s,
          u"</table>"_s, HotWordSource::Baidu },
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

} // namespace HotWords
