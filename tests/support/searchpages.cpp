// Fake web-search result pages in the markup the extraction expects.
#include "support/searchpages.h"

#include "platform/codepage.h"

using namespace Qt::StringLiterals;

namespace SearchPages {

QByteArray resultPage(const QStringList& related)
{
    QString page = u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\"></head>"
                   u"<body><div id=\"content\">结果</div><table><tr><th>相关搜索</th>"_s;
    for (const QString& keyword : related)
        page += u"<td><a href=\"s?wd=x&f=1\">"_s + keyword + u"</a></td>";
    page += u"</tr></table><p>尾部</p></body></html>"_s;
    return CodePage::toGbk(page);
}

QString keywordOfTarget(const QByteArray& target)
{
    const qsizetype at = target.indexOf("wd=");
    if (at < 0)
        return {};
    QByteArray value = target.mid(at + 3);
    const qsizetype amp = value.indexOf('&');
    if (amp >= 0)
        value.truncate(amp);
    return CodePage::decodePage(QByteArray::fromPercentEncoding(value), "text/html; charset=gbk");
}

} // namespace SearchPages
