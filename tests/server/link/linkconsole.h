// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/core/database.h"
#include "server/link/connectionmanager.h"
#include "server/link/linkserver.h"
#include "support/testdatabase.h"
#include "support/testhome.h"
#include "tests/server/link/fakeagent.h"

#include <QStringList>

#include <memory>

// A console's link on a fresh database: the listener on a free loopback port (with the link
// key, if one is given), the manager on its events, and the message log as it is written.
struct LinkConsole
{
    TestHome home;
    Database db;
    LinkServer server;
    std::unique_ptr<ConnectionManager> manager;
    QStringList log;

    explicit LinkConsole(const QByteArray& key = {})
    {
        if (!db.open(testDatabaseTarget(home))) {
            qFatal("database");
        }
        manager = std::make_unique<ConnectionManager>(db, server);
        QObject::connect(manager.get(), &ConnectionManager::logLine,
                         [this](const QString& l) { log << l; });
        server.setLinkKey(key);
        if (!server.listen(0, QHostAddress::LocalHost)) {
            qFatal("listen");
        }
    }

    quint16 port() const { return server.serverPort(); }

    // A running session as a start (of this run or an earlier one) leaves it.
    void addSession(const QString& ip, qint64 cid, int autologout = 0, int logouttype = 0,
                    const QString& password = QString(), int passwordWait = 0)
    {
        db.run(
            QStringLiteral("INSERT INTO terminals (terminal, ip, cid, sstart, \"user\", Password, "
                           "logouttype, AUTOLOGOUT, passwordwait) VALUES (?, ?, ?, ?, ?, ?, "
                           "?, ?, ?)"),
            {QStringLiteral("PC-") + ip.section(QLatin1Char('.'), 3), ip, cid,
             QStringLiteral("2026-12-06 10:00:00"), QStringLiteral("Browsing"), password,
             logouttype, autologout, passwordWait});
    }

    QVariant value(const QString& sql, const QVariantList& params = {})
    {
        return db.scalar(sql, params);
    }

    // An agent that has connected and reported its name, with what it has heard so far dropped.
    bool join(FakeAgent& a, const QString& ip, const QString& name)
    {
        if (!a.greeted(ip, port(), Proto::CName)) {
            return false;
        }
        a.write(Proto::cnameReply(name));
        const QDeadlineTimer deadline(5000);
        while (value(QStringLiteral("SELECT name FROM online WHERE ip = ?"), {ip}).toString() !=
                   name &&
               !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        a.received.clear();
        return !deadline.hasExpired();
    }

    int onlineRows() { return value(QStringLiteral("SELECT count(*) FROM online")).toInt(); }
};
