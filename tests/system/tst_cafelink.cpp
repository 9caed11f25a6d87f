// SPDX-License-Identifier: Apache-2.0
// A real console and three real agents on loopback addresses of one machine: registration by
// name, sessions resumed on reconnect, automatic-logout sessions and those still waiting for
// their password kept locked, and everything coming back after the console is killed and
// started again.
#include "server/core/database.h"
#include "support/systemwait.h"
#include "support/testdatabase.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QScopeGuard>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using namespace SystemTest;

void writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

QProcessEnvironment baseEnv(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTIROKIT_HOME", home);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

class Program
{
public:
    ~Program() { kill(); }
    void start(const QString& exe, const QProcessEnvironment& env, const QString& dir)
    {
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(dir);
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(exe, {});
        p.waitForStarted();
    }
    void kill()
    {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
    QProcess p;
};

struct Agent
{
    QTemporaryDir home;
    QString ip;
    QString name;
    Program program;

    QJsonObject state() const
    {
        QFile f(home.filePath("state.json"));
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QJsonDocument::fromJson(f.readAll()).object();
    }
};

} // namespace

class TestCafeLink : public QObject
{
    Q_OBJECT

    QTemporaryDir consoleHome;
    DatabaseTarget target;
    quint16 consolePort = 0;
    quint16 wakePort = 0;
    Program console;
    std::vector<std::unique_ptr<Agent>> agents;

    void startConsole()
    {
        QProcessEnvironment env = baseEnv(consoleHome.path());
        env.insert("VANTIROKIT_WAKE_PORT", QString::number(wakePort));
        console.start(binary("vkserver"), env, consoleHome.path());
    }

    void startAgent(Agent& a)
    {
        QFile::remove(a.home.filePath("state.json"));
        QProcessEnvironment env = baseEnv(a.home.path());
        env.insert("VANTIROKIT_AGENT_STATE_FILE", a.home.filePath("state.json"));
        env.insert("VANTIROKIT_POWER_COMMAND", "echo >>" + a.home.filePath("power.log"));
        a.program.start(binary("client"), env, a.home.path());
    }

    // A separate connection, as the cashier's reports would open one, reading what the
    // console has committed.
    QVariant query(const QString& sql, const QVariantList& params = {})
    {
        Database db;
        db.open(target);
        return db.scalar(sql, params);
    }

    bool registered(const Agent& a)
    {
        return query("SELECT name FROM online WHERE ip = ?", {a.ip}).toString() == a.name;
    }

private Q_SLOTS:
    void initTestCase()
    {
        consolePort = freePort();
        wakePort = freePort(QHostAddress("127.0.0.31"));
        writeFile(consoleHome.filePath("vantirokit.conf"),
                  QString("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n\"port\"=\"%1\"\n")
                      .arg(consolePort)
                      .toUtf8());
        target = testDatabaseTarget(consoleHome.path());
        for (int i = 31; i <= 33; ++i) {
            auto a = std::make_unique<Agent>();
            a->ip = QString("127.0.0.%1").arg(i);
            a->name = QString("PC-%1").arg(i);
            writeFile(a->home.filePath("vantirokit.conf"),
                      QString("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Server]\n"
                              "\"Server\"=\"127.0.0.1\"\n\"port\"=\"%1\"\n\"cname\"=\"%2\"\n"
                              "\"connected\"=\"True\"\n\"localaddress\"=\"%3\"\n"
                              "\"wakeport\"=\"%4\"\n")
                          .arg(consolePort)
                          .arg(a->name, a->ip)
                          .arg(wakePort)
                          .toUtf8());
            agents.push_back(std::move(a));
        }
    }

    void agentsRegisterByTheirNamesAndStayLocked()
    {
        startConsole();
        for (auto& a : agents) {
            startAgent(*a);
        }
        for (auto& a : agents) {
            QVERIFY2(waitUntil([&] { return registered(*a); }), qPrintable(a->ip));
            QVERIFY(waitUntil([&] { return a->state().value("linkUp").toBool(); }));
            QCOMPARE(a->state().value("lockScreenVisible").toBool(), true);
            QCOMPARE(a->state().value("sessionWindow").toBool(), false);
        }
        // The console's own row plus one per workstation, each address once.
        QCOMPARE(query("SELECT count(*) FROM online").toInt(), 4);
        QCOMPARE(query("SELECT count(DISTINCT id) FROM online").toInt(), 4);
    }

    void aRestartedAgentResumesItsRunningSession()
    {
        Agent& a = *agents[0];
        a.program.kill();
        QVERIFY(waitUntil([&] {
            return query("SELECT count(*) FROM online WHERE ip = ?", {a.ip}).toInt() == 0;
        }));
        // The cashier starts a session for this workstation while its agent is away.
        {
            Database db;
            QVERIFY(db.open(target));
            QVERIFY(
                db.run("INSERT INTO terminals (terminal, ip, cid, sstart, \"user\", AUTOLOGOUT) "
                       "VALUES (?, ?, 999, '2026-01-01 10:00:00', 'Normal', 0)",
                       {a.name, a.ip}));
        }
        startAgent(a);
        QVERIFY(waitUntil([&] { return a.state().value("sessionWindow").toBool(); }));
        QCOMPARE(a.state().value("lockScreenVisible").toBool(), false);
        QVERIFY(query("SELECT cid FROM terminals WHERE ip = ?", {a.ip}).toLongLong() != 999);
        QCOMPARE(query("SELECT count(*) FROM online WHERE ip = ?", {a.ip}).toInt(), 0);
    }

    void aLoggedOutSessionComesBackLocked()
    {
        Agent& a = *agents[0];
        a.program.kill();
        query("SELECT 1"); // let the console see the close first
        {
            Database db;
            QVERIFY(db.open(target));
            QVERIFY(db.run("UPDATE terminals SET AUTOLOGOUT = 1 WHERE ip = ?", {a.ip}));
        }
        startAgent(a);
        QVERIFY(waitUntil([&] { return a.state().value("linkUp").toBool(); }));
        QVERIFY(waitUntil([&] { return a.state().value("lockScreenVisible").toBool(); }));
        QCOMPARE(a.state().value("sessionWindow").toBool(), false);
        // Still waiting for settlement, not put back among the ready workstations.
        QCOMPARE(query("SELECT count(*) FROM terminals WHERE ip = ?", {a.ip}).toInt(), 1);
        QCOMPARE(query("SELECT count(*) FROM online WHERE ip = ?", {a.ip}).toInt(), 0);
        QVERIFY(QFile::exists(a.home.filePath("power.log")) == false);
    }

    void aSessionAwaitingItsPasswordIsNotOpenedByARestartedAgent()
    {
        Agent& a = *agents[1];
        a.program.kill();
        QVERIFY(waitUntil([&] {
            return query("SELECT count(*) FROM online WHERE ip = ?", {a.ip}).toInt() == 0;
        }));
        {
            Database db;
            QVERIFY(db.open(target));
            QVERIFY(db.run("INSERT INTO terminals (terminal, ip, cid, sstart, \"user\", Password, "
                           "AUTOLOGOUT, passwordwait) VALUES (?, ?, 998, '2026-01-01 11:00:00', "
                           "'Normal', 'pw', 0, 1)",
                           {a.name, a.ip}));
        }
        // Settled unopened afterwards: the workstation is ready again once the console has it
        // back.
        const auto settled =
            qScopeGuard([&] { query("DELETE FROM terminals WHERE ip = ?", {a.ip}); });
        startAgent(a);
        QVERIFY(waitUntil([&] { return a.state().value("optionsVisible").toBool(); }));
        QCOMPARE(a.state().value("passwordVisible").toBool(), true);
        QCOMPARE(a.state().value("sessionWindow").toBool(), false);
    }

    void everythingComesBackAfterTheConsoleIsKilled()
    {
        {
            Database db;
            QVERIFY(db.open(target));
            QVERIFY(db.run("UPDATE terminals SET AUTOLOGOUT = 0"));
        }
        console.kill();
        for (auto& a : agents) {
            QVERIFY(waitUntil([&] { return !a->state().value("linkUp").toBool(); }));
        }
        startConsole();
        for (size_t i = 1; i < agents.size(); ++i) {
            QVERIFY2(waitUntil([&] { return registered(*agents[i]); }), qPrintable(agents[i]->ip));
        }
        Agent& inSession = *agents[0];
        QVERIFY(waitUntil([&] { return inSession.state().value("linkUp").toBool(); }));
        QVERIFY(waitUntil([&] { return inSession.state().value("sessionWindow").toBool(); }));
        QCOMPARE(query("SELECT sstart FROM terminals WHERE ip = ?", {inSession.ip}).toString(),
                 QString("2026-01-01 10:00:00"));
    }

    void cleanupTestCase()
    {
        for (auto& a : agents) {
            a->program.kill();
        }
        console.kill();
    }
};

QTEST_GUILESS_MAIN(TestCafeLink)
#include "tst_cafelink.moc"
