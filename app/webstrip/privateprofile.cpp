// The shared private profile and the record of its cookies.
#include "app/webstrip/privateprofile.h"

#include "app/webstrip/strippage.h"

#include <QCoreApplication>
#include <QPointer>
#include <QUrl>
#include <QWebEngineCookieStore>
#include <QWebEngineDownloadRequest>
#include <QWebEngineProfile>

using namespace Qt::StringLiterals;

namespace WebStrip {

namespace {

    // The store reports its cookies only as they come and go.
    class CookieRecord : public QObject
    {
    public:
        explicit CookieRecord(QWebEngineProfile* profile)
            : QObject(profile)
        {
            QWebEngineCookieStore* store = profile->cookieStore();
            connect(store, &QWebEngineCookieStore::cookieAdded, this, [this](const QNetworkCookie& cookie) {
                forget(cookie);
                cookies.append(cookie);
            });
            connect(store, &QWebEngineCookieStore::cookieRemoved, this, &CookieRecord::forget);
        }

        void forget(const QNetworkCookie& cookie)
        {
            cookies.removeIf([&cookie](const QNetworkCookie& held) { return held.hasSameIdentifier(cookie); });
        }

        QList<QNetworkCookie> cookies;
    };

    QPointer<QWebEngineProfile> profile;
    QPointer<CookieRecord> record;

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

QWebEngineProfile* privateProfile()
{
    if (profile)
        return profile;
    prepareEngine();
    // A child of the application object: deleted with it, after the windows and page sources that
    // hold its pages, which their owners delete before.
    profile = new QWebEngineProfile(QCoreApplication::instance());
    record = new CookieRecord(profile);
    // Neither the window nor the hidden page saves anything.
    QObject::connect(profile, &QWebEngineProfile::downloadRequested, profile,
                     [](QWebEngineDownloadRequest* download) { download->cancel(); });
    return profile;
}

QList<QNetworkCookie> privateCookies()
{
    return record ? record->cookies : QList<QNetworkCookie>();
}

void addCookies(QWebEngineCookieStore* store, const QList<QNetworkCookie>& cookies)
{
    for (QNetworkCookie cookie : cookies) {
        const QUrl origin = originOf(cookie);
        if (!origin.isValid() || origin.host().isEmpty())
            continue;
        if (!cookie.domain().startsWith(u'.'))
            cookie.setDomain(QString());
        store->setCookie(cookie, origin);
    }
}

} // namespace WebStrip
