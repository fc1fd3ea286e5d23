// The verification window: the engine's page in the shared private profile, watched until it comes
// back to the search host, and its place beside the main window.
#include "app/webstrip/verificationwindow.h"

#include "app/webstrip/privateprofile.h"
#include "app/webstrip/webpagesource.h"

#include <QCloseEvent>
#include <QLabel>
#include <QScreen>
#include <QTimer>
#include <QUrlQuery>
#include <QVBoxLayout>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>
#include <QWebEngineLoadingInfo>
#include <QWebEngineProfile>
#include <QWebEngineSettings>
#include <QWebEngineView>
#include <optional>

using namespace Qt::StringLiterals;

namespace WebStrip {

namespace {

    bool isWebScheme(const QUrl& url)
    {
        const QString scheme = url.scheme().toLower();
        return scheme == u"http" || scheme == u"https";
    }

    // The keyword an address of the engine asks for, as text: its wd, a '+' read as a space; none
    // without one.
    std::optional<QString> keywordOf(const QUrl& address)
    {
        const QUrlQuery query(address);
        if (!query.hasQueryItem(u"wd"_s))
            return std::nullopt;
        QString encoded = query.queryItemValue(u"wd"_s, QUrl::FullyEncoded);
        encoded.replace(u'+', u"%20"_s);
        return QUrl::fromPercentEncoding(encoded.toLatin1());
    }

} // namespace

bool isPastVerification(const QUrl& address, const QString& title, const QUrl& asked)
{
    return isWebScheme(address) && !asked.host().isEmpty()
        && address.host().compare(asked.host(), Qt::CaseInsensitive) == 0 && address.path() == asked.path()
        && keywordOf(address) == keywordOf(asked) && !isVerification(address, title);
}

bool isVerification(const QUrl& address, const QString& title)
{
    return isVerificationAddress(address) || isVerificationTitle(title);
}

QRect verificationWindowPlace(const QRect& ownerFrame, const QRect& listArea, const QRect& freeArea,
                              const QSize& wanted)
{
    const int height = qMin(wanted.height(), freeArea.height());
    const auto atOwnersHeight = [&](int left) {
        return QRect(left, qBound(freeArea.top(), ownerFrame.top(), freeArea.bottom() + 1 - height), wanted.width(),
                     height);
    };
    if (freeArea.right() - ownerFrame.right() >= wanted.width())
        return atOwnersHeight(ownerFrame.right() + 1);
    if (ownerFrame.left() - freeArea.left() >= wanted.width())
        return atOwnersHeight(ownerFrame.left() - wanted.width());
    // Over the list, its right edge on the list's: the mining controls right of the list stay free,
    // and the window keeps what width the screen gives it to the left.
    const QRect list = listArea & freeArea;
    if (!list.isEmpty()) {
        const int width = qMin(wanted.width(), list.right() + 1 - freeArea.left());
        return atOwnersHeight(list.right() + 1 - width).adjusted(0, 0, width - wanted.width(), 0);
    }
    QRect frame(QPoint(), wanted.boundedTo(freeArea.size()));
    frame.moveCenter(ownerFrame.center());
    frame.moveRight(qMin(frame.right(), freeArea.right()));
    frame.moveBottom(qMin(frame.bottom(), freeArea.bottom()));
    frame.moveLeft(qMax(frame.left(), freeArea.left()));
    frame.moveTop(qMax(frame.top(), freeArea.top()));
    return frame;
}

VerificationPage::VerificationPage(QWebEngineProfile* profile, Opener openAddress, QObject* parent)
    : StripPage(profile, std::move(openAddress), parent)
{
    // The engine would hand an address of a scheme it does not know to the desktop, after a click.
    settings()->setUnknownUrlSchemePolicy(QWebEngineSettings::DisallowUnknownUrlSchemes);
    // An icon is asked for after the page has loaded, when the window may already have reported the
    // pass and the run asks the engine again: a request nobody needs, and one too many.
    settings()->setAttribute(QWebEngineSettings::AutoLoadIconsForPage, false);
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
    , setup_(setup)
{
    prepareEngine();
    setObjectName(u"VerificationWindow"_s);
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowTitle(QString::fromUtf16(VerificationTitle));
    resize(VerificationWindowSize);

    // Off the record and shared with the hidden page of the web engine's page source: the pass lives
    // in memory only, as the program's own cookies do, holds for that page's requests too, and nothing
    // of the strip's profile mixes in.
    QWebEngineProfile* profile = privateProfile();
    if (!setup.userAgent.isEmpty())
        profile->setHttpUserAgent(QString::fromLatin1(setup.userAgent));
    if (!setup.acceptLanguage.isEmpty())
        profile->setHttpAcceptLanguage(QString::fromLatin1(setup.acceptLanguage));
    connect(profile, &QWebEngineProfile::downloadRequested, this, &VerificationWindow::onDownloadRequested);

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
    page_ = new VerificationPage(profile, std::move(opener), view_);
    view_->setPage(page_);
    connect(page_, &QWebEnginePage::loadingChanged, this, &VerificationWindow::onLoadingChanged);
    connect(page_, &QWebEnginePage::loadFinished, this, &VerificationWindow::onLoadFinished);

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 8, 0, 0);
    layout->setSpacing(8);
    auto* noticeRow = new QHBoxLayout;
    noticeRow->setContentsMargins(10, 0, 10, 0);
    noticeRow->addWidget(notice_);
    layout->addLayout(noticeRow);
    layout->addWidget(view_, 1);

    placeBeside(parent, setup.listArea);
    addCookies(profile->cookieStore(), setup.cookies);
    loadWhenItsTurn();
}

// The page goes with its view; the profile stays for the next window and the hidden pages.
VerificationWindow::~VerificationWindow()
{
    // The page says nothing more to a window half gone; a load it leaves unfinished has ended.
    disconnect(page_, nullptr, this, nullptr);
    if (loadsUnderWay_ > 0 && setup_.requestEnded)
        setup_.requestEnded(setup_.context, false);
}

void VerificationWindow::loadWhenItsTurn()
{
    if (reported_)
        return;
    const int ms = setup_.untilTurn ? setup_.untilTurn(setup_.context) : 0;
    // Never: the run was stopped, and the owner closes the window.
    if (ms < 0)
        return;
    if (ms > 0) {
        QTimer::singleShot(ms, Qt::PreciseTimer, this, &VerificationWindow::loadWhenItsTurn);
        return;
    }
    page_->load(setup_.address);
}

void VerificationWindow::onLoadingChanged(const QWebEngineLoadingInfo& info)
{
    // A navigation that replaces another before it ended continues the same request to the pace.
    if (info.status() == QWebEngineLoadingInfo::LoadStartedStatus) {
        if (loadsUnderWay_++ == 0) {
            loadFrom_ = info.url();
            if (setup_.requestStarted)
                setup_.requestStarted(setup_.context);
        }
        return;
    }
    if (loadsUnderWay_ == 0 || --loadsUnderWay_ > 0)
        return;
    // Refused: a page of the engine ended on the verification. The verification's own pages, a
    // person's tries at it, are not refusals.
    const bool refused = !isVerificationAddress(loadFrom_) && isVerification(page_->url(), page_->title());
    if (setup_.requestEnded)
        setup_.requestEnded(setup_.context, refused);
}

QList<QNetworkCookie> VerificationWindow::cookies() const
{
    return privateCookies();
}

void VerificationWindow::closeEvent(QCloseEvent* event)
{
    event->accept();
    if (reported_)
        return;
    reported_ = true;
    Q_EMIT notPassed();
}

void VerificationWindow::onLoadFinished(bool ok)
{
    if (reported_)
        return;
    const bool firstPage = pagesFinished_++ == 0;
    // Also a verification page that came with an error status counts as shown.
    if (isVerification(page_->url(), page_->title())) {
        shownVerification_ = true;
        return;
    }
    if (!ok || !isPastVerification(page_->url(), page_->title(), setup_.askedAddress))
        return;
    reported_ = true;
    if (firstPage && !shownVerification_)
        Q_EMIT served(cookies());
    else
        Q_EMIT passed(cookies());
    close();
}

void VerificationWindow::onDownloadRequested(QWebEngineDownloadRequest* download)
{
    // The profile cancels every download; the pages of the others are not this window's concern.
    if (download->page() != page_)
        return;
    download->cancel();
    Q_EMIT downloadRefused(download->url());
}

// The window's frame is taken to be as wide as the owner's, whose decorations the desktop drew alike.
void VerificationWindow::placeBeside(QWidget* parent, const QRect& listArea)
{
    if (!parent)
        return;
    const QWidget* owner = parent->window();
    const QScreen* screen = owner->screen();
    if (!screen)
        return;
    const QRect ownerFrame = owner->frameGeometry();
    const QRect ownerInside = owner->geometry();
    const QMargins frameMargins(ownerInside.left() - ownerFrame.left(), ownerInside.top() - ownerFrame.top(),
                                ownerFrame.right() - ownerInside.right(), ownerFrame.bottom() - ownerInside.bottom());
    const QRect place = verificationWindowPlace(ownerFrame, listArea, screen->availableGeometry(),
                                                VerificationWindowSize.grownBy(frameMargins));
    setGeometry(place.marginsRemoved(frameMargins));
}

} // namespace WebStrip
