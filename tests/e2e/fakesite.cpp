// The fake search engine and hot-list pages, in GBK, in the markup of the real pages.
#include "e2e/fakesite.h"

#include "platform/codepage.h"
#include "support/fakehttpserver.h"
#include "support/searchpages.h"

#include <QMutexLocker>
#include <QUrlQuery>

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

QByteArray headerOf(const FakeHttpServer::Request& request, const QByteArray& name)
{
    for (const auto& [field, value] : request.headers) {
        if (field.compare(name, Qt::CaseInsensitive) == 0)
            return value;
    }
    return QByteArray();
}

bool carriesPass(const FakeHttpServer::Request& request)
{
    const QList<QByteArray> cookies = headerOf(request, "Cookie").split(';');
    for (const QByteArray& cookie : cookies) {
        if (cookie.trimmed() == "BDPASS=1")
            return true;
    }
    return false;
}

// The refused address, as the verification addresses carry it.
QString backAddressOf(const QUrl& url)
{
    return QUrlQuery(url).queryItemValue(u"backurl"_s, QUrl::FullyDecoded);
}

// The engine's verification page: one big button, so that a click in the middle of the window hits it.
QByteArray verificationPage(const QString& refusedAddress)
{
    return (u"<!DOCTYPE html><html><head><meta charset=\"utf-8\"><title>百度安全验证</title>"
            u"<link rel=\"icon\" href=\"data:,\"><style>body{margin:0;font-family:sans-serif;text-align:center}"
            u"#pass{display:block;box-sizing:border-box;width:100%;height:440px;font-size:28px}</style></head>"
            u"<body><p>百度安全验证</p><p>请完成下方验证后继续操作</p><button id=\"pass\" type=\"button\" "
            u"onclick=\"location.href='"_s
            + FakeSite::passAddress(refusedAddress) + u"'\">点击完成验证</button></body></html>"_s)
        .toUtf8();
}

} // namespace

FakeSite::FakeSite()
    : server_(new FakeHttpServer)
{
    server_->setHandler([this](const FakeHttpServer::Request& request) {
        QMutexLocker lock(&mutex_);
        log_.append(QString::fromLatin1(request.target));
        const bool fromWebEngine = !headerOf(request, "Upgrade-Insecure-Requests").isEmpty();
        visits_.append(Visit { QString::fromLatin1(request.target), QString::fromLatin1(headerOf(request, "Cookie")),
                               QString::fromLatin1(headerOf(request, "User-Agent")),
                               QString::fromLatin1(headerOf(request, "Accept-Language")), clock_.elapsed(),
                               fromWebEngine });
        FakeHttpServer::Response response;
        const QString host = request.url.host();
        const QString path = request.url.path();
        if (const auto other = otherPages_.constFind(host + path); other != otherPages_.cend())
            return *other;
        if (host == u"www.baidu.com"_s && path == u"/s"_s) {
            const QString keyword = SearchPages::keywordOfTarget(request.target);
            if (hanging_.contains(keyword)) {
                response.hang = true;
                return response;
            }
            if (fetcherRefusal_ != FetcherRefusal::None && !fromWebEngine) {
                visits_.last().refused = true;
                if (fetcherRefusal_ == FetcherRefusal::InPlace) {
                    response.contentType = "text/html; charset=utf-8";
                    response.body = verificationPage(QString::fromLatin1(request.target));
                    return response;
                }
                response.status = 302;
                response.body = "<html><body>302 Found</body></html>";
                response.extraHeaders.append(qMakePair(
                    QByteArray("Location"), verificationAddress(QString::fromLatin1(request.target)).toLatin1()));
                return response;
            }
            if (refusing_ && answered_ >= answeredFirst_ && !carriesPass(request)) {
                visits_.last().refused = true;
                response.status = 302;
                response.body = "<html><body>302 Found</body></html>";
                response.extraHeaders.append(qMakePair(
                    QByteArray("Location"), verificationAddress(QString::fromLatin1(request.target)).toLatin1()));
                return response;
            }
            ++answered_;
            const Page page = pages_.value(keyword);
            response.body = SearchPages::resultPage(page.related);
            response.delayMs = page.delayMs;
            return response;
        }
        if (host == u"wappass.baidu.com"_s && path == u"/static/captcha/tuxing.html"_s) {
            response.contentType = "text/html; charset=utf-8";
            response.body = verificationPage(backAddressOf(request.url));
            return response;
        }
        if (host == u"wappass.baidu.com"_s && path == u"/static/captcha/pass"_s) {
            response.status = 302;
            response.body = "<html><body>302 Found</body></html>";
            response.extraHeaders.append(
                qMakePair(QByteArray("Set-Cookie"), QByteArray("BDPASS=1; domain=.baidu.com; path=/")));
            response.extraHeaders.append(qMakePair(QByteArray("Location"), backAddressOf(request.url).toLatin1()));
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
    clock_.start();
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

void FakeSite::setPage(const QString& host, const QString& path, const FakeHttpServer::Response& response)
{
    QMutexLocker lock(&mutex_);
    otherPages_.insert(host + path, response);
}

void FakeSite::setRefusingFetcher(FetcherRefusal refusal)
{
    QMutexLocker lock(&mutex_);
    fetcherRefusal_ = refusal;
}

void FakeSite::setRefusing(bool refusing, int answeredFirst)
{
    QMutexLocker lock(&mutex_);
    refusing_ = refusing;
    answeredFirst_ = answeredFirst;
    answered_ = 0;
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

QList<FakeSite::Visit> FakeSite::visits() const
{
    QMutexLocker lock(&mutex_);
    return visits_;
}

QString FakeSite::verificationAddress(const QString& address)
{
    return u"http://wappass.baidu.com/static/captcha/tuxing.html?ak=c27bbc89afca0463650ac9bde68ebe06&backurl="_s
        + QString::fromLatin1(address.toUtf8().toPercentEncoding()) + u"&timestamp=1767225600&signature=5f0e"_s;
}

QString FakeSite::passAddress(const QString& address)
{
    return u"http://wappass.baidu.com/static/captcha/pass?backurl="_s
        + QString::fromLatin1(address.toUtf8().toPercentEncoding());
}

QString FakeSite::searchTarget(const QString& keyword)
{
    return u"http://www.baidu.com/s?wd="_s + QString::fromLatin1(keyword.toUtf8().toPercentEncoding());
}
