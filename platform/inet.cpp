// Inet1's OpenURL: a GET through QNetworkAccessManager, waited for in a local event loop.
#include "platform/inet.h"

#include "platform/codepage.h"

#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QNetworkAccessManager>
#include <QNetworkCookieJar>
#include <QNetworkProxy>
#include <QNetworkReply>
#include <QNetworkRequest>
#include <QTimer>
#include <QUrl>

using namespace Qt::StringLiterals;

const char Inet::UserAgent[] = "Mozilla/5.0 (Windows NT 10.0; Win64; x64) AppleWebKit/537.36 (KHTML, like Gecko) "
                               "Chrome/142.0.0.0 Safari/537.36";
const char Inet::Accept[] = "text/html,application/xhtml+xml,application/xml;q=0.9,image/avif,image/webp,"
                            "image/apng,*/*;q=0.8";
const char Inet::AcceptJson[] = "application/json, text/javascript, */*; q=0.01";
const char Inet::AcceptLanguage[] = "zh-CN,zh;q=0.9";

struct Inet::Call
{
    QPointer<QNetworkReply> reply;
    bool aborted = false;
};

namespace {

QString failureText(QNetworkReply::NetworkError error, const QString& qtText)
{
    switch (error) {
    case QNetworkReply::ConnectionRefusedError:
    case QNetworkReply::ProxyConnectionRefusedError:
        return u"连接被拒绝"_s;
    case QNetworkReply::RemoteHostClosedError:
    case QNetworkReply::ProxyConnectionClosedError:
        return u"连接被中断"_s;
    case QNetworkReply::HostNotFoundError:
    case QNetworkReply::ProxyNotFoundError:
        return u"找不到服务器"_s;
    case QNetworkReply::TimeoutError:
    case QNetworkReply::ProxyTimeoutError:
    case QNetworkReply::OperationCanceledError: // the transfer time-out aborts the reply this way
        return u"连接超时"_s;
    default:
        return u"网络错误："_s + qtText;
    }
}

bool isWebAddress(const QUrl& url)
{
    const QString scheme = url.scheme().toLower();
    return url.isValid() && !url.host().isEmpty() && (scheme == u"http"_s || scheme == u"https"_s);
}

const QString VerificationText = u"百度要求安全验证"_s;

bool isRedirect(int status)
{
    return status == 301 || status == 302 || status == 303 || status == 307 || status == 308;
}

struct Transfer
{
    QByteArray body;
    bool tooLarge = false;
    bool timedOut = false;
    bool complete = false;
};

// Waits in a local event loop until the reply finishes or is destroyed, collecting its body and
// aborting it once the body passes the cap or the deadline passes. The transfer time-out of the
// request only notices silence; the deadline also ends a server that drips a byte at a time.
// Another handler's wait (a message box, a second fetch) may hold this loop long after the reply
// has finished: the deadline then no longer applies, as the answer is complete.
void waitFor(QNetworkReply* reply, Transfer& transfer, const QDeadlineTimer& deadline)
{
    QEventLoop loop;
    QTimer overall;
    overall.setSingleShot(true);
    QObject::connect(&overall, &QTimer::timeout, &loop, [reply, &transfer] {
        if (transfer.complete || reply->isFinished())
            return;
        transfer.timedOut = true;
        reply->abort();
    });
    overall.start(std::chrono::milliseconds(qMax<qint64>(0, deadline.remainingTime())));
    QObject::connect(reply, &QNetworkReply::metaDataChanged, &loop, [reply, &transfer] {
        const QVariant length = reply->header(QNetworkRequest::ContentLengthHeader);
        if (length.isValid() && length.toLongLong() > Inet::MaxBodyBytes) {
            transfer.tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::readyRead, &loop, [reply, &transfer] {
        if (transfer.tooLarge)
            return;
        transfer.body += reply->read(Inet::MaxBodyBytes + 1 - transfer.body.size());
        if (transfer.body.size() > Inet::MaxBodyBytes) {
            transfer.tooLarge = true;
            reply->abort();
        }
    });
    QObject::connect(reply, &QNetworkReply::finished, &loop, [&loop, &overall, &transfer] {
        transfer.complete = true;
        overall.stop();
        loop.quit();
    });
    QObject::connect(reply, &QObject::destroyed, &loop, &QEventLoop::quit);
    if (!reply->isFinished())
        loop.exec();
}

} // namespace

Inet::Inet(QObject* parent)
    : QObject(parent)
    , manager_(new QNetworkAccessManager(this))
{
    // The engine sets its session cookies on the first page and expects them back, as from a browser.
    manager_->setCookieJar(new QNetworkCookieJar(manager_));
    // setUseSystemConfiguration(true) throws away an application proxy (which tests set to reach
    // their local server), so it is only called when none is set. Debian's Qt already starts with the
    // system configuration on (libproxy: http_proxy, https_proxy, no_proxy), in which case this is a no-op.
    if (!QNetworkProxyFactory::usesSystemConfiguration()
        && QNetworkProxy::applicationProxy().type() == QNetworkProxy::NoProxy)
        QNetworkProxyFactory::setUseSystemConfiguration(true);
}

Inet::~Inet()
{
    // Waiting OpenURL calls see their reply finish and return once control gets back to their loop.
    abort();
}

QNetworkCookieJar* Inet::cookieJar() const
{
    return manager_->cookieJar();
}

FetchResult Inet::OpenURL(const QString& address, Expect expect)
{
    FetchResult result;
    result.address = address;
    QElapsedTimer clock;
    clock.start();

    // Tolerant mode keeps an already percent-encoded query byte for byte.
    QUrl url(address, QUrl::TolerantMode);
    if (!isWebAddress(url)) {
        result.error = u"地址无效："_s + address;
        return result;
    }

    const QDeadlineTimer deadline(timeoutMs_);
    Call call;
    calls_.append(&call);
    QPointer<Inet> self(this);
    Transfer transfer;
    QNetworkReply* reply = nullptr;
    int redirects = 0;
    bool tooManyRedirects = false;
    bool insecureRedirect = false;
    bool verification = false;
    for (;;) {
        QNetworkRequest request(url);
        request.setTransferTimeout(timeoutMs_);
        // Redirects are followed here, one request per hop: Qt's own following starts the next
        // request while the previous answer is still arriving and sometimes sends it twice.
        request.setAttribute(QNetworkRequest::RedirectPolicyAttribute, QNetworkRequest::ManualRedirectPolicy);
        request.setHeader(QNetworkRequest::UserAgentHeader, QByteArray(UserAgent));
        request.setRawHeader("Accept", expect == Expect::Json ? AcceptJson : Accept);
        request.setRawHeader("Accept-Language", AcceptLanguage);
        reply = manager_->get(request);
        call.reply = reply;
        reply_ = reply;
        transfer = Transfer();
        waitFor(reply, transfer, deadline);

        if (!self) {
            // Destroyed while waiting: the manager took the reply with it.
            result.error = u"已取消"_s;
            return result;
        }
        if (!call.reply || call.aborted || transfer.tooLarge || transfer.timedOut || reply->error() != QNetworkReply::NoError)
            break;
        const int status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
        const QByteArray location = reply->rawHeader("Location");
        if (!isRedirect(status) || location.isEmpty())
            break;
        const QUrl next = url.resolved(QUrl::fromEncoded(location, QUrl::TolerantMode));
        if (isVerificationAddress(next)) {
            verification = true;
            result.verificationAddress = next.toString(QUrl::FullyEncoded);
            break;
        }
        if (redirects == MaxRedirects) {
            tooManyRedirects = true;
            break;
        }
        // Never from https down to http, as browsers do.
        if (!isWebAddress(next) || (url.scheme().toLower() == u"https"_s && next.scheme().toLower() != u"https"_s)) {
            insecureRedirect = true;
            break;
        }
        ++redirects;
        delete reply;
        url = next;
    }

    totalWaitNs_ += clock.nsecsElapsed();
    calls_.removeOne(&call);
    reply_ = calls_.isEmpty() ? nullptr : calls_.constLast()->reply;

    if (!call.reply) {
        result.error = u"已取消"_s;
        return result;
    }
    result.status = reply->attribute(QNetworkRequest::HttpStatusCodeAttribute).toInt();
    result.bytes = transfer.body.size();
    const QNetworkReply::NetworkError error = reply->error();
    if (call.aborted)
        result.error = u"已取消"_s;
    else if (transfer.tooLarge)
        result.error = u"页面超过 16 MB"_s;
    else if (transfer.timedOut)
        result.error = u"连接超时"_s;
    else if (verification)
        result.error = VerificationText;
    else if (tooManyRedirects)
        result.error = u"重定向次数过多"_s;
    else if (insecureRedirect)
        result.error = u"不安全的重定向"_s;
    else if (result.status >= 400) {
        // The verification page may also come with an error status.
        verification = isVerificationPage(CodePage::decodePage(transfer.body, reply->rawHeader("Content-Type")));
        result.error = verification ? VerificationText : u"服务器返回错误 %1"_s.arg(result.status);
        if (verification)
            result.verificationAddress = url.toString(QUrl::FullyEncoded);
    } else if (error != QNetworkReply::NoError) {
        result.error = failureText(error, reply->errorString());
    } else {
        const QByteArray contentType = reply->rawHeader("Content-Type");
        result.text = expect == Expect::Json ? CodePage::decodeJson(transfer.body, contentType)
                                             : CodePage::decodePage(transfer.body, contentType);
        verification = isVerificationPage(result.text);
        if (verification) {
            result.verificationAddress = url.toString(QUrl::FullyEncoded);
            result.text.clear();
            result.error = VerificationText;
        } else {
            result.ok = true;
        }
    }
    result.verification = verification;
    // Deleted here and now: deleteLater from inside a nested loop could outlive this Inet.
    delete reply;
    return result;
}

bool Inet::isVerificationAddress(const QUrl& url)
{
    return url.host().compare(u"wappass.baidu.com"_s, Qt::CaseInsensitive) == 0
        || url.path().contains(u"captcha"_s, Qt::CaseInsensitive);
}

bool Inet::isVerificationPage(QStringView text)
{
    const qsizetype title = text.indexOf(u"<title", 0, Qt::CaseInsensitive);
    if (title < 0)
        return false;
    const qsizetype open = text.indexOf(u'>', title);
    if (open < 0)
        return false;
    qsizetype close = text.indexOf(u"</title", open, Qt::CaseInsensitive);
    if (close < 0)
        close = text.size();
    // Equal, not contained: a result page for a keyword about the verification carries the words in
    // its title too ("百度安全验证怎么解除_百度搜索").
    return text.mid(open + 1, close - open - 1).trimmed() == u"百度安全验证";
}

void Inet::abort()
{
    // Aborting emits finished at once, which may end OpenURL calls; work on a copy of the list.
    const QList<Call*> calls = calls_;
    for (Call* call : calls) {
        call->aborted = true;
        if (call->reply)
            call->reply->abort();
    }
}
