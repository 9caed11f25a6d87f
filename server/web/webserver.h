// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/link/passwordthrottle.h"
#include "server/web/httpwire.h"

#include <QDateTime>
#include <QHash>
#include <QHostAddress>
#include <QList>
#include <QObject>
#include <QSslConfiguration>
#include <QString>

#include <functional>

class QTcpServer;
class QTcpSocket;
class QTimer;

// The owner's read-only page, served by the console itself. Only GET, and one POST: the login
// form's password. Without a session cookie nothing but the login page and its stylesheet is
// served. Every connection carries one request, read under the limits of HttpWire, within a
// few seconds, from at most a few connections per address: a hostile client costs the console
// a few KiB and never holds its event loop, so the agents keep being served.
class WebServer : public QObject
{
    Q_OBJECT
public:
    static constexpr int MaxConnectionsPerAddress = 6;
    static constexpr int MaxConnections = 64;
    // A request (and under HTTPS its handshake) must have arrived whole within this.
    static constexpr int RequestTimeoutMs = 10000;
    static constexpr qint64 SessionIdleSeconds = 30 * 60;
    static constexpr int MaxSessions = 32;
    static inline const QByteArray CookieName = QByteArrayLiteral("vkowner");

    // What the private pages show, built afresh for each request.
    struct Pages
    {
        std::function<QByteArray()> overviewHtml;
        std::function<QByteArray()> overviewJson;
    };
    // `checkPassword` answers whether the typed password is the one set.
    WebServer(Pages pages, std::function<bool(const QString&)> checkPassword,
              QObject* parent = nullptr);
    ~WebServer() override;

    // HTTPS from now on (a null configuration: plain HTTP).
    void setTls(const QSslConfiguration& tls) { m_tls = tls; }
    bool https() const { return !m_tls.isNull(); }
    // Listens on each address (port 0 picks a free one on the first, used for the rest);
    // the reason when one of them could not be taken.
    QString listen(const QList<QHostAddress>& addresses, quint16 port);
    void close();
    quint16 serverPort() const;
    void setConnectionCaps(int perAddress, int total);

    int connectionCount() const { return int(m_connections.size()); }
    int sessionCount() const { return int(m_sessions.size()); }

private:
    struct Connection
    {
        QTcpSocket* socket = nullptr;
        QString address;
        HttpWire::RequestReader reader;
        QTimer* timer = nullptr;
        bool answered = false;
    };
    class Listener;

    void take(qintptr descriptor);
    // Connections are known by a number that only grows: a late signal about one that is gone
    // finds nothing rather than a newer connection at the same place in memory.
    void readFrom(qint64 id);
    void answer(Connection* c, const HttpWire::Response& r);
    void drop(qint64 id);
    HttpWire::Response route(const HttpWire::Request& request, const QString& address);
    HttpWire::Response login(const HttpWire::Request& request, const QString& address);
    bool hasSession(const HttpWire::Request& request);
    QByteArray newSession();
    HttpWire::Response loginPage(int status, const QString& notice) const;

    Pages m_pages;
    std::function<bool(const QString&)> m_checkPassword;
    QSslConfiguration m_tls;
    QList<QTcpServer*> m_listeners;
    QHash<qint64, Connection*> m_connections;
    qint64 m_counter = 0;
    QHash<QString, int> m_perAddress;
    int m_maxPerAddress = MaxConnectionsPerAddress;
    int m_maxConnections = MaxConnections;
    QHash<QByteArray, QDateTime> m_sessions; // token -> last use
    PasswordThrottle m_throttle;
};
