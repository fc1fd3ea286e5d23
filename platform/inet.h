// The fetch component Inet1: a blocking HTTP GET that keeps the window's events flowing while it waits.
// Cookies the servers set are kept in memory for the life of the component, never on disk.
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>

class QNetworkAccessManager;
class QNetworkCookieJar;
class QNetworkReply;
class QUrl;

// What one fetch gives back: the page text on success, or why it failed.
struct FetchResult
{
    bool ok = false;
    int status = 0;     // HTTP status code of the last answer, 0 when none arrived
    QString text;       // decoded page text, empty on failure
    QString error;      // human-readable reason on failure
    qint64 bytes = 0;   // body bytes received (decoded size)
    // The engine answered with its security verification (too many requests): a redirect to the
    // verification page, or that page itself. Such a fetch is a failure.
    bool verification = false;
    // Where a person passes that verification: the address redirected to, or the refused address
    // itself when the verification page came in place of the answer.
    QString verificationAddress;
    // The address asked for, as given; a pass of the verification brings its answer back.
    QString address;
};

class Inet : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultTimeoutMs = 60000;
    static constexpr qint64 MaxBodyBytes = 16 * 1024 * 1024;
    static constexpr int MaxRedirects = 20;

    explicit Inet(QObject* parent = nullptr);
    ~Inet() override;

    // What the requests say of themselves, as a desktop browser's do.
    static const char UserAgent[];
    static const char Accept[];
    static const char AcceptJson[];
    static const char AcceptLanguage[];

    // What the caller expects back: a web page (Accept of a browser's page request; charset from
    // the header, the page's <meta>, otherwise GBK) or the JSON answer of a data interface (Accept
    // of a browser's script request; charset from the header, otherwise UTF-8).
    enum class Expect { Page, Json };

    // GET the address and wait for the whole body in a local event loop. While it waits, every
    // other event of the application is handled: handlers may run and the window may close, so
    // callers check their own state again after this returns.
    FetchResult OpenURL(const QString& address, Expect expect = Expect::Page);

    // Request time-out: the whole fetch, redirects included, fails once it has taken this long.
    // The program keeps the default; tests shorten it.
    void setTimeoutMs(int ms) { timeoutMs_ = ms; }
    int timeoutMs() const { return timeoutMs_; }

    // The engine's security verification: a redirect to its host or to a captcha address, or a
    // page whose title is "百度安全验证".
    static bool isVerificationAddress(const QUrl& url);
    static bool isVerificationPage(QStringView text);

    // Ends every request in progress at once; each waiting OpenURL returns a failure.
    void abort();

    bool busy() const { return !reply_.isNull(); }

    // The cookies the servers set, kept for the next requests; the verification window adds its own.
    QNetworkCookieJar* cookieJar() const;

    // Time spent waiting inside OpenURL since construction, for the benchmarks.
    qint64 totalWaitNs() const { return totalWaitNs_; }

private:
    struct Call; // one OpenURL waiting; lives on that OpenURL's stack

    QNetworkAccessManager* manager_ = nullptr;
    QPointer<QNetworkReply> reply_; // the newest request still waiting
    QList<Call*> calls_;            // every OpenURL waiting, oldest first (handlers may start more)
    int timeoutMs_ = DefaultTimeoutMs;
    qint64 totalWaitNs_ = 0;
};
