// The fake search engine and hot-list pages, in GBK, in the markup of the real pages.
#include "e2e/fakesite.h"

#include "platform/codepage.h"
#include "support/fakehttpserver.h"
#include "support/searchpages.h"

#include <QMutexLocker>

using namespace Qt::StringLiterals;

namespace {

QString baiduLink(const QString& keyword)
{
    return u"<tr><td class=\"first\"><span>1</span></td><td class=\"keyword\"><a class=\"list-title\" "
           u"href=\"http://www.baidu.com/baidu?cl=3&tn=SE_baiduhomet8_jmjb7mjw&fr=top1000&wd="_s
        + QString::fromLatin1(CodePage::toGbk(keyword).toPercentEncoding()) + u"\" target=\"_blank\">"_s + keyword
        + u"</a></td><td class=\"last\"><span class=\"icon-rise\">428613</span></td></tr>\n"_s;
}

// A Baidu hot list: a blank-target link before the ranking and a same-window link inside it, which
// are not keywords of the list.
QString baiduPage(const QString& countHeading, const QStringList& keywords)
{
    QString page = u"<html><head><meta http-equiv=\"Content-Type\" content=\"text/html; charset=gb2312\">"
                   u"<title>百度风云榜</title></head><body>\n"
                   u"<div class=\"nav\"><a href=\"http://top.baidu.com/\" target=\"_blank\">风云榜首页</a></div>\n"
                   u"<table class=\"list-table\"><tr><th class=\"first\">排名</th><th>关键词</th><th class=\"last\">"_s
        + countHeading + u"</th></tr>\n"_s;
    for (const QString& keyword : keywords)
        page += baiduLink(keyword);
    page += u"<tr><td><a href=\"http://top.baidu.com/help.html\" target=\"_self\">榜单说明</a></td></tr>\n"
            u"</table>\n<div class=\"footer\">&copy;2026 Baidu</div></body></html>\n"_s;
    return page;
}

// A Sogou top list: cells that link into the web search, and one that links elsewhere.
QString sogouPage(const QStringList& keywords)
{
    QString page = u"<HTML><HEAD><META http-equiv=\"Content-Type\" content=\"text/html; charset=gbk\">"
                   u"<TITLE>搜狗搜索风云榜</TITLE></HEAD><BODY>\n<h2>今日搜索排行</h2>\n<table class=\"rank\">\n"_s;
    for (const QString& keyword : keywords) {
        page += u"<tr><td><a href=\"http://www.sogou.com/web?query="_s
            + QString::fromLatin1(CodePage::toGbk(keyword).toPercentEncoding()) + u"&amp;ie=gbk\" target=\"_blank\">"_s
            + keyword + u"</a></td><td class=\"up\">↑</td></tr>\n"_s;
    }
    page += u"<tr><td><a href=\"http://news.sogou.com/news?query=%D0%C2\">新闻热点</a></td></tr>\n"
            u"</table>\n</BODY></HTML>\n"_s;
    return page;
}

// The hot-list page at host and path, or a null array when there is none.
QByteArray hotListPage(const QString& host, const QString& path)
{
    if (host == u"top.baidu.com"_s) {
        if (path == u"/buzz/top10.html"_s)
            return CodePage::toGbk(baiduPage(u"最近24小时搜索量"_s, { u"春节放假安排"_s, u"iPhone16发布会"_s }));
        if (path == u"/buzz/weekhotspot.html"_s)
            return CodePage::toGbk(baiduPage(u"最近七日搜索量"_s, { u"世界杯赛程"_s, u"高考分数线"_s }));
        if (path == u"/buzz/shijian.html"_s)
            return CodePage::toGbk(baiduPage(u"最近七日关注度"_s, { u"新能源汽车补贴"_s }));
        if (path == u"/buzz/shijian_lastmonth.html"_s)
            return CodePage::toGbk(baiduPage(u"最近七日关注度"_s, { u"月饼礼盒"_s, u"国庆出游"_s }));
    }
    if (host == u"top.sogou.com"_s) {
        if (path == u"/000002.html"_s)
            return CodePage::toGbk(sogouPage({ u"秋季养生"_s, u"油价调整"_s }));
        if (path == u"/000001.html"_s)
            return CodePage::toGbk(sogouPage({ u"双十一攻略"_s, u"流感疫苗"_s }));
    }
    return QByteArray();
}

} // namespace

FakeSite::FakeSite()
    : server_(new FakeHttpServer)
{
    server_->setHandler([this](const FakeHttpServer::Request& request) {
        QMutexLocker lock(&mutex_);
        log_.append(QString::fromLatin1(request.target));
        FakeHttpServer::Response response;
        const QString host = request.url.host();
        const QString path = request.url.path();
        if (host == u"www.baidu.com"_s && path == u"/s"_s) {
            const QString keyword = SearchPages::keywordOfTarget(request.target);
            if (hanging_.contains(keyword)) {
                response.hang = true;
                return response;
            }
            const Page page = pages_.value(keyword);
            response.body = SearchPages::resultPage(page.related);
            response.delayMs = page.delayMs;
            return response;
        }
        response.body = hotListPage(host, path);
        if (response.body.isNull()) {
            response.status = 404;
            response.body = "<html><body>404 Not Found</body></html>";
        }
        return response;
    });
    server_->moveToThread(&thread_);
}

FakeSite::~FakeSite()
{
    if (thread_.isRunning()) {
        QMetaObject::invokeMethod(
            server_, [this] { delete server_; }, Qt::BlockingQueuedConnection);
        thread_.quit();
        thread_.wait();
    } else {
        delete server_;
    }
}

bool FakeSite::start()
{
    thread_.start();
    bool listening = false;
    QMetaObject::invokeMethod(
        server_,
        [this, &listening] {
            listening = server_->start();
            port_ = server_->port();
        },
        Qt::BlockingQueuedConnection);
    return listening;
}

void FakeSite::setRelated(const QString& keyword, const QStringList& related, int delayMs)
{
    QMutexLocker lock(&mutex_);
    pages_.insert(keyword, Page { related, delayMs });
}

void FakeSite::setHanging(const QString& keyword)
{
    QMutexLocker lock(&mutex_);
    hanging_.insert(keyword);
}

QString FakeSite::requestLog() const
{
    QMutexLocker lock(&mutex_);
    return log_.join(u'\n');
}

int FakeSite::requestCount() const
{
    QMutexLocker lock(&mutex_);
    return int(log_.size());
}

QString FakeSite::searchTarget(const QString& keyword)
{
    return u"http://www.baidu.com/s?wd="_s + QString::fromLatin1(keyword.toUtf8().toPercentEncoding());
}
