// SPDX-License-Identifier: Apache-2.0
// A real console and three real agents on loopback addresses of one machine: registration by
// name, sessions resumed on reconnect, automatic-logout sessions and those still waiting for
// their password kept locked, and everything coming back after the console is killed and
// started again.
#include "cafeday_processes.h"
#include "server/core/database.h"
#include "support/testdatabase.h"

#include <QScopeGuard>

#include <memory>

using namespace SystemTest;

class TestCafeLink : public QObject
{
    Q_OBJECT

    ConsoleProgram console;
    quint16 wakePort = 0;
    std::vector<std::unique_ptr<Agent>> agents;

    void startConsole() { console.start({{"VANTIROKIT_WAKE_PORT", QString::number(wakePort)}}); }
    QVariant query(const QString& sql, const QVariantList& params = {})
    {
        return console.query(sql, params);
    }
    bool registered(const Agent& a)
    {
        return query("SELECT name FROM online WHERE ip = ?", {a.ip}).toString() == a.name;
    }
    bool gone(const Agent& a)
    {
        return waitUntil(
            [&] { return query("SELECT count(*) FROM online WHERE ip = ?", {a.ip}).toInt() == 0; });
    }
    void run(const QString& sql, const QVariantList& params = {})
    {
        Database db;
        QVERIFY(db.open(console.target));
        QVERIFY(db.run(sql, params));
    }

private Q_SLOTS:
    void initTestCase()
    {
        wakePort = freePort(QHostAddress("127.0.0.31"));
        QVERIFY(console.configure());
        for (int i = 31; i <= 33; ++i) {
            auto a = std::make_unique<Agent>();
            a->ip = QString("127.0.0.%1").arg(i);
            a->name = QString("PC-%1").arg(i);
            QVERIFY(a->configure(console.port, wakePort));
            agents.push_back(std::move(a));
        }
    }

    void agentsRegisterByTheirNamesAndStayLocked()
    {
        startConsole();
        for (auto& a : agents) {
            a->start();
        }
        for (auto& a : agents) {
            QVERIFY2(waitUntil([&] { return registered(*a); }), qPrintable(a->ip));
            QVERIFY(a->waitShows("linkUp"));
            QCOMPARE(a->shows("lockScreenVisible"), true);
            QCOMPARE(a->shows("sessionWindow"), false);
        }
        // The console's own row plus one per workstation, each address once.
        QCOMPARE(query("SELECT count(*) FROM online").toInt(), 4);
        QCOMPARE(query("SELECT count(DISTINCT id) FROM online").toInt(), 4);
    }

    void aRestartedAgentResumesItsRunningSession()
    {
        Agent& a = *agents[0];
        a.kill();
        QVERIFY(gone(a));
        QVERIFY(console.startSessionFor(a.name, a.ip));
        a.start();
        QVERIFY(a.waitShows("sessionWindow"));
        QCOMPARE(a.shows("lockScreenVisible"), false);
        QVERIFY(query("SELECT cid FROM terminals WHERE ip = ?", {a.ip}).toLongLong() != 999);
        QCOMPARE(query("SELECT count(*) FROM online WHERE ip = ?", {a.ip}).toInt(), 0);
    }

    void aLoggedOutSessionComesBackLocked()
    {
        Agent& a = *agents[0];
        a.kill();
        query("SELECT 1"); // let the console see the close first
        STEP(run("UPDATE terminals SET AUTOLOGOUT = 1 WHERE ip = ?", {a.ip}));
        a.start();
        QVERIFY(a.waitShows("linkUp"));
        QVERIFY(a.waitShows("lockScreenVisible"));
        QCOMPARE(a.shows("sessionWindow"), false);
        // Still waiting for settlement, not put back among the ready workstations.
        QCOMPARE(query("SELECT count(*) FROM terminals WHERE ip = ?", {a.ip}).toInt(), 1);
        QCOMPARE(query("SELECT count(*) FROM online WHERE ip = ?", {a.ip}).toInt(), 0);
        QVERIFY(QFile::exists(a.home.filePath("power.log")) == false);
    }

    void aSessionAwaitingItsPasswordIsNotOpenedByARestartedAgent()
    {
        Agent& a = *agents[1];
        a.kill();
        QVERIFY(gone(a));
        STEP(run("INSERT INTO terminals (terminal, ip, cid, sstart, \"user\", Password, "
                 "AUTOLOGOUT, passwordwait) VALUES (?, ?, 998, '2026-01-01 11:00:00', "
                 "'Normal', 'pw', 0, 1)",
                 {a.name, a.ip}));
        // Settled unopened afterwards: the workstation is ready again once the console has it
        // back.
        const auto settled =
            qScopeGuard([&] { query("DELETE FROM terminals WHERE ip = ?", {a.ip}); });
        a.start();
        QVERIFY(a.waitShows("optionsVisible"));
        QCOMPARE(a.shows("passwordVisible"), true);
        QCOMPARE(a.shows("sessionWindow"), false);
    }

    void everythingComesBackAfterTheConsoleIsKilled()
    {
        STEP(run("UPDATE terminals SET AUTOLOGOUT = 0"));
        console.stop();
        for (auto& a : agents) {
            QVERIFY(a->waitShows("linkUp", false));
        }
        startConsole();
        for (size_t i = 1; i < agents.size(); ++i) {
            QVERIFY2(waitUntil([&] { return registered(*agents[i]); }), qPrintable(agents[i]->ip));
        }
        Agent& inSession = *agents[0];
        QVERIFY(inSession.waitShows("linkUp"));
        QVERIFY(inSession.waitShows("sessionWindow"));
        QCOMPARE(query("SELECT sstart FROM terminals WHERE ip = ?", {inSession.ip}).toString(),
                 QString("2026-01-01 10:00:00"));
    }

    void cleanupTestCase()
    {
        for (auto& a : agents) {
            a->kill();
        }
        console.stop();
    }
};

QTEST_GUILESS_MAIN(TestCafeLink)
#include "tst_cafelink.moc"
