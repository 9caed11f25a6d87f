// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/protocol.h"
#include "server/core/agentlink.h"
#include "server/link/refusalthrottle.h"

#include <QElapsedTimer>
#include <QHash>
#include <QHostAddress>
#include <QObject>
#include <QString>

#include <algorithm>

class QTcpServer;
class QTcpSocket;
class QTimer;

// The console's sockets: one listener and one connection per agent, each known by an index
// that only grows during a run (1, 2, 3 ...; 0 stands for the console's own computer and never
// carries a connection). Every arrival is decoded into the batch the console handles; what the
// batch means for the tables is ConnectionManager's business. A closed connection is forgotten
// and its socket released, so agents that come and go cost nothing once gone.
//
// With a link key set, a new connection is sent the key challenge and nothing else, and is
// heard of by no one (no connection request, no arrivals, nothing sent to it) until the peer
// has proven the key; then the console proves it back and the connection goes on as any other.
// A peer that answers anything else, a wrong proof, or nothing in time is refused: its
// connection is closed and the refusal logged. A key too weak to withstand guessing is not used
// at all: every connection is refused until it is replaced, never let in without a key.
//
// A flood of connections is held within fixed caps, checked on the bare descriptor before any
// socket object or table work exists: beyond them a connection is reset at once. When every
// place is taken, the oldest connection that has not yet proven the key (or, without a key, has
// not yet said anything) makes room, taken from the address that holds the most, so a real
// agent still gets in. Refusals are recorded at most once a minute per address, with the count
// of those held back.
class LinkServer : public QObject, public AgentLink
{
    Q_OBJECT
public:
    // Connections the system may queue before the console accepts them: a whole cafe coming up
    // at once must not be turned away.
    static constexpr int ListenBacklog = 4096;
    // Most bytes taken from one connection per read: with the decoder's bounded carry-over,
    // no peer can make the console hold more than a few KiB for its connection.
    static constexpr qint64 ReadChunk = 4096;
    // Connections held from one address: a workstation needs one, two while it reconnects.
    static constexpr int MaxConnectionsPerAddress = 4;
    // Connections held in all, far above the workstations of any cafe.
    static constexpr int MaxConnections = 512;
    // Once this many connections were held and most are gone again, the memory they took is
    // handed back to the system.
    static constexpr int TrimAfterConnections = 128;

    explicit LinkServer(QObject* parent = nullptr);
    ~LinkServer() override;

    // Starts listening (port 0 picks a free one). Raises the open-files limit first.
    bool listen(quint16 port, const QHostAddress& address = QHostAddress::Any);
    bool isListening() const;
    quint16 serverPort() const;
    QString errorString() const;
    // Stops listening and closes every connection (without reporting them as closed).
    void close();

    // AgentLink: one write of the message on that connection, handed to the system at once.
    bool send(qint64 index, const QByteArray& message) override;
    bool isConnected(qint64 index) const override;

    // The shared key the agents must prove (empty: none, the link is open as it always was).
    // Applies to connections accepted from now on. A key LinkAuth::keyWeakness() refuses makes
    // every connection refused.
    void setLinkKey(const QByteArray& key);
    bool hasLinkKey() const { return !m_linkKey.isEmpty(); }
    bool keyRefused() const { return m_keyRefused; }
    // Other caps than MaxConnectionsPerAddress and MaxConnections, for tests.
    void setConnectionCaps(int perAddress, int total);
    // How long a new connection may take to prove the key.
    void setProofTimeout(int ms) { m_proofTimeoutMs = ms; }

    // Closes one connection from this side; reported like a close by the peer.
    void disconnectAgent(qint64 index);
    // The address of the agent on that connection ("" when none).
    QString peerAddress(qint64 index) const override;
    // The open connections whose peer has that address and proved the link key when one is
    // set, oldest first.
    QList<qint64> connectionsFrom(const QString& address) const;
    // The highest index given so far.
    qint64 lastIndex() const { return m_counter; }
    // Connections accepted from now on get indexes above `index`.
    void continueAfter(qint64 index) { m_counter = std::max(m_counter, index); }
    // On a database shared by several desks, this console numbers only indexes of its own desk
    // (DeskNumbers); desk 0, a console of its own, numbers 1, 2, 3 ...
    void setDesk(int desk) { m_desk = desk; }
    int desk() const { return m_desk; }
    qsizetype connectionCount() const { return m_connections.size(); }
    // Connections reset by the caps or a refused key before they were taken in.
    qint64 turnedAwayCount() const { return m_turnedAway; }
    // The system's descriptor of a connection's socket (-1 when none).
    qintptr socketDescriptor(qint64 index) const;

    // Prompts the agent at that address to connect again: a short connection to its wake port
    // that is closed as soon as it is made (or after a few seconds). Does not wait.
    void wake(const QString& ip);
    void setWakePort(quint16 port) { m_wakePort = port; }
    quint16 wakePort() const { return m_wakePort; }

    // Raises the soft limit of open files to the hard limit; returns the limit now in force.
    static qint64 raiseOpenFilesLimit();

    // The dotted IPv4 form of an address that came in over a dual-stack listener.
    static QString addressText(const QHostAddress& address);
    // This computer's address as the agents see it: the first IPv4 address of an interface
    // that is up and not loopback, else 127.0.0.1.
    static QString ownAddress();

Q_SIGNALS:
    void connectionRequest(qint64 index, const QString& address, const QString& hostName);
    void messagesArrived(qint64 index, const QList<Proto::Message>& batch);
    void connectionClosed(qint64 index);
    void connectionFailed(qint64 index, const QString& error);
    // A peer that did not prove the link key was sent away.
    void peerRefused(const QString& address, const QString& reason);

private:
    struct Connection
    {
        QTcpSocket* socket = nullptr;
        Proto::Decoder decoder{Proto::Side::Console};
        // False while a keyed connection has not proven the key yet.
        bool proven = true;
        // True once the peer proved the key, or on an open link once it has said anything or
        // a session was started on it.
        bool heard = false;
        // The peer's address as counted against the per-address cap.
        QString counted;
        QByteArray nonce;
        QString address;
        QString host;
        QTimer* proofTimer = nullptr;
    };

    class Listener;
    // Takes a connection the system accepted, or refuses it within the caps.
    void take(qintptr descriptor);
    // Closes the oldest connection that is nobody's yet; false when there is none.
    bool makeRoom();
    // Records a refusal unless one from that address was recorded in the last minute.
    void recordRefusal(const QString& address, const QString& reason);
    void recordHeldRefusals();
    // After a flood has drained, returns the freed memory to the system.
    void trimAfterFlood();
    void readFrom(qint64 index);
    // Handles what an unproven connection sent; true when it is now proven.
    bool checkProof(qint64 index, Connection* c, const QList<Proto::Message>& batch);
    void refuse(qint64 index, const QString& reason);
    void release(Connection* c);
    void finish(qint64 index, bool failed, const QString& error);

    QTcpServer* m_server = nullptr;
    QHash<qint64, Connection*> m_connections;
    QHash<QString, int> m_perAddress;
    int m_maxPerAddress = MaxConnectionsPerAddress;
    int m_maxConnections = MaxConnections;
    RefusalThrottle m_refusals;
    QTimer* m_refusalTimer = nullptr;
    QElapsedTimer m_uptime;
    bool m_keyRefused = false;
    qint64 m_turnedAway = 0;
    qsizetype m_peakConnections = 0;
    qint64 m_counter = 0;
    int m_desk = 0;
    quint16 m_wakePort = Proto::WakePort;
    QByteArray m_linkKey;
    int m_proofTimeoutMs;
};
