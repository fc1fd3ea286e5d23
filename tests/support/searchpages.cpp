// Fake web-search result pages in the markup the extraction expects.
#include "support/searchpages.h"

#include "platform/codepage.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

using namespace Qt::StringLiterals;

namespace SearchPages {

QByteArray resultPage(const QStringList& related, bool utf8)
{
    QString page = u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset="_s
        + (utf8 ? u"utf-8"_s : u"gb2312"_s)
        + u"\"></head><body><div id=\"content\">结果</div><table><tr><th>相关搜索</th>"_s;
    for (const QString& keyword : related)
        page += u"<td><a href=\"s?wd=x&f=1\">"_s + keyword + u"</a></td>";
    page += u"</tr></table><p>尾部</p></body></html>"_s;
    return utf8 ? page.toUtf8() : CodePage::toGbk(page);
}

QByteArray resultPage2026(const QStringList& related)
{
    QJsonArray rows;
    QString table;
    for (qsizetype i = 0; i < related.size(); ++i) {
        const QString address = u"/s?wd="_s + QString::fromLatin1(related[i].toUtf8().toPercentEncoding())
            + u"&rsf=100632409&rsp="_s + QString::number(i) + u"&f=1&rs_src=0&tn=baidu&rsv_dl=brs_28338_"_s
            + QString::number(i + 1);
        if (i % 2 == 0)
            rows.append(QJsonArray());
        QJsonArray row = rows.last().toArray();
        row.append(QJsonObject{{u"url"_s, address}, {u"word"_s, related[i]}, {u"image"_s, QJsonValue()}});
        rows[rows.size() - 1] = row;
        if (i % 2 == 0)
            table += i == 0 ? u"<tr>"_s : u"</tr><tr>"_s;
        const QString escaped = related[i].toHtmlEscaped();
        table += u"<td class=\"rs-col_8Qlx-\"><a title=\""_s + escaped
            + u"\" class=\"rs-link_2DE3Q c-line-clamp1 c-color-link\" href=\""_s + address.toHtmlEscaped()
            + u"\"><span class=\"rs-text_3K5mR\">"_s + escaped + u"</span></a></td>"_s;
    }
    const QJsonObject data{{u"newList"_s, rows}, {u"labelRs"_s, u"相关搜索"_s}, {u"picTxtStyle"_s, false}};
    const QString page = u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>百度一下，你就知道</title></head>"
                         u"<body><div id=\"content_left\">结果</div><div id=\"rs_new\" class=\"rs-normal-width_2T91A\">"
                         u"<!--s-data:"_s
        + QString::fromUtf8(QJsonDocument(data).toJson(QJsonDocument::Compact))
        + u"--><div class=\"c-color-t c-gap-bottom rs-label_ihUhK\">相关搜索</div>"
          u"<table cellpadding=\"0\" cellspacing=\"0\" class=\"rs-table_3RiQc\"><tbody>"_s
        + table + u"</tr></tbody></table></div><div id=\"foot\">尾部</div></body></html>"_s;
    return page.toUtf8();
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
    return QString::fromUtf8(QByteArray::fromPercentEncoding(value));
}

} // namespace SearchPages
