// The web as the program sees it in the end-to-end tests: a search engine whose result pages list
// the related searches the test gives, and the six hot-list pages. FakeHttpServer answers on a
// thread of its own, so the driver may block on a desktop tool while a page is on its way.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QMutex>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QThread>

class FakeHttpServer;

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

    // Every request target in the order of arrival, one per line.
    QString requestLog() const;
    int requestCount() const;

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
    mutable QMutex mutex_;
    QStringList log_;
    QHash<QString, Page> pages_;
    QSet<QString> hanging_;
};
