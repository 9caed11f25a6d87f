// SPDX-License-Identifier: Apache-2.0
#include "server/link/linkserver.h"

#include "common/errorlog.h"
#include "common/linkauth.h"
#include "platform/memory.h"
#include "platform/socketoptions.h"
#include "server/desks/desknumbers.h"

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
const QString AuthLabel = QStringLiteral("objTCP_Authentication");
// How often counted refusals are looked at; each is recorded within this much of its minute.
constexpr int RefusalCheckMs = 10000;
} // namespace

// Hands every accepted descriptor to the link server before Qt makes a socket of it, so a
// connection beyond the caps costs no more than its close.
class LinkServer::Listener final : public QTcpServer
{
public:
    explicit Listener(LinkServer* owner) : QTcpServer(owner), m_owner(owner) {}

protected:
    void incomingConnection(qintptr descriptor) override { m_owner->take(descriptor); }

private:
    LinkServer* m_owner;
};

LinkServer::LinkServer(QObject* parent)
    : QObject(parent), m_server(new Listener(this)), m_refusalTimer(new QTimer(this)),
      m_proofTimeoutMs(LinkAuth::ProofTimeoutMs)
{
    m_server->setListenBacklogSize(ListenBacklog);
    m_server->setMaxPendingConnections(ListenBacklog);
    m_refusalTimer->setInterval(RefusalCheckMs);
    connect(m_refusalTimer, &QTimer::timeout, this, &LinkServer::recordHeldRefusals);
    m_uptime.start();
}

void LinkServer::setLinkKey(const QByteArray& key)
{
    m_linkKey = key;
    m_keyRefused = !key.isEmpty() && !LinkAuth::keyWeakness(key).isEmpty();
}

void LinkServer::setConnectionCaps(int perAddress, int total)
{
    m_maxPerAddress = perAddress;
    m_maxConnections = total;
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
        release(c);
    }
    m_perAddress.clear();
}

void LinkServer::release(Connection* c)
{
    if (c->proofTimer != nullptr) {
        // It goes with its socket; it may be the very timer whose timeout is being handled.
        c->proofTimer->stop();
    }
    c->socket->disconnect(this);
    c->socket->abort();
    c->socket->deleteLater();
    if (auto it = m_perAddress.find(c->counted); it != m_perAddress.end() && --*it <= 0) {
        m_perAddress.erase(it);
    }
    delete c;
    trimAfterFlood();
}

void LinkServer::trimAfterFlood()
{
    m_peakConnections = std::max(m_peakConnections, m_connections.size());
    if (m_peakConnections < TrimAfterConnections || m_connections.size() > m_peakConnections / 4) {
        return;
    }
    m_peakConnections = m_connections.size();
    // Later, once the sockets released meanwhile have been deleted too.
    QTimer::singleShot(1000, this, [] { Memory::returnFreed(); });
}

void LinkServer::take(qintptr descriptor)
{
    const QString address = SocketOptions::peerAddress(descriptor);
    QString refusal;
    if (m_keyRefused) {
        refusal = QStringLiteral("the link key set on this console is refused");
    } else if (m_perAddress.value(address) >= m_maxPerAddress) {
        refusal = QStringLiteral("too many connections from this address");
    } else if (m_connections.size() >= m_maxConnections && !makeRoom()) {
        refusal = QStringLiteral("too many connections");
    }
    if (!refusal.isEmpty()) {
        ++m_turnedAway;
        SocketOptions::discard(descriptor);
        recordRefusal(address, refusal);
        return;
    }
    auto* socket = new QTcpSocket(this);
    if (!socket->setSocketDescriptor(descriptor)) {
        delete socket;
        SocketOptions::discard(descriptor);
        return;
    }
    // The protocol has no keep-alive of its own; without this a workstation that lost power
    // would be listed as ready for hours.
    SocketOptions::setKeepAlive(descriptor);
    m_counter = DeskNumbers::nextIndex(m_counter, m_desk);
    const qint64 index = m_counter;
    auto* c = new Connection;
    c->socket = socket;
    c->counted = address;
    ++m_perAddress[address];
    socket->setReadBufferSize(ReadChunk);
    socket->setSocketOption(QAbstractSocket::LowDelayOption, 1);
    m_connections.insert(index, c);
    m_peakConnections = std::max(m_peakConnections, m_connections.size());
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
                    this, [this, index, text] { finish(index, true, text); }, Qt::QueuedConnection);
            });
    c->address = addressText(socket->peerAddress());
    c->host = socket->peerName().isEmpty() ? c->address : socket->peerName();
    if (m_linkKey.isEmpty()) {
        Q_EMIT connectionRequest(index, c->address, c->host);
    } else {
        // Until the peer proves the key it is told nothing but the challenge.
        c->proven = false;
        c->nonce = LinkAuth::newNonce();
        c->proofTimer = new QTimer(socket);
        c->proofTimer->setSingleShot(true);
        connect(c->proofTimer, &QTimer::timeout, this, [this, index] {
            refuse(index, QStringLiteral("no proof of the link key in time"));
        });
        c->proofTimer->start(m_proofTimeoutMs);
        socket->write(Proto::linkChallenge(c->nonce));
        socket->flush();
    }
    // The handler may have closed it, or the peer may already have gone.
    if (m_connections.contains(index) && socket->bytesAvailable() > 0) {
        readFrom(index);
    }
    if (m_connections.contains(index) && socket->state() != QAbstractSocket::ConnectedState) {
        finish(index, false, QString());
    }
}

bool LinkServer::makeRoom()
{
    // Of the connections that are nobody's yet, one from the address holding the most goes
    // first, the oldest of those: a flood holds several from each address, a workstation one.
    qint64 chosen = -1;
    int chosenHeld = 0;
    for (auto it = m_connections.cbegin(); it != m_connections.cend(); ++it) {
        const Connection* c = it.value();
        if (c->proven && c->heard) {
            continue;
        }
        const int held = m_perAddress.value(c->counted);
        if (chosen < 0 || held > chosenHeld || (held == chosenHeld && it.key() < chosen)) {
            chosen = it.key();
            chosenHeld = held;
        }
    }
    if (chosen < 0) {
        return false;
    }
    if (m_connections.value(chosen)->proven) {
        finish(chosen, false, QString());
    } else {
        refuse(chosen, QStringLiteral("closed to make room for a newer connection"));
    }
    return true;
}

void LinkServer::recordRefusal(const QString& address, const QString& reason)
{
    int held = 0;
    if (!m_refusals.admit(address, m_uptime.elapsed(), &held)) {
        return;
    }
    if (!m_refusalTimer->isActive()) {
        m_refusalTimer->start();
    }
    QString text = reason;
    if (held > 0) {
        text += QStringLiteral(" (%1 more refused before, not recorded one by one)").arg(held);
    }
    ErrorLog::write(AuthLabel, QStringLiteral("Connection from %1 refused: %2").arg(address, text));
    Q_EMIT peerRefused(address, text);
}

void LinkServer::recordHeldRefusals()
{
    for (const RefusalThrottle::Held& h : m_refusals.due(m_uptime.elapsed())) {
        const QString address =
            h.address.isEmpty() ? QStringLiteral("further addresses") : h.address;
        const QString text =
            QStringLiteral("%1 more connections refused in the last minute").arg(h.count);
        ErrorLog::write(AuthLabel,
                        QStringLiteral("Connection from %1 refused: %2").arg(address, text));
        Q_EMIT peerRefused(address, text);
    }
    if (m_refusals.isEmpty()) {
        m_refusalTimer->stop();
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
        if (!c->proven) {
            // Nothing an unproven peer sends is handed on; the proof only opens the link.
            if (!checkProof(index, c, batch)) {
                continue;
            }
        } else if (!batch.isEmpty()) {
            c->heard = true;
            Q_EMIT messagesArrived(index, batch);
        }
    }
}

bool LinkServer::checkProof(qint64 index, Connection* c, const QList<Proto::Message>& batch)
{
    if (batch.isEmpty()) {
        return false; // nothing complete yet; the timer bounds the wait
    }
    const Proto::Message& first = batch.first();
    QByteArray agentNonce;
    QByteArray proof;
    if (first.kind != Proto::Kind::LinkProof || first.malformed ||
        !LinkAuth::splitProof(first.value, &agentNonce, &proof)) {
        refuse(index, QStringLiteral("sent other messages before proving the link key"));
        return false;
    }
    // Both ends as this side sees them: a relay's connection has other ends than the agent's.
    const LinkAuth::Ends ends{addressText(c->socket->peerAddress()),
                              addressText(c->socket->localAddress())};
    if (!LinkAuth::sameProof(proof, LinkAuth::agentProof(m_linkKey, c->nonce, agentNonce, ends))) {
        refuse(index, QStringLiteral("wrong proof of the link key"));
        return false;
    }
    c->proven = true;
    c->heard = true; // a peer with the key is a workstation, never made to give up its place
    c->proofTimer->stop();
    // Anything behind the proof in the same arrival was sent before the peer heard our proof,
    // which an honest agent never does: it is dropped with the rest of the handshake.
    c->socket->write(
        Proto::linkAnswer(LinkAuth::consoleProof(m_linkKey, c->nonce, agentNonce, ends)));
    c->socket->flush();
    const QString address = c->address;
    const QString host = c->host;
    Q_EMIT connectionRequest(index, address, host);
    return true;
}

void LinkServer::refuse(qint64 index, const QString& reason)
{
    Connection* c = m_connections.take(index);
    if (c == nullptr) {
        return;
    }
    const QString address = c->address;
    release(c);
    recordRefusal(address, reason);
}

void LinkServer::finish(qint64 index, bool failed, const QString& error)
{
    Connection* c = m_connections.take(index);
    if (c == nullptr) {
        return;
    }
    const bool wasProven = c->proven;
    release(c);
    if (!wasProven) {
        // No one was told of this connection, so no one is told of its end.
        return;
    }
    if (failed) {
        Q_EMIT connectionFailed(index, error);
    } else {
        Q_EMIT connectionClosed(index);
    }
}

bool LinkServer::send(qint64 index, const QByteArray& message)
{
    Connection* c = m_connections.value(index);
    if (index == 0 || c == nullptr || !c->proven ||
        c->socket->state() != QAbstractSocket::ConnectedState) {
        return false;
    }
    if (message.startsWith(Proto::StartSession)) {
        // A session runs on this connection: it is a workstation's, though an agent in session
        // may say nothing for hours, and never gives up its place to a newcomer.
        c->heard = true;
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
    return c != nullptr && c->proven && c->socket->state() == QAbstractSocket::ConnectedState;
}

void LinkServer::disconnectAgent(qint64 index)
{
    finish(index, false, QString());
}

qintptr LinkServer::socketDescriptor(qint64 index) const
{
    const Connection* c = m_connections.value(index);
    return c == nullptr ? -1 : c->socket->socketDescriptor();
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
        // A connection that has not proven the link key is nobody's yet.
        if (it.value()->proven && addressText(it.value()->socket->peerAddress()) == address) {
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
