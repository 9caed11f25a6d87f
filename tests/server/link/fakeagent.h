// SPDX-License-Identifier: Apache-2.0
#pragma once

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
