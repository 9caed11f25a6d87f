// SPDX-License-Identifier: Apache-2.0
// The link key between real programs: a keyed console process with agents holding the right
// key, a wrong one and none, and a session that comes back over the keyed link after its agent
// is killed and started again; a relay the agent is pointed at that passes the handshake on to
// the real console; keys too weak to use.
#include "cafeday_processes.h"
#include "common/protocol.h"

#include <QTcpServer>

#include <memory>

namespace {

using namespace SystemTest;

const QString Key = QStringLiteral("9f3c2a7be41d08c6f5a2e9b17d03c4e8");
const QString OtherKey = QStringLiteral("5b1e07d2c9a8f3e6405d7a2b8c1f9e36");

// A console started in its own home with the key.
void startConsole(ConsoleProgram& console, const QString& key)
{
    QVERIFY(console.configure(QString("\"linkkey\"=\"%1\"\n").arg(key)));
    console.start({{"VANTIROKIT_WAKE_PORT", "0"}});
}

// An agent started in its own home with the key (none when empty), pointed at `port` of
// `server`.
void startAgent(Agent& agent, quint16 port, const QString& name, const QString& ip,
                const QString& key, const QString& server = "127.0.0.1")
{
    agent.name = name;
    agent.ip = ip;
    agent.linkKey = key;
    agent.server = server;
    QVERIFY(agent.configure(port, freePort(QHostAddress(ip))));
    agent.start();
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
    void relayedHandshakeFailsOnBothSides();
    void weakKeyLinksNothingOnEitherSide();
};

void TstLinkSecurity::keyedConsoleListsOnlyTheAgentWithTheKey()
{
    ConsoleProgram console;
    STEP(startConsole(console, Key));
    Agent right;
    Agent wrong;
    Agent none;
    STEP(startAgent(right, console.port, "PC-41", "127.0.0.41", Key));
    STEP(startAgent(wrong, console.port, "LAPTOP-42", "127.0.0.42", OtherKey));
    STEP(startAgent(none, console.port, "LAPTOP-43", "127.0.0.43", QString()));

    QVERIFY(waitUntil([&] {
        return console.query("SELECT name FROM online WHERE ip = '127.0.0.41'").toString() ==
               "PC-41";
    }));
    // Both laptops were refused by the console, each logged with its address.
    QVERIFY(waitUntil([&] {
        const QString log = console.log();
        return log.contains("127.0.0.42") && log.contains("127.0.0.43");
    }));
    QCOMPARE(console.query("SELECT count(*) FROM online WHERE ip IN ('127.0.0.42', '127.0.0.43')")
                 .toInt(),
             0);
    // The agent with the wrong key is told why it never gets further, once, and stays locked.
    QVERIFY(waitUntil(
        [&] { return readFile(wrong.home.filePath("Morvek.txt")).contains("same key"); }));
    QCOMPARE(readFile(wrong.home.filePath("Morvek.txt")).count("TCP_Authentication"), 1);
    QCOMPARE(wrong.shows("linkProven"), false);
    QCOMPARE(wrong.shows("lockScreenVisible"), true);
    QCOMPARE(none.shows("lockScreenVisible"), true);

    // Killed and started again with a session waiting for it, the agent with the key resumes
    // it once the link is proven again, on its new connection.
    const QString rightRows = "SELECT count(*) FROM online WHERE ip = '127.0.0.41'";
    right.kill();
    QVERIFY(waitUntil([&] { return console.query(rightRows).toInt() == 0; }));
    QVERIFY(console.startSessionFor(right.name, right.ip));
    right.start();
    QVERIFY(right.waitShows("sessionWindow"));
    QCOMPARE(right.shows("linkProven"), true);
    QVERIFY(console.query("SELECT cid FROM terminals WHERE ip = '127.0.0.41'").toLongLong() != 999);
    QCOMPARE(console.query(rightRows).toInt(), 0);
}

void TstLinkSecurity::relayedHandshakeFailsOnBothSides()
{
    // The direct handshake with this key and console works (see above); through the relay the
    // console refuses the agent's proof, made for the agent's connection to the relay, and the
    // agent obeys nothing the relay sends.
    ConsoleProgram console;
    STEP(startConsole(console, Key));
    QVERIFY(waitListening(console.port));
    Relay relay(console.port);
    QVERIFY(relay.port() != 0);
    Agent agent;
    STEP(startAgent(agent, relay.port(), "PC-52", "127.0.0.52", Key, "127.0.0.50"));

    QVERIFY(waitUntil([&] { return relay.unlocksSent >= 2; }, 30000));
    const QString consoleLog = console.log();
    QVERIFY2(consoleLog.contains("Connection from 127.0.0.51 refused: wrong proof"),
             qPrintable(consoleLog));
    QVERIFY(readFile(agent.home.filePath("Morvek.txt")).contains("TCP_Authentication"));
    const QJsonObject state = agent.state();
    QCOMPARE(state.value("linkProven").toBool(), false);
    QCOMPARE(state.value("lockScreenVisible").toBool(), true);
    QCOMPARE(state.value("sessionWindow").toBool(), false);
    QCOMPARE(console.query("SELECT count(*) FROM online WHERE ip LIKE '127.0.0.5%'").toInt(), 0);
}

void TstLinkSecurity::weakKeyLinksNothingOnEitherSide()
{
    // The console refuses its own weak key loudly and every agent with it; the agent with the
    // weak key refuses it too, never falling back to an open link.
    ConsoleProgram console;
    STEP(startConsole(console, "cafe2024"));
    Agent weak;
    Agent strong;
    STEP(startAgent(weak, console.port, "PC-61", "127.0.0.61", "cafe2024"));
    STEP(startAgent(strong, console.port, "PC-62", "127.0.0.62", Key));

    QVERIFY(waitUntil([&] {
        const QString log = console.log();
        return log.contains("link key is refused") &&
               log.contains("Connection from 127.0.0.62 refused: the link key set on this "
                            "console is refused");
    }));
    QVERIFY(waitUntil(
        [&] { return weak.state().value("status").toString().contains("link key is refused"); }));
    QCOMPARE(weak.shows("dialogVisible"), true);
    for (Agent* p : {&weak, &strong}) {
        // The agent reports its screens as it draws them; on a busy machine the lock may be
        // reported a moment after the refusal.
        QVERIFY(p->waitShows("lockScreenVisible"));
        QCOMPARE(p->shows("linkProven"), false);
    }
    // Nobody was ever let in.
    QVERIFY(!console.log().contains("127.0.0.61"));
    QCOMPARE(console.query("SELECT count(*) FROM online WHERE ip LIKE '127.0.0.6%'").toInt(), 0);
}

QTEST_GUILESS_MAIN(TstLinkSecurity)
#include "tst_linksecurity.moc"
