// SPDX-License-Identifier: Apache-2.0
// The link key between real programs: a keyed console process with agents holding the right
// key, a wrong one and none; a relay the agent is pointed at that passes the handshake on to
// the real console; keys too weak to use; and a session started over a keyed link to a real
// agent, which comes back after the agent is killed and started again.
#include "common/protocol.h"
#include "common/settingsstore.h"
#include "server/core/database.h"
#include "server/link/connectionmanager.h"
#include "server/link/linkserver.h"
#include "server/sessions/sessionservice.h"
#include "support/agentprocess.h"
#include "support/systemwait.h"
#include "support/testdatabase.h"
#include "support/testhome.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using namespace SystemTest;

const QString Key = QStringLiteral("9f3c2a7be41d08c6f5a2e9b17d03c4e8");
const QString OtherKey = QStringLiteral("5b1e07d2c9a8f3e6405d7a2b8c1f9e36");

void writeFile(const QString& path, const QString& text)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text.toUtf8());
}

QString readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// One program in its own home folder, offscreen.
struct Program
{
    QTemporaryDir home;
    QProcess process;

    ~Program() { kill(); }
    void start(const char* exe, const QMap<QString, QString>& extraEnv = {})
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VANTIROKIT_HOME", home.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        env.insert("VANTIROKIT_AGENT_STATE_FILE", home.filePath("state.json"));
        env.insert("VANTIROKIT_POWER_COMMAND", "true");
        env.insert("VANTIROKIT_WAKE_PORT", "0");
        for (auto it = extraEnv.cbegin(); it != extraEnv.cend(); ++it) {
            env.insert(it.key(), it.value());
        }
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home.path());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.start(binary(exe), {});
        process.waitForStarted();
    }
    void kill()
    {
        if (process.state() != QProcess::NotRunning) {
            process.kill();
            process.waitForFinished(5000);
        }
    }
    QJsonObject state() const
    {
        return QJsonDocument::fromJson(readFile(home.filePath("state.json")).toUtf8()).object();
    }
};

QString agentSettings(quint16 port, const QString& name, const QString& ip, const QString& key,
                      const QString& console = QStringLiteral("127.0.0.1"))
{
    QString s = QString("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Server]\n"
                        "\"Server\"=\"%4\"\n\"port\"=\"%1\"\n\"cname\"=\"%2\"\n"
                        "\"connected\"=\"True\"\n\"localaddress\"=\"%3\"\n")
                    .arg(port)
                    .arg(name, ip, console);
    if (!key.isNull()) {
        s += QString("\"linkkey\"=\"%1\"\n").arg(key);
    }
    return s;
}

// A console started in its own home with the key, listening on a free port.
quint16 startConsole(Program& console, const QString& key)
{
    const quint16 port = freePort();
    writeFile(console.home.filePath("vantirokit.conf"),
              QString("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n\"port\"=\"%1\"\n"
                      "\"linkkey\"=\"%2\"\n")
                  .arg(port)
                  .arg(key));
    testDatabaseTarget(console.home.path());
    console.start("vkserver");
    return port;
}

// A machine the agent was pointed at instead of the console: it listens on 127.0.0.50 and
// passes everything on, both ways, over its own connection from 127.0.0.51 to the real
// console. When the console hangs up it tells the agent to unlock anyway.
class Relay : public QObject
{
public:
    explicit Relay(quint16 consolePort) : m_consolePort(consolePort)
    {
        m_server.listen(QHostAddress("127.0.0.50"), 0);
        connect(&m_server, &QTcpServer::newConnection, this, &Relay::pair);
    }
    quint16 port() const { return m_server.serverPort(); }
    int unlocksSent = 0;

private:
    void pair()
    {
        while (QTcpSocket* s = m_server.nextPendingConnection()) {
            // One pair at a time: the agent's retry replaces the last.
            m_agent.reset(s);
            m_agent->setParent(nullptr);
            m_console = std::make_unique<QTcpSocket>();
            m_console->bind(QHostAddress("127.0.0.51"), 0);
            QTcpSocket* agent = m_agent.get();
            QTcpSocket* console = m_console.get();
            connect(agent, &QTcpSocket::readyRead, console,
                    [agent, console] { console->write(agent->readAll()); });
            connect(console, &QTcpSocket::readyRead, agent,
                    [agent, console] { agent->write(console->readAll()); });
            connect(console, &QTcpSocket::disconnected, agent, [this, agent] {
                agent->write(Proto::Unlock + Proto::StartSession);
                ++unlocksSent;
            });
            m_console->connectToHost(QHostAddress::LocalHost, m_consolePort);
        }
    }

    QTcpServer m_server;
    quint16 m_consolePort;
    std::unique_ptr<QTcpSocket> m_agent;
    std::unique_ptr<QTcpSocket> m_console;
};

} // namespace

class TstLinkSecurity : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keyedConsoleListsOnlyTheAgentWithTheKey();
    void sessionOverAKeyedLinkSurvivesTheAgentsRestart();
    void relayedHandshakeFailsOnBothSides();
    void weakKeyLinksNothingOnEitherSide();
};

void TstLinkSecurity::keyedConsoleListsOnlyTheAgentWithTheKey()
{
    Program console;
    const quint16 port = startConsole(console, Key);

    Program right;
    Program wrong;
    Program none;
    writeFile(right.home.filePath("vantirokit.conf"),
              agentSettings(port, "PC-41", "127.0.0.41", Key));
    writeFile(wrong.home.filePath("vantirokit.conf"),
              agentSettings(port, "LAPTOP-42", "127.0.0.42", OtherKey));
    writeFile(none.home.filePath("vantirokit.conf"),
              agentSettings(port, "LAPTOP-43", "127.0.0.43", QString()));
    right.start("client");
    wrong.start("client");
    none.start("client");

    auto query = [&](const QString& sql) {
        Database db;
        db.open(DatabaseTarget::fromSettings(console.home.filePath("server.db"),
                                             console.home.filePath("vantirokit.conf")));
        return db.scalar(sql);
    };
    QVERIFY(waitUntil([&] {
        return query("SELECT name FROM online WHERE ip = '127.0.0.41'").toString() == "PC-41";
    }));
    QVERIFY(right.state().value("linkProven").toBool());
    // Both laptops were refused by the console, each logged with its address.
    QVERIFY(waitUntil([&] {
        const QString log = readFile(console.home.filePath("Morvek.txt"));
        return log.contains("127.0.0.42") && log.contains("127.0.0.43");
    }));
    QCOMPARE(query("SELECT count(*) FROM online WHERE ip IN ('127.0.0.42', '127.0.0.43')").toInt(),
             0);
    // The agent with the wrong key is told why it never gets further, once, and stays locked.
    QVERIFY(waitUntil(
        [&] { return readFile(wrong.home.filePath("Morvek.txt")).contains("same key"); }));
    QCOMPARE(readFile(wrong.home.filePath("Morvek.txt")).count("TCP_Authentication"), 1);
    QCOMPARE(wrong.state().value("linkProven").toBool(), false);
    QCOMPARE(wrong.state().value("lockScreenVisible").toBool(), true);
    QCOMPARE(none.state().value("lockScreenVisible").toBool(), true);
}

void TstLinkSecurity::sessionOverAKeyedLinkSurvivesTheAgentsRestart()
{
    TestHome home;
    Database db;
    QVERIFY(db.open(testDatabaseTarget(home)));
    QVERIFY(db.run("INSERT INTO user_category (\"user\") VALUES ('Std')"));
    LinkServer server;
    ConnectionManager manager(db, server);
    server.setLinkKey(Key.toUtf8());
    QVERIFY(server.listen(0, QHostAddress::LocalHost));

    AgentProcess::seedServer("127.0.0.1", server.serverPort(), "PC-44", true);
    {
        SettingsStore store;
        store.writeValue(RegKey::Server, "linkkey", Key);
    }
    AgentProcess agent;
    QVERIFY(agent.start());
    QVERIFY(waitUntil([&] {
        return db.scalar("SELECT name FROM online WHERE ip = '127.0.0.1'").toString() == "PC-44";
    }));
    QVERIFY(agent.waitState("linkProven", true));

    // The cashier starts a session; the service's messages go out over the keyed link.
    SessionService sessions(db);
    StartRequest req;
    req.terminal = "PC-44";
    req.category = "Std";
    QVERIFY(!sessions.checkStart(req).has_value());
    const StartResult started = sessions.start(req);
    QVERIFY(started.ok);
    for (const AgentMessage& m : started.messages) {
        QVERIFY(server.send(m.index, m.bytes));
    }
    QVERIFY(agent.waitState("sessionWindow", true));
    QCOMPARE(agent.state().value("keysLocked").toBool(), false);
    const QString loginTime = agent.state().value("loginTime").toString();
    QVERIFY(!loginTime.isEmpty());

    // Killed and started again, the agent is locked until the console has proven itself, then
    // resumes the session from its original start.
    agent.kill();
    QVERIFY(agent.start());
    QVERIFY(agent.waitState("linkProven", true, 15000));
    QVERIFY(agent.waitState("sessionWindow", true));
    QCOMPARE(agent.state().value("loginTime").toString(), loginTime);
    QCOMPARE(db.scalar("SELECT count(*) FROM online WHERE ip = '127.0.0.1'").toInt(), 0);
    QCOMPARE(db.scalar("SELECT cid FROM terminals").toLongLong(), server.lastIndex());
}

void TstLinkSecurity::relayedHandshakeFailsOnBothSides()
{
    // The direct handshake with this key and console works (see above); through the relay the
    // console refuses the agent's proof, made for the agent's connection to the relay, and the
    // agent obeys nothing the relay sends.
    Program console;
    const quint16 port = startConsole(console, Key);
    QVERIFY(waitUntil([&] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        return probe.waitForConnected(500);
    }));
    Relay relay(port);
    QVERIFY(relay.port() != 0);
    Program agent;
    writeFile(agent.home.filePath("vantirokit.conf"),
              agentSettings(relay.port(), "PC-52", "127.0.0.52", Key, "127.0.0.50"));
    agent.start("client");

    QVERIFY(waitUntil([&] { return relay.unlocksSent >= 2; }, 30000));
    const QString consoleLog = readFile(console.home.filePath("Morvek.txt"));
    QVERIFY2(consoleLog.contains("Connection from 127.0.0.51 refused: wrong proof"),
             qPrintable(consoleLog));
    QVERIFY(readFile(agent.home.filePath("Morvek.txt")).contains("TCP_Authentication"));
    const QJsonObject state = agent.state();
    QCOMPARE(state.value("linkProven").toBool(), false);
    QCOMPARE(state.value("lockScreenVisible").toBool(), true);
    QCOMPARE(state.value("sessionWindow").toBool(), false);
    Database db;
    QVERIFY(db.open(DatabaseTarget::fromSettings(console.home.filePath("server.db"),
                                                 console.home.filePath("vantirokit.conf"))));
    QCOMPARE(db.scalar("SELECT count(*) FROM online WHERE ip LIKE '127.0.0.5%'").toInt(), 0);
}

void TstLinkSecurity::weakKeyLinksNothingOnEitherSide()
{
    // The console refuses its own weak key loudly and every agent with it; the agent with the
    // weak key refuses it too, never falling back to an open link.
    Program console;
    const quint16 port = startConsole(console, "cafe2024");
    Program weak;
    Program strong;
    writeFile(weak.home.filePath("vantirokit.conf"),
              agentSettings(port, "PC-61", "127.0.0.61", "cafe2024"));
    writeFile(strong.home.filePath("vantirokit.conf"),
              agentSettings(port, "PC-62", "127.0.0.62", Key));
    weak.start("client");
    strong.start("client");

    QVERIFY(waitUntil([&] {
        const QString log = readFile(console.home.filePath("Morvek.txt"));
        return log.contains("link key is refused") &&
               log.contains("Connection from 127.0.0.62 refused: the link key set on this "
                            "console is refused");
    }));
    QVERIFY(waitUntil(
        [&] { return weak.state().value("status").toString().contains("link key is refused"); }));
    QCOMPARE(weak.state().value("dialogVisible").toBool(), true);
    QVERIFY(readFile(weak.home.filePath("Morvek.txt")).contains("link key is refused"));
    for (Program* p : {&weak, &strong}) {
        QCOMPARE(p->state().value("linkProven").toBool(), false);
        // The agent reports its screens as it draws them; on a busy machine the lock may be
        // reported a moment after the refusal.
        QVERIFY(waitUntil([&] { return p->state().value("lockScreenVisible").toBool(); }));
        QCOMPARE(p->state().value("linkProven").toBool(), false);
    }
    // Nobody was ever let in.
    QVERIFY(!readFile(console.home.filePath("Morvek.txt")).contains("127.0.0.61"));
    Database db;
    QVERIFY(db.open(DatabaseTarget::fromSettings(console.home.filePath("server.db"),
                                                 console.home.filePath("vantirokit.conf"))));
    QCOMPARE(db.scalar("SELECT count(*) FROM online WHERE ip LIKE '127.0.0.6%'").toInt(), 0);
}

QTEST_GUILESS_MAIN(TstLinkSecurity)
#include "tst_linksecurity.moc"
