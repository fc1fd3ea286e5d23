// The verification window, brought up through the web-strip plugin, and the cookie hand-over.
#include "app/verificationgate.h"

#include "app/webstrip/webstrip.h"
#include "app/webstriploader.h"
#include "mining/pacer.h"
#include "platform/browser.h"
#include "platform/inet.h"

#include <QEvent>
#include <QEventLoop>
#include <QNetworkCookieJar>
#include <QPointer>
#include <QRect>
#include <QTimer>
#include <QUrl>
#include <QWidget>

using namespace Qt::StringLiterals;

namespace VerificationGate {

namespace {

    // Naming the protected member through a class derived from the jar gives a pointer to it that any
    // jar can be read with.
    struct JarReader : QNetworkCookieJar
    {
        static QList<QNetworkCookie> all(const QNetworkCookieJar* jar) { return (jar->*(&JarReader::allCookies))(); }
    };

    struct Answer
    {
        bool reported = false;
        VerificationResult result = VerificationResult::NotPassed;
        QList<QNetworkCookie> cookies;
        QPointer<QEventLoop> loop;
        bool paced = false;
        QPointer<Mining::Pacer> pacer; // may go with the main window while the window stands
        const std::function<bool()>* stopRequested = nullptr;
    };

    int untilTurn(void* context)
    {
        const auto* answer = static_cast<Answer*>(context);
        if (answer->stopRequested && *answer->stopRequested && (*answer->stopRequested)())
            return -1;
        if (!answer->paced)
            return 0;
        return answer->pacer ? answer->pacer->msUntilTurn() : -1;
    }

    void requestStarted(void* context)
    {
        if (const auto* answer = static_cast<Answer*>(context); answer->pacer)
            answer->pacer->started();
    }

    void requestEnded(void* context, bool refused)
    {
        if (const auto* answer = static_cast<Answer*>(context); answer->pacer)
            answer->pacer->ended(refused);
    }

    void windowFinished(void* context, VerificationResult result, const QList<QNetworkCookie>& cookies)
    {
        auto* answer = static_cast<Answer*>(context);
        answer->reported = true;
        answer->result = result;
        answer->cookies = cookies;
        if (answer->loop)
            answer->loop->quit();
    }

    // Closes the verification window as soon as the main window closes or is hidden by the program,
    // before anything of the closing runs: the program may end the process right there.
    class OwnerWatch : public QObject
    {
    public:
        OwnerWatch(QWidget* owner, QWidget* window)
            : owner_(owner)
            , window_(window)
        {
            if (owner_)
                owner_->installEventFilter(this);
        }
        ~OwnerWatch() override
        {
            if (owner_)
                owner_->removeEventFilter(this);
        }

    protected:
        bool eventFilter(QObject* watched, QEvent* event) override
        {
            const bool closing
                = event->type() == QEvent::Close || (event->type() == QEvent::Hide && !event->spontaneous());
            if (watched == owner_ && closing && window_)
                window_->close();
            return false;
        }

    private:
        QPointer<QWidget> owner_;
        QPointer<QWidget> window_;
    };

} // namespace

QList<QNetworkCookie> cookiesOf(const QNetworkCookieJar* jar)
{
    return jar ? JarReader::all(jar) : QList<QNetworkCookie>();
}

void addCookies(QNetworkCookieJar* jar, const QList<QNetworkCookie>& cookies)
{
    if (!jar)
        return;
    for (QNetworkCookie cookie : cookies) {
        const bool wholeDomain = cookie.domain().startsWith(u'.');
        QUrl from;
        from.setScheme(cookie.isSecure() ? u"https"_s : u"http"_s);
        from.setHost(wholeDomain ? cookie.domain().mid(1) : cookie.domain());
        from.setPath(cookie.path().startsWith(u'/') ? cookie.path() : u"/"_s);
        if (!from.isValid() || from.host().isEmpty())
            continue;
        // The jar gives a cookie without a domain to its host only.
        if (!wholeDomain)
            cookie.setDomain(QString());
        jar->setCookiesFromUrl({ cookie }, from);
    }
}

Outcome pass(QWidget* parent, Inet* inet, const QUrl& address, const QUrl& asked, Mining::Pacer* pacer,
             const std::function<bool()>& stopRequested)
{
    if (WebStripLoader::engineWouldRefuseToStart())
        return Outcome::Unavailable;
    const auto createWindow
        = reinterpret_cast<VerificationWindowFactory>(WebStripLoader::resolve(VerificationWindowFactoryName));
    if (!createWindow)
        return Outcome::Unavailable;
    if (stopRequested && stopRequested())
        return Outcome::NotPassed;

    const QPointer<Inet> jarOwner(inet);
    Answer answer;
    answer.paced = pacer != nullptr;
    answer.pacer = pacer;
    answer.stopRequested = &stopRequested;
    VerificationWindowSetup setup;
    setup.address = address;
    setup.askedAddress = asked;
    setup.userAgent = QByteArray(Inet::UserAgent);
    setup.acceptLanguage = QByteArray(Inet::AcceptLanguage);
    if (inet)
        setup.cookies = cookiesOf(inet->cookieJar());
    if (parent) {
        if (const QWidget* list = parent->window()->findChild<QWidget*>(u"Frame2"_s))
            setup.listArea = QRect(list->mapToGlobal(QPoint(0, 0)), list->size());
    }
    setup.openAddress = &Browser::openInDefaultBrowser;
    setup.finished = &windowFinished;
    setup.untilTurn = &untilTurn;
    setup.requestStarted = &requestStarted;
    setup.requestEnded = &requestEnded;
    setup.context = &answer;
    QPointer<QWidget> window = createWindow(parent, &setup);
    if (!window)
        return Outcome::Unavailable;

    QEventLoop loop;
    answer.loop = &loop;
    QObject::connect(window, &QObject::destroyed, &loop, &QEventLoop::quit);
    QTimer poll;
    poll.setInterval(100);
    QObject::connect(&poll, &QTimer::timeout, &loop, [&loop, &stopRequested] {
        if (stopRequested && stopRequested())
            loop.quit();
    });
    OwnerWatch watch(parent ? parent->window() : nullptr, window);
    window->show();
    window->raise();
    window->activateWindow();
    poll.start();
    if (!answer.reported && window)
        loop.exec();
    poll.stop();
    answer.loop = nullptr;
    // Deleted without a word: it reports nothing more.
    delete window.data();

    if (answer.result == VerificationResult::NotPassed)
        return Outcome::NotPassed;
    // The fetch component may have gone with its window while the loop ran.
    if (jarOwner)
        addCookies(jarOwner->cookieJar(), answer.cookies);
    return answer.result == VerificationResult::Served ? Outcome::Served : Outcome::Passed;
}

} // namespace VerificationGate
