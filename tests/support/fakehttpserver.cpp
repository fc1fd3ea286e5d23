// A one-request-per-connection HTTP/1.1 server on 127.0.0.1, used by tests as the program's proxy.
#include "support/fakehttpserver.h"

#include <QNetworkProxy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#ifdef Q_OS_UNIX
#include <sys/socket.h>
#endif

#include <memory>

using namespace Qt::StringLiterals;

namespace {

QByteArray reasonPhrase(int status)
{
    switch (status) {
    case 200: return QByteArrayLiteral("OK");
    case 204: return QByteArrayLiteral("No Content");
    case 301: return QByteArrayLiteral("Moved Permanently");
    case 302: return QByteArrayLiteral("Found");
    case 303: return QByteArrayLiteral("See Other");
    case 307: return QByteArrayLiteral("Temporary Redirect");
    case 308: return QByteArrayLiteral("Permanent Redirect");
    case 400: return QByteArrayLiteral("Bad Request");
    case 403: return QByteArrayLiteral("Forbidden");
    case 404: return QByteArrayLiteral("Not Found");
    case 500: return QByteArrayLiteral("Internal Server Error");
    case 502: return QByteArrayLiteral("Bad Gateway");
    case 503: return QByteArrayLiteral("Service Unavailable");
    default: return QByteArrayLiteral("Status");
    }
}

// A reset rather than an orderly close: linger with a zero time-out makes close() send RST.
void resetConnection(QTcpSocket* socket)
{
#ifdef Q_OS_UNIX
    const qintptr fd = socket->socketDescriptor();
    if (fd >= 0) {
        struct linger option = { 1, 0 };
        ::setsockopt(int(fd), SOL_SOCKET, SO_LINGER, &option, sizeof option);
    }
#endif
    socket->abort();
    socket->deleteLater();
}

} // namespace

FakeHttpServer::FakeHttpServer(QObject* parent)
    : QObject(parent)
    , server_(new QTcpServer(this))
    , handler_([](const Request&) {
        Response response;
        response.status = 404;
        response.body = QByteArrayLiteral("not found");
        return response;
    })
{
    connect(server_, &QTcpServer::newConnection, this, &FakeHttpServer::onNewConnection);
}

FakeHttpServer::~FakeHttpServer()
{
    // Sockets die with the server below; none of their signals may reach this half-destroyed object.
    for (QTcpSocket* socket : server_->findChildren<QTcpSocket*>())
        socket->disconnect(this);
    delete server_;
}

bool FakeHttpServer::start()
{
    return server_->listen(QHostAddress::LocalHost, 0);
}

quint16 FakeHttpServer::port() const
{
    return server_->serverPort();
}

void FakeHttpServer::setHandler(Handler handler)
{
    handler_ = std::move(handler);
}

void FakeHttpServer::useAsApplicationProxy()
{
    QNetworkProxy::setApplicationProxy(QNetworkProxy(QNetworkProxy::HttpProxy, u"127.0.0.1"_s, port()));
}

void FakeHttpServer::onNewConnection()
{
    while (QTcpSocket* socket = server_->nextPendingConnection()) {
        connections_.insert(socket, Connection());
        connect(socket, &QTcpSocket::readyRead, this, [this, socket] { onReadyRead(socket); });
        connect(socket, &QTcpSocket::disconnected, this, [this, socket] {
            connections_.remove(socket);
            socket->deleteLater();
        });
    }
}

void FakeHttpServer::onReadyRead(QTcpSocket* socket)
{
    auto it = connections_.find(socket);
    if (it == connections_.end())
        return;
    Connection& connection = it.value();
    connection.received += socket->readAll();
    if (connection.answered)
        return;

    qsizetype headerEnd = connection.received.indexOf("\r\n\r\n");
    if (headerEnd < 0)
        headerEnd = connection.received.indexOf("\n\n");
    if (headerEnd < 0)
        return;
    connection.answered = true;

    QList<QByteArray> lines = connection.received.left(headerEnd).split('\n');
    for (QByteArray& line : lines) {
        if (line.endsWith('\r'))
            line.chop(1);
    }
    Request request;
    const QList<QByteArray> requestLine = lines.value(0).split(' ');
    request.method = requestLine.value(0);
    request.target = requestLine.value(1);
    QByteArray host;
    for (qsizetype i = 1; i < lines.size(); ++i) {
        const qsizetype colon = lines[i].indexOf(':');
        if (colon <= 0)
            continue;
        const QByteArray name = lines[i].left(colon).trimmed();
        const QByteArray value = lines[i].mid(colon + 1).trimmed();
        request.headers.append({ name, value });
        if (name.compare("host", Qt::CaseInsensitive) == 0)
            host = value;
    }
    if (request.target.startsWith('/'))
        request.url = QUrl::fromEncoded("http://" + host + request.target, QUrl::TolerantMode);
    else
        request.url = QUrl::fromEncoded(request.target, QUrl::TolerantMode);

    requests_.append(request);
    Response response;
    if (handler_)
        response = handler_(request);
    else
        response.status = 404;
    if (response.hang)
        return;
    if (response.closeUnanswered) {
        socket->disconnectFromHost();
        return;
    }
    if (response.delayMs > 0)
        QTimer::singleShot(response.delayMs, socket, [this, socket, response] { answer(socket, response); });
    else
        answer(socket, response);
}

void FakeHttpServer::answer(QTcpSocket* socket, const Response& response)
{
    if (socket->state() != QAbstractSocket::ConnectedState)
        return;

    QByteArray head = "HTTP/1.1 " + QByteArray::number(response.status) + ' ' + reasonPhrase(response.status) + "\r\n";
    if (!response.contentType.isEmpty())
        head += "Content-Type: " + response.contentType + "\r\n";
    if (!response.noContentLength)
        head += "Content-Length: " + QByteArray::number(response.body.size()) + "\r\n";
    for (const auto& [name, value] : response.extraHeaders)
        head += name + ": " + value + "\r\n";
    head += "Connection: close\r\n\r\n";

    if (response.reset) {
        socket->write(head + response.body.left(response.body.size() / 2));
        socket->flush();
        // A moment for the client to take the first half, so that the reset comes mid-body.
        QTimer::singleShot(50, socket, [socket] { resetConnection(socket); });
        return;
    }
    if (response.dripMs > 0) {
        socket->write(head);
        auto* timer = new QTimer(socket);
        auto sent = std::make_shared<qsizetype>(0);
        connect(timer, &QTimer::timeout, socket, [socket, timer, sent, body = response.body] {
            if (*sent >= body.size()) {
                timer->stop();
                socket->disconnectFromHost();
                return;
            }
            socket->write(body.mid(*sent, 1));
            ++*sent;
        });
        timer->start(response.dripMs);
        return;
    }
    socket->write(head + response.body);
    socket->disconnectFromHost();
}
