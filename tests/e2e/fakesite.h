// The web as the program sees it in the end-to-end tests: a search engine whose result pages list
// the related searches the test gives, which may ask for its security verification as today's engine
// does, and the six hot-list pages. FakeHttpServer answers on a
// thread of its own, so the driver may block on a desktop tool while a page is on its way.
#pragma once

#include <QByteArray>
#include <QElapsedTimer>
#include <QHash>
#include <QList>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

#include "support/fakehttpserver.h"

class FakeSite
{
public:
    FakeSite();
    ~FakeSite();
    FakeSite(const FakeSite&) = delete;
    FakeSite& operator=(const FakeSite&) = delete;

    bool start();
    quint16 port() const { return port_; }

    // The result page of keyword lists these related searches; it is answered after delayMs.
    void setRelated(const QString& keyword, const QStringList& related, int delayMs = 0);
    // The result page of keyword never comes.
    void setHanging(const QString& keyword);
    // Any other page, at host and path whatever the query: answered with response.
    void setPage(const QString& host, const QString& path, const FakeHttpServer::Response& response);

    // Once answeredFirst more result pages have been answered, a result page asked for without the
    // pass cookie "BDPASS=1" is refused as the engine refuses it: a 302 to verificationAddress() of
    // the address asked for. That page is titled "百度安全验证"; its button "pass" asks for an address
    // that sets the cookie (on .baidu.com) and sends the browser back to the refused address.
    void setRefusing(bool refusing, int answeredFirst = 0);

    // The engine of today that tells scripts from browsers: every result page the program's own
    // fetcher asks for is refused, while the web engine's requests are answered. Refused in place:
    // the verification page comes instead of the results; by redirect: a 302 to
    // verificationAddress(), as setRefusing() does.
    enum class FetcherRefusal { None, InPlace, Redirect };
    void setRefusingFetcher(FetcherRefusal refusal);

    // Every request target in the order of arrival, one per line.
    QString requestLog() const;
    int requestCount() const;

    // Every request in the order of arrival, with the headers that tell who asked (empty when none).
    struct Visit
    {
        QString target;
        QString cookie;
        QString userAgent;
        QString acceptLanguage;
        qint64 atMs = 0; // when it arrived, counted from the site's start
        // The web engine asked: its network stack sends Upgrade-Insecure-Requests with every page it
        // navigates to, Qt's fetcher never does.
        bool fromWebEngine = false;
        bool refused = false; // answered with the verification
    };
    QList<Visit> visits() const;

    // Where a refused result page at address (as the request named it) is redirected to.
    static QString verificationAddress(const QString& address);
    // The address the verification page's button asks for.
    static QString passAddress(const QString& address);

    // The target the program sends for a keyword's result page: its GBK bytes, percent-encoded.
    static QString searchTarget(const QString& keyword);

private:
    struct Page
    {
        QStringList related;
        int delayMs = 0;
    };

    QThread thread_;
    FakeHttpServer* server_ = nullptr; // lives in thread_
    quint16 port_ = 0;
    QElapsedTimer clock_;
    mutable QMutex mutex_;
    QStringList log_;
    QList<Visit> visits_;
    QHash<QString, Page> pages_;
    QSet<QString> hanging_;
    QHash<QString, FakeHttpServer::Response> otherPages_; // by host and path
    bool refusing_ = false;
    int answeredFirst_ = 0;
    int answered_ = 0; // result pages answered with their results
    FetcherRefusal fetcherRefusal_ = FetcherRefusal::None;
};
