// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/linkauth.h"
#include "common/protocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QHostAddress>
#include <QObject>
#include <QTcpSocket>

// A workstation agent reduced to its socket: connects from its own loopback address, keeps
// everything the console sends, writes what the test tells it to.
class FakeAgent : public QObject
{
public:
    QTcpSocket socket;
    QByteArray received;

    FakeAgent()
    {
        QObject::connect(&socket, &QTcpSocket::readyRead, this,
                         [this] { received += socket.readAll(); });
    }

    bool connectFrom(const QString& source, quint16 port)
    {
        if (!socket.bind(QHostAddress(source), 0)) {
            return false;
        }
        socket.connectToHost(QHostAddress::LocalHost, port);
        return socket.waitForConnected(5000);
    }

    // Connects and runs the event loop until `what` has arrived.
    bool greeted(const QString& source, quint16 port, const QByteArray& what)
    {
        return connectFrom(source, port) && waitFor(what);
    }

    // Waits for `what`, lets anything after it arrive too, and returns all that was heard.
    QByteArray heard(const QByteArray& what)
    {
        waitFor(what);
        settle();
        return received;
    }

    void write(const QByteArray& data)
    {
        socket.write(data);
        socket.flush();
    }

    // Runs the event loop until `what` has arrived (true) or the time is up.
    bool waitFor(const QByteArray& what, int ms = 5000)
    {
        const QDeadlineTimer deadline(ms);
        while (!received.contains(what) && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return received.contains(what);
    }

    // Writes `message` and returns what has come back once anything has (empty if nothing came
    // in time).
    QByteArray ask(const QByteArray& message, int ms = 5000)
    {
        received.clear();
        write(message);
        const QDeadlineTimer deadline(ms);
        while (received.isEmpty() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return received;
    }

    // Runs the event loop until the console has closed the connection (true) or the time is up.
    bool closedByConsole(int ms = 5000)
    {
        const QDeadlineTimer deadline(ms);
        while (socket.state() == QAbstractSocket::ConnectedState && !deadline.hasExpired()) {
            socket.waitForReadyRead(20);
            QCoreApplication::processEvents();
        }
        return socket.state() != QAbstractSocket::ConnectedState;
    }

    // Runs the event loop for a while, so that anything still under way arrives.
    static void settle(int ms = 150)
    {
        const QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
        }
    }
};

// The value between a valued message's opening token and its closing marker.
inline QByteArray valueOf(const QByteArray& data, const QByteArray& open, const QByteArray& close)
{
    const qsizetype a = data.indexOf(open);
    const qsizetype b = data.indexOf(close, a);
    return a < 0 || b < 0 ? QByteArray() : data.mid(a + open.size(), b - a - open.size());
}

// An agent that knows a key (maybe the wrong one) and proves it the way the real agent does.
struct KeyedAgent : FakeAgent
{
    QByteArray consoleNonce;
    QByteArray agentNonce;
    QByteArray proofSent;

    // The ends of this connection as the agent sees them.
    LinkAuth::Ends ends() const
    {
        return {socket.localAddress().toString(), socket.peerAddress().toString()};
    }

    // Connects, proves `key` and runs the event loop until `what` has arrived.
    bool linked(const QString& source, quint16 port, const QByteArray& key, const QByteArray& what)
    {
        return connectFrom(source, port) && prove(key) && waitFor(what);
    }

    bool prove(const QByteArray& key) { return prove(key, ends()); }
    bool prove(const QByteArray& key, const LinkAuth::Ends& ends)
    {
        if (!waitFor(Proto::LinkChallengeEnd)) {
            return false;
        }
        consoleNonce = valueOf(received, Proto::LinkChallenge, Proto::LinkChallengeEnd);
        agentNonce = LinkAuth::newNonce();
        proofSent =
            Proto::linkProof(agentNonce, LinkAuth::agentProof(key, consoleNonce, agentNonce, ends));
        received.clear();
        write(proofSent);
        return true;
    }
};
