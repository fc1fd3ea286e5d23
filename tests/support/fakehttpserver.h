// A local HTTP server for tests and benchmarks: answers every request through a handler that
// returns canned replies, and logs what arrived. The program reaches it as its HTTP proxy, so the
// real request path (proxy, GET of an absolute address, headers, decoding) runs unchanged.
#pragma once

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPair>
#include <QUrl>
#include <functional>

class QTcpServer;
class QTcpSocket;

class FakeHttpServer : public QObject
{
    Q_OBJECT
public:
    struct Request
    {
        QByteArray method;
        QByteArray target; // the request target exactly as sent, e.g. "http://www.baidu.com/s?wd=%BC%F5"
        QUrl url;          // the same target parsed (host, path, query as sent)
        QList<QPair<QByteArray, QByteArray>> headers;
    };

    struct Response
    {
        int status = 200;
        QByteArray contentType = "text/html";
        QByteArray body;
        QList<QPair<QByteArray, QByteArray>> extraHeaders;
        int delayMs = 0;       // wait this long before answering
        bool hang = false;     // accept and never answer
        bool reset = false;    // send the headers and half the body, then reset the connection
        int dripMs = 0;        // send the body one byte every dripMs milliseconds
        bool closeUnanswered = false; // read the request, then close the connection without a word
        bool noContentLength = false; // no Content-Length header: the body ends when the connection closes
    };

    using Handler = std::function<Response(const Request&)>;

    explicit FakeHttpServer(QObject* parent = nullptr);
    ~FakeHttpServer() override;

    // Listens on 127.0.0.1 on a free port.
    bool start();
    quint16 port() const;

    void setHandler(Handler handler);

    // Makes this server the application's HTTP proxy (QNetworkProxy::setApplicationProxy).
    void useAsApplicationProxy();

    const QList<Request>& requests() const { return requests_; }
    void clearRequests() { requests_.clear(); }

private:
    void onNewConnection();
    void onReadyRead(QTcpSocket* socket);
    void answer(QTcpSocket* socket, const Response& response);

    struct Connection
    {
        QByteArray received;
        bool answered = false;
    };

    QTcpServer* server_ = nullptr;
    Handler handler_;
    QList<Request> requests_;
    QHash<QTcpSocket*, Connection> connections_;
};
