// The verification window: the engine's page in a private profile, watched until it comes back to
// the search host.
#include "app/webstrip/verificationwindow.h"

#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QVBoxLayout>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>

using namespace Qt::StringLiterals;

namespace WebStrip {

namespace {

    bool isWebScheme(const QUrl& url)
    {
        const QString scheme = url.scheme().toLower();
        return scheme == u"http" || scheme == u"https";
    }

    // Where a cookie of the program's jar comes from. The jar marks a cookie that only its own host
    // gets by a domain without the leading dot; the engine takes such a cookie without a domain,
    // from that host.
    QUrl originOf(const QNetworkCookie& cookie)
    {
        const QString domain = cookie.domain();
        QUrl origin;
        origin.setScheme(cookie.isSecure() ? u"https"_s : u"http"_s);
        origin.setHost(domain.startsWith(u'.') ? domain.mid(1) : domain);
        origin.setPath(cookie.path().startsWith(u'/') ? cookie.path() : u"/"_s);
        return origin;
    }

} // namespace

bool isPastVerification(const QUrl& address, const QString& title)
{
    return isWebScheme(address) && address.host().compare(u"www.baidu.com"_s, Qt::CaseInsensitive) == 0
        && !address.path().contains(u"captcha"_s, Qt::CaseInsensitive)
        && title.trimmed() != QStringView(VerificationTitle);
}

VerificationPage::VerificationPage(QWebEngineProfile* profile, Opener openAddress, QObject* parent)
    : StripPage(profile, std::move(openAddress), parent)
{
    // The engine would hand an address of a scheme it does not know to the desktop, after a click.
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
}

bool VerificationPage::acceptNavigationRequest(const QUrl& url, NavigationType, bool isMainFrame)
{
    if (isWebScheme(url))
        return true;
    // A frame may still start blank or from the markup of its element.
    if (!isMainFrame && url.scheme().compare(u"about"_s, Qt::CaseInsensitive) == 0)
        return true;
    Q_EMIT navigationRefused(url);
    return false;
}

VerificationWindow::VerificationWindow(QWidget* parent, const VerificationWindowSetup& setup)
    : QWidget(parent, Qt::Dialog)
{
    prepareEngine();
    setObjectName(u"VerificationWindow"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf16(VerificationTitle));
    resize(520, 640);

    // Off the record: the pass lives in memory only, as the program's own cookies do, and nothing of
    // the strip's profile mixes in.
    profile_ = new QWebEngineProfile(this);
    if (!setup.userAgent.isEmpty())
        profile_->setHttpUserAgent(QString::fromLatin1(setup.userAgent));
    if (!setup.acceptLanguage.isEmpty())
        profile_->setHttpAcceptLanguage(QString::fromLatin1(setup.acceptLanguage));
    QWebEngineCookieStore* store = profile_->cookieStore();
    connect(store, &QWebEngineCookieStore::cookieAdded, this, &VerificationWindow::onCookieAdded);
    connect(store, &QWebEngineCookieStore::cookieRemoved, this, &VerificationWindow::onCookieRemoved);
    connect(profile_, &QWebEngineProfile::downloadRequested, this, &VerificationWindow::onDownloadRequested);

    notice_ = new QLabel(QString::fromUtf16(VerificationNotice), this);
    notice_->setObjectName(u"VerificationNotice"_s);
    notice_->setWordWrap(true);
    view_ = new QWebEngineView(this);
    view_->setObjectName(u"VerificationView"_s);
    // Its menu would offer to open links and sources in windows of its own.
    view_->setContextMenuPolicy(Qt::NoContextMenu);
    StripPage::Opener opener;
    if (setup.openAddress)
        opener = setup.openAddress;
    page_ = new VerificationPage(profile_, std::move(opener), view_);
    view_->setPage(page_);
    connect(page_, &QWebEnginePage::loadFinished, this, &VerificationWindow::onLoadFinished);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->setSpacing(8);
    auto* noticeRow = new QHBoxLayout;
    noticeRow->setContentsMargins(10, 0, 10, 0);
    noticeRow->addWidget(notice_);
    layout->addLayout(noticeRow);
    layout->addWidget(view_, 1);

    placeInFrontOf(parent);
    startWithCookies(setup.cookies);
    page_->load(setup.address);
}

VerificationWindow::~VerificationWindow()
{
    // The page must go before its profile.
    delete view_;
}

void VerificationWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (reported_)
        return;
    reported_ = true;
    Q_EMIT notPassed();
}

void VerificationWindow::startWithCookies(const QList<QNetworkCookie>& cookies)
{
    QWebEngineCookieStore* store = profile_->cookieStore();
    for (QNetworkCookie cookie : cookies) {
        const QUrl origin = originOf(cookie);
        if (!origin.isValid() || origin.host().isEmpty())
            continue;
        if (!cookie.domain().startsWith(u'.'))
            cookie.setDomain(QString());
        store->setCookie(cookie, origin);
    }
}

void VerificationWindow::onCookieAdded(const QNetworkCookie& cookie)
{
    onCookieRemoved(cookie);
    cookies_.append(cookie);
}

void VerificationWindow::onCookieRemoved(const QNetworkCookie& cookie)
{
    cookies_.removeIf([&cookie](const QNetworkCookie& held) { return held.hasSameIdentifier(cookie); });
}

void VerificationWindow::onLoadFinished(bool ok)
{
    if (reported_ || !ok || !isPastVerification(page_->url(), page_->title()))
        return;
    reported_ = true;
    Q_EMIT passed(cookies_);
    close();
}

void VerificationWindow::onDownloadRequested(QWebEngineDownloadRequest* download)
{
    download->cancel();
    Q_EMIT downloadRefused(download->url());
}

// Centred on the parent's window, inside the screen's free area.
void VerificationWindow::placeInFrontOf(QWidget* parent)
{
    if (!parent)
        return;
    const QWidget* owner = parent->window();
    QRect frame(QPoint(), size());
    frame.moveCenter(owner->frameGeometry().center());
    if (const QScreen* screen = owner->screen()) {
        const QRect free = screen->availableGeometry();
        frame.moveRight(qMin(frame.right(), free.right()));
        frame.moveBottom(qMin(frame.bottom(), free.bottom()));
        frame.moveLeft(qMax(frame.left(), free.left()));
        frame.moveTop(qMax(frame.top(), free.top()));
    }
    move(frame.topLeft());
}

} // namespace WebStrip
