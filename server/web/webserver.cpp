// SPDX-License-Identifier: Apache-2.0
#include "server/web/webserver.h"

#include "common/clock.h"
#include "platform/socketoptions.h"
#include "server/web/ownerpages.h"

#include <QRandomGenerator>
#include <QSslSocket>
#include <QTcpServer>
#include <QTimer>

using HttpWire::Request;
using HttpWire::Response;

class WebServer::Listener final : public QTcpServer
{
public:
    explicit Listener(WebServer* owner) : QTcpServer(owner), m_owner(owner) {}

protected:
    void incomingConnection(qintptr descriptor) override { m_owner->take(descriptor); }

private:
    WebServer* m_owner;
};

namespace {

Response redirect(const QByteArray& to)
{
    Response r;
    r.status = 303;
    r.headers.append({"Location", to});
    return r;
}

Response plain(int status)
{
    Response r;
    r.status = status;
    r.contentType = "text/plain; charset=utf-8";
    r.body = HttpWire::reasonPhrase(status) + '\n';
    return r;
}

} // namespace

WebServer::WebServer(Pages pages, std::function<bool(const QString&)> checkPassword,
                     QObject* parent)
    : QObject(parent), m_pages(std::move(pages)), m_checkPassword(std::move(checkPassword))
{
}

WebServer::~WebServer()
{
    close();
}

QString WebServer::listen(const QList<QHostAddress>& addresses, quint16 port)
{
    close();
    for (const QHostAddress& a : addresses) {
        auto* l = new Listener(this);
        if (!l->listen(a, port)) {
            const QString why = a.toString() + QStringLiteral(": ") + l->errorString();
            delete l;
            close();
            return why;
        }
        port = l->serverPort();
        m_listeners.append(l);
    }
    return {};
}

void WebServer::close()
{
    qDeleteAll(m_listeners);
    m_listeners.clear();
    while (!m_connections.isEmpty()) {
        drop(m_connections.cbegin().key());
    }
}

quint16 WebServer::serverPort() const
{
    return m_listeners.isEmpty() ? 0 : m_listeners.first()->serverPort();
}

void WebServer::setConnectionCaps(int perAddress, int total)
{
    m_maxPerAddress = perAddress;
    m_maxConnections = total;
}

void WebServer::take(qintptr descriptor)
{
    // Refused on the bare descriptor, before any socket object exists.
    const QString address = SocketOptions::peerAddress(descriptor);
    if (m_perAddress.value(address) >= m_maxPerAddress ||
        m_connections.size() >= m_maxConnections) {
        SocketOptions::discard(descriptor);
        return;
    }
    QTcpSocket* socket = https() ? new QSslSocket(this) : new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        SocketOptions::discard(descriptor);
        return;
    }
    auto* c = new Connection;
    c->socket = socket;
    c->address = address;
    ++m_perAddress[address];
    const qint64 id = ++m_counter;
    m_connections.insert(id, c);
    socket->setReadBufferSize(HttpWire::MaxHeaderBytes);
    c->timer = new QTimer(socket);
    c->timer->setSingleShot(true);
    connect(c->timer, &QTimer::timeout, this, [this, id] {
        Connection* c = m_connections.value(id);
        if (c == nullptr || c->answered) {
            drop(id);
        } else {
            answer(c, plain(408));
        }
    });
    c->timer->start(RequestTimeoutMs);
    connect(socket, &QTcpSocket::readyRead, this, [this, id] { readFrom(id); });
    // Dropped once the current event is done with the socket.
    const auto dropLater = [this, id] {
        QMetaObject::invokeMethod(
            this, [this, id] { drop(id); }, Qt::QueuedConnection);
    };
    connect(socket, &QTcpSocket::disconnected, this, dropLater);
    if (auto* tls = qobject_cast<QSslSocket*>(socket)) {
        tls->setSslConfiguration(m_tls);
        // A peer that does not speak TLS, or fails its handshake, is not answered at all.
        connect(tls, &QSslSocket::errorOccurred, this, dropLater);
        tls->startServerEncryption();
    }
}

void WebServer::readFrom(qint64 id)
{
    Connection* c = m_connections.value(id);
    if (c == nullptr) {
        return;
    }
    if (c->answered) {
        // Whatever still comes is dropped, so the peer gets to read its answer.
        c->socket->skip(c->socket->bytesAvailable());
        return;
    }
    // Never more than the reader may keep: what is beyond its limits is refused unread.
    while (c->socket->bytesAvailable() > 0 &&
           c->reader.state() == HttpWire::RequestReader::State::Incomplete) {
        c->reader.feed(c->socket->read(HttpWire::MaxHeaderBytes));
    }
    switch (c->reader.state()) {
    case HttpWire::RequestReader::State::Incomplete:
        return;
    case HttpWire::RequestReader::State::Refused:
        answer(c, plain(c->reader.refusalStatus()));
        return;
    case HttpWire::RequestReader::State::Complete:
        answer(c, route(c->reader.request(), c->address));
        return;
    }
}

void WebServer::answer(Connection* c, const Response& r)
{
    c->answered = true;
    c->socket->write(r.serialised());
    c->socket->disconnectFromHost();
    // A peer that does not read its answer is not waited for long.
    c->timer->start(RequestTimeoutMs);
}

void WebServer::drop(qint64 id)
{
    Connection* c = m_connections.take(id);
    if (c == nullptr) {
        return;
    }
    c->timer->stop();
    if (--m_perAddress[c->address] <= 0) {
        m_perAddress.remove(c->address);
    }
    c->socket->disconnect(this);
    c->socket->abort();
    c->socket->deleteLater();
    delete c;
}

Response WebServer::route(const Request& request, const QString& address)
{
    const QByteArray path = HttpWire::normalisedPath(request.target);
    if (path.isEmpty()) {
        return plain(404);
    }
    if (path == "/login") {
        if (request.method == "POST") {
            return login(request, address);
        }
        if (request.method != "GET") {
            return plain(405);
        }
        return hasSession(request) ? redirect("/") : loginPage(200, {});
    }
    if (request.method != "GET") {
        return plain(405);
    }
    if (path == "/style.css") {
        Response r;
        r.contentType = "text/css; charset=utf-8";
        r.body = OwnerPages::asset(QStringLiteral("style.css"));
        r.privatePage = false;
        return r;
    }
    const bool known = path == "/" || path == "/now.json" || path == "/refresh.js";
    if (!known) {
        return plain(404);
    }
    if (!hasSession(request)) {
        return path == "/" ? redirect("/login") : plain(401);
    }
    Response r;
    if (path == "/") {
        r.contentType = "text/html; charset=utf-8";
        r.body = m_pages.overviewHtml();
    } else if (path == "/now.json") {
        r.contentType = "application/json";
        r.body = m_pages.overviewJson();
    } else {
        r.contentType = "text/javascript; charset=utf-8";
        r.body = OwnerPages::asset(QStringLiteral("refresh.js"));
    }
    return r;
}

Response WebServer::login(const Request& request, const QString& address)
{
    const QDateTime now = Clock::now();
    if (!m_throttle.allowed(address, now)) {
        Response r = loginPage(429, QStringLiteral("Too many wrong passwords. Try again later."));
        r.headers.append({"Retry-After", QByteArray::number(m_throttle.secondsLeft(address, now))});
        return r;
    }
    const QByteArray typed = HttpWire::formValue(request.body, "password");
    const bool right = !typed.isEmpty() && m_checkPassword(QString::fromUtf8(typed));
    m_throttle.record(address, right, now);
    if (!right) {
        return loginPage(401, QStringLiteral("Wrong password."));
    }
    Response r = redirect("/");
    QByteArray cookie = CookieName + '=' + newSession() + "; Path=/; HttpOnly; SameSite=Strict";
    if (https()) {
        cookie += "; Secure";
    }
    r.headers.append({"Set-Cookie", cookie});
    return r;
}

bool WebServer::hasSession(const Request& request)
{
    const QDateTime now = Clock::now();
    for (auto it = m_sessions.begin(); it != m_sessions.end();) {
        it = it.value().secsTo(now) > SessionIdleSeconds ? m_sessions.erase(it) : std::next(it);
    }
    const auto it = m_sessions.find(request.cookie(CookieName));
    if (it == m_sessions.end()) {
        return false;
    }
    it.value() = now;
    return true;
}

QByteArray WebServer::newSession()
{
    if (m_sessions.size() >= MaxSessions) {
        // The one used longest ago makes room.
        auto oldest = m_sessions.begin();
        for (auto it = m_sessions.begin(); it != m_sessions.end(); ++it) {
            if (it.value() < oldest.value()) {
                oldest = it;
            }
        }
        m_sessions.erase(oldest);
    }
    quint32 words[4];
    QRandomGenerator::system()->fillRange(words);
    const QByteArray token =
        QByteArray(reinterpret_cast<const char*>(words), sizeof(words)).toHex();
    m_sessions.insert(token, Clock::now());
    return token;
}

Response WebServer::loginPage(int status, const QString& notice) const
{
    Response r;
    r.status = status;
    r.contentType = "text/html; charset=utf-8";
    r.body = OwnerPages::login(notice);
    return r;
}
