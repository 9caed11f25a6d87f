#include "server/link/linkserver.h"

#include "common/errorlog.h"

#include <QNetworkInterface>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <sys/resource.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <limits>

namespace {
constexpr int WakeTimeoutMs = 3000;
}

LinkServer::LinkServer(QObject* parent) : QObject(parent), m_server(new QTcpServer(this))
{
    m_server->setListenBacklogSize(ListenBacklog);
    m_server->setMaxPendingConnections(ListenBacklog);
    connect(m_server, &QTcpServer::newConnection, this, &LinkServer::acceptPending);
}

LinkServer::~LinkServer()
{
    close();
    if (AgentLink::instance() == this) {
        AgentLink::setInstance(nullptr);
    }
}

bool LinkServer::listen(quint16 port, const QHostAddress& address)
{
    raiseOpenFilesLimit();
    if (m_server->isListening()) {
        m_server->close();
    }
    if (!m_server->listen(address, port)) {
        ErrorLog::write(QStringLiteral("objTCP_Listen"), m_server->errorString());
        return false;
    }
    return true;
}

bool LinkServer::isListening() const
{
    return m_server->isListening();
}

quint16 LinkServer::serverPort() const
{
    return m_server->serverPort();
}

QString LinkServer::errorString() const
{
    return m_server->errorString();
}

void LinkServer::close()
{
    m_server->close();
    const auto all = m_connections;
    m_connections.clear();
    for (Connection* c : all) {
        c->socket->disconnect(this);
        c->socket->abort();
        c->socket->deleteLater();
        delete c;
    }
}

void LinkServer::acceptPending()
{
    while (QTcpSocket* socket = m_server->nextPendingConnection()) {
        const qint64 index = ++m_counter;
        auto* c = new Connection;
        c->socket = socket;
        socket->setReadBufferSize(ReadChunk);
        socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
        m_connections.insert(index, c);
        connect(socket, &QTcpSocket::readyRead, this, [this, index] { readFrom(index); });
        // The end of a connection is handled once the current event is done with it: a write
        // that fails inside a handler must not pull the connection away under that handler.
        connect(socket, &QTcpSocket::disconnected, this, [this, index] {
            QMetaObject::invokeMethod(
                this, [this, index] { finish(index, false, QString()); }, Qt::QueuedConnection);
        });
        connect(socket, &QTcpSocket::errorOccurred, this,
                [this, index, socket](QAbstractSocket::SocketError e) {
                    // A peer's orderly close also reports itself as disconnected.
                    if (e == QAbstractSocket::RemoteHostClosedError) {
                        return;
                    }
                    const QString text = socket->errorString();
                    QMetaObject::invokeMethod(
                        this, [this, index, text] { finish(index, true, text); },
                        Qt::QueuedConnection);
                });
        const QString address = addressText(socket->peerAddress());
        const QString host = socket->peerName().isEmpty() ? address : socket->peerName();
        Q_EMIT connectionRequest(index, address, host);
        // The handler may have closed it, or the peer may already have gone.
        if (m_connections.contains(index) && socket->bytesAvailable() > 0) {
            readFrom(index);
        }
        if (m_connections.contains(index) && socket->state() != QAbstractSocket::ConnectedState) {
            finish(index, false, QString());
        }
    }
}

void LinkServer::readFrom(qint64 index)
{
    // Reads in bounded chunks until drained; each chunk is one arrival.
    while (true) {
        Connection* c = m_connections.value(index);
        if (c == nullptr || c->socket->bytesAvailable() <= 0) {
            return;
        }
        const QByteArray data = c->socket->read(ReadChunk);
        const QList<Proto::Message> batch = c->decoder.feed(data);
        if (!batch.isEmpty()) {
            Q_EMIT messagesArrived(index, batch);
        }
    }
}

void LinkServer::finish(qint64 index, bool failed, const QString& error)
{
    Connection* c = m_connections.take(index);
    if (c == nullptr) {
        return;
    }
    c->socket->disconnect(this);
    c->socket->abort();
    c->socket->deleteLater();
    delete c;
    if (failed) {
        Q_EMIT connectionFailed(index, error);
    } else {
        Q_EMIT connectionClosed(index);
    }
}

bool LinkServer::send(qint64 index, const QByteArray& message)
{
    Connection* c = m_connections.value(index);
    if (index == 0 || c == nullptr || c->socket->state() != QAbstractSocket::ConnectedState) {
        return false;
    }
    if (c->socket->write(message) != message.size()) {
        return false;
    }
    c->socket->flush();
    return c->socket->state() == QAbstractSocket::ConnectedState;
}

bool LinkServer::isConnected(qint64 index) const
{
    const Connection* c = m_connections.value(index);
    return c != nullptr && c->socket->state() == QAbstractSocket::ConnectedState;
}

void LinkServer::disconnectAgent(qint64 index)
{
    finish(index, false, QString());
}

QString LinkServer::peerAddress(qint64 index) const
{
    const Connection* c = m_connections.value(index);
    return c == nullptr ? QString() : addressText(c->socket->peerAddress());
}

QList<qint64> LinkServer::connectionsFrom(const QString& address) const
{
    QList<qint64> out;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        if (addressText(it.value()->socket->peerAddress()) == address) {
            out.append(it.key());
        }
    }
    std::sort(out.begin(), out.end());
    return out;
}

void LinkServer::wake(const QString& ip)
{
    auto* socket = new QTcpSocket(this);
    // The connection itself is the whole message: close it as soon as it is made. Whatever
    // happens, the socket is gone after a few seconds.
    auto done = [socket] {
        socket->disconnect();
        socket->close();
        socket->deleteLater();
    };
    connect(socket, &QTcpSocket::connected, socket, done);
    connect(socket, &QTcpSocket::errorOccurred, socket, done);
    QTimer::singleShot(WakeTimeoutMs, socket, done);
    socket->connectToHost(ip, m_wakePort);
}

qint64 LinkServer::raiseOpenFilesLimit()
{
    rlimit lim{};
    if (getrlimit(RLIMIT_NOFILE, &lim) != 0) {
        ErrorLog::write(QStringLiteral("objTCP_Listen"), QString::fromLocal8Bit(strerror(errno)));
        return -1;
    }
    if (lim.rlim_cur < lim.rlim_max) {
        rlimit raised = lim;
        raised.rlim_cur = lim.rlim_max;
        if (setrlimit(RLIMIT_NOFILE, &raised) == 0) {
            lim = raised;
        } else {
            ErrorLog::write(QStringLiteral("objTCP_Listen"),
                            QString::fromLocal8Bit(strerror(errno)));
        }
    }
    return lim.rlim_cur == RLIM_INFINITY ? std::numeric_limits<qint64>::max()
                                         : qint64(lim.rlim_cur);
}

QString LinkServer::addressText(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

QString LinkServer::ownAddress()
{
    for (const QNetworkInterface& nic : QNetworkInterface::allInterfaces()) {
        const auto flags = nic.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            !flags.testFlag(QNetworkInterface::IsRunning) ||
            flags.testFlag(QNetworkInterface::IsLoopBack)) {
            continue;
        }
        for (const QNetworkAddressEntry& e : nic.addressEntries()) {
            if (e.ip().protocol() == QAbstractSocket::IPv4Protocol) {
                return e.ip().toString();
            }
        }
    }
    return QStringLiteral("127.0.0.1");
}
