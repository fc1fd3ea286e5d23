// The web engine's page source: one hidden page per fetch, waited for in a local event loop as the
// fetch component waits for its reply, and deleted before the fetch returns.
#include "app/webstrip/webpagesource.h"

#include "app/webstrip/privateprofile.h"

#include <QEventLoop>
#include <QPointer>
#include <QTimer>
#include <QUrl>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineUrlRequestInfo>
#include <QWebEngineUrlRequestInterceptor>

using namespace Qt::StringLiterals;

namespace WebStrip {

namespace {

    const QString VerificationText = u"百度要求安全验证"_s;

    bool isWebAddress(const QUrl& url)
    {
        const QString scheme = url.scheme().toLower();
        return url.isValid() && !url.host().isEmpty() && (scheme == u"http"_s || scheme == u"https"_s);
    }

    // The engine's network error codes (net/base/net_error_list.h) in the fetch component's words.
    QString failureText(int code, const QString& engineText)
    {
        switch (code) {
        case -102: // CONNECTION_REFUSED
        case -130: // PROXY_CONNECTION_FAILED
        case -111: // TUNNEL_CONNECTION_FAILED
            return u"连接被拒绝"_s;
        case -100: // CONNECTION_CLOSED
        case -101: // CONNECTION_RESET
        case -103: // CONNECTION_ABORTED
        case -324: // EMPTY_RESPONSE
            return u"连接被中断"_s;
        case -105: // NAME_NOT_RESOLVED
        case -137: // NAME_RESOLUTION_FAILED
        case -109: // ADDRESS_UNREACHABLE
            return u"找不到服务器"_s;
        case -7: // TIMED_OUT
        case -118: // CONNECTION_TIMED_OUT
            return u"连接超时"_s;
        case -310: // TOO_MANY_REDIRECTS
            return u"重定向次数过多"_s;
        case -311: // UNSAFE_REDIRECT
            return u"不安全的重定向"_s;
        default:
            return u"网络错误："_s + (engineText.isEmpty() ? QString::number(code) : engineText);
        }
    }

    constexpr int AbortedByNextNavigation = -3; // ERR_ABORTED

    // Nothing is fetched that only shows or sounds: the page's markup and scripts are all it needs.
    class QuietRequests : public QWebEngineUrlRequestInterceptor
    {
    public:
        using QWebEngineUrlRequestInterceptor::QWebEngineUrlRequestInterceptor;

        void interceptRequest(QWebEngineUrlRequestInfo& info) override
        {
            switch (info.resourceType()) {
            case QWebEngineUrlRequestInfo::ResourceTypeImage:
            case QWebEngineUrlRequestInfo::ResourceTypeFavicon:
            case QWebEngineUrlRequestInfo::ResourceTypeMedia:
            case QWebEngineUrlRequestInfo::ResourceTypeFontResource:
            case QWebEngineUrlRequestInfo::ResourceTypeObject:
            case QWebEngineUrlRequestInfo::ResourceTypePluginResource:
            case QWebEngineUrlRequestInfo::ResourceTypePrefetch:
                info.block(true);
                break;
            default:
                break;
            }
        }
    };

} // namespace

bool isVerificationAddress(const QUrl& url)
{
    return url.host().compare(u"wappass.baidu.com"_s, Qt::CaseInsensitive) == 0
        || url.path().contains(u"captcha"_s, Qt::CaseInsensitive);
}

bool isVerificationTitle(const QString& title)
{
    return title.trimmed() == u"百度安全验证"_s;
}

HiddenPage::HiddenPage(QWebEngineProfile* profile, Inet::Expect expect, QObject* parent)
    : StripPage(profile, Opener(), parent)
{
    QWebEngineSettings* pageSettings = settings();
    pageSettings->setAttribute(QWebEngineSettings::AutoLoadImages, false);
    pageSettings->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
    pageSettings->setAttribute(QWebEngineSettings::PdfViewerEnabled, false);
    pageSettings->setAttribute(QWebEngineSettings::PluginsEnabled, false);
    pageSettings->setAttribute(QWebEngineSettings::WebGLEnabled, false);
    pageSettings->setAttribute(QWebEngineSettings::ErrorPageEnabled, false);
    pageSettings->setAttribute(QWebEngineSettings::PlaybackRequiresUserGesture, true);
    pageSettings->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    // The fetch component's fall-backs when neither the header nor the page names a character set.
    pageSettings->setDefaultTextEncoding(expect == Inet::Expect::Json ? u"utf-8"_s : u"gbk"_s);
    setAudioMuted(true);
    setUrlRequestInterceptor(new QuietRequests(this));
}

bool HiddenPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame)
{
    // The verification is for a person in the verification window; this page asks nothing more of it.
    if (isMainFrame && isVerificationAddress(url)) {
        Q_EMIT verificationRequested(url);
        return false;
    }
    const QString scheme = url.scheme().toLower();
    if (scheme == u"http"_s || scheme == u"https"_s)
        return true;
    return !isMainFrame && scheme == u"about"_s;
}

struct WebPageSource::Call
{
    QPointer<QEventLoop> loop;
    bool ended = false;
    bool aborted = false;
    bool timedOut = false;
    QUrl verificationAddress; // where a navigation to the verification was refused
    bool loaded = false;
    bool loadOk = false;
    QUrl finalAddress;
    QString title;
    QWebEngineLoadingInfo::ErrorDomain errorDomain = QWebEngineLoadingInfo::NoErrorDomain;
    int errorCode = 0;
    QString errorString;
    QString text;

    void end()
    {
        ended = true;
        if (loop)
            loop->quit();
    }
};

WebPageSource::WebPageSource(const WebPageSourceSetup& setup, QObject* parent)
    : QObject(parent)
    , timeoutMs_(setup.timeoutMs)
{
    QWebEngineProfile* profile = privateProfile();
    if (!setup.userAgent.isEmpty())
        profile->setHttpUserAgent(QString::fromLatin1(setup.userAgent));
    if (!setup.acceptLanguage.isEmpty())
        profile->setHttpAcceptLanguage(QString::fromLatin1(setup.acceptLanguage));
    addCookies(profile->cookieStore(), setup.cookies);
}

WebPageSource::~WebPageSource()
{
    abort();
}

QString WebPageSource::name() const
{
    return u"网页引擎"_s;
}

void WebPageSource::abort()
{
    if (!call_ || call_->ended)
        return;
    call_->aborted = true;
    call_->end();
}

FetchResult WebPageSource::fetch(const QString& address, Inet::Expect expect)
{
    FetchResult result;
    result.address = address;
    if (call_) {
        result.error = u"网页引擎正在打开另一个页面"_s;
        return result;
    }
    // Tolerant mode keeps an already percent-encoded query byte for byte.
    const QUrl url(address, QUrl::TolerantMode);
    if (!isWebAddress(url)) {
        result.error = u"地址无效："_s + address;
        return result;
    }

    // Shared with the page's callbacks, which may come after this returns.
    const auto call = std::make_shared<Call>();
    call_ = call;
    const QPointer<WebPageSource> self(this);
    const std::unique_ptr<HiddenPage> page(new HiddenPage(privateProfile(), expect));
    HiddenPage* const hidden = page.get();
    QEventLoop loop;
    call->loop = &loop;

    QTimer deadline;
    deadline.setSingleShot(true);
    QObject::connect(&deadline, &QTimer::timeout, &loop, [call] {
        if (call->ended)
            return;
        call->timedOut = true;
        call->end();
    });
    QObject::connect(hidden, &HiddenPage::verificationRequested, &loop, [call](const QUrl& at) {
        if (call->ended)
            return;
        call->verificationAddress = at;
        call->end();
    });
    QObject::connect(hidden, &QWebEnginePage::loadingChanged, &loop, [call](const QWebEngineLoadingInfo& info) {
        if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
            call->errorDomain = QWebEngineLoadingInfo::NoErrorDomain;
            call->errorCode = 0;
            call->errorString.clear();
        } else if (info.status() == QWebEngineLoadingInfo::LoadFailedStatus) {
            call->errorDomain = info.errorDomain();
            call->errorCode = info.errorCode();
            call->errorString = info.errorString();
        }
    });
    QObject::connect(hidden, &QWebEnginePage::loadFinished, &loop, [call, hidden, expect](bool ok) {
        // A navigation of the page's own that replaces the first one: its end is awaited instead.
        if (call->ended || call->loaded || (!ok && call->errorCode == AbortedByNextNavigation))
            return;
        call->loaded = true;
        call->loadOk = ok;
        call->finalAddress = hidden->url();
        call->title = hidden->title();
        if (!ok || isVerificationAddress(call->finalAddress) || isVerificationTitle(call->title)) {
            call->end();
            return;
        }
        const auto take = [call](const QString& text) {
            if (call->ended)
                return;
            call->text = text;
            call->end();
        };
        if (expect == Inet::Expect::Json)
            hidden->toPlainText(take);
        else
            hidden->toHtml(take);
    });

    deadline.start(timeoutMs_);
    hidden->load(url);
    if (!call->ended)
        loop.exec();
    call->loop = nullptr;
    deadline.stop();
    if (self)
        call_.reset();

    if (!self || call->aborted) {
        result.error = u"已取消"_s;
    } else if (call->verificationAddress.isValid()) {
        result.verification = true;
        result.verificationAddress = call->verificationAddress.toString(QUrl::FullyEncoded);
        result.error = VerificationText;
    } else if (call->timedOut) {
        result.error = u"连接超时"_s;
    } else if (isVerificationAddress(call->finalAddress) || isVerificationTitle(call->title)) {
        result.verification = true;
        // In place of the answer: a person passes it at the address asked for.
        result.verificationAddress = isVerificationAddress(call->finalAddress)
            ? call->finalAddress.toString(QUrl::FullyEncoded)
            : url.toString(QUrl::FullyEncoded);
        result.error = VerificationText;
    } else if (call->errorDomain == QWebEngineLoadingInfo::HttpStatusCodeDomain) {
        result.status = call->errorCode;
        result.error = u"服务器返回错误 %1"_s.arg(call->errorCode);
    } else if (!call->loadOk) {
        // No error but no page either: an answer without content (204, 205), or a download, which the
        // profile cancels.
        result.error = call->errorCode ? failureText(call->errorCode, call->errorString) : u"服务器没有返回网页"_s;
    } else if (call->text.size() > Inet::MaxBodyBytes) {
        result.error = u"页面超过 16 MB"_s;
    } else {
        result.ok = true;
        result.status = 200;
        result.text = call->text;
        result.bytes = call->text.size();
    }
    return result;
}

} // namespace WebStrip
