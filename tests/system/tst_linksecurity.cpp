// The link key between real programs: a keyed console process with agents holding the right
// key, a wrong one and none; and a session started over a keyed link to a real agent, which
// comes back after the agent is killed and started again.
#include "common/settingsstore.h"
#include "server/core/database.h"
#include "server/link/connectionmanager.h"
#include "server/link/linkserver.h"
#include "server/sessions/sessionservice.h"
#include "support/agentprocess.h"
#include "support/systemwait.h"
#include "support/testhome.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTcpServer>
#include <QTemporaryDir>
#include <QTest>

#include <memory>

namespace {

using namespace SystemTest;

const QString Key = QStringLiteral("Cafe key 2026");

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

QString agentSettings(quint16 port, const QString& name, const QString& ip, const QString& key)
{
    QString s = QString("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Server]\n"
                        "\"Server\"=\"127.0.0.1\"\n\"port\"=\"%1\"\n\"cname\"=\"%2\"\n"
                        "\"connected\"=\"True\"\n\"localaddress\"=\"%3\"\n")
                    .arg(port)
                    .arg(name, ip);
    if (!key.isNull()) {
        s += QString("\"linkkey\"=\"%1\"\n").arg(key);
    }
    return s;
}

} // namespace

class TstLinkSecurity : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void keyedConsoleListsOnlyTheAgentWithTheKey();
    void sessionOverAKeyedLinkSurvivesTheAgentsRestart();
};

void TstLinkSecurity::keyedConsoleListsOnlyTheAgentWithTheKey()
{
    Program console;
    QTcpServer probe;
    QVERIFY(probe.listen(QHostAddress::LocalHost, 0));
    const quint16 port = probe.serverPort();
    probe.close();
    writeFile(console.home.filePath("vantirokit.conf"),
              QString("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n\"port\"=\"%1\"\n"
                      "\"linkkey\"=\"%2\"\n")
                  .arg(port)
                  .arg(Key));
    console.start("vkserver");

    Program right;
    Program wrong;
    Program none;
    writeFile(right.home.filePath("vantirokit.conf"),
              agentSettings(port, "PC-41", "127.0.0.41", Key));
    writeFile(wrong.home.filePath("vantirokit.conf"),
              agentSettings(port, "LAPTOP-42", "127.0.0.42", "guessed"));
    writeFile(none.home.filePath("vantirokit.conf"),
              agentSettings(port, "LAPTOP-43", "127.0.0.43", QString()));
    right.start("client");
    wrong.start("client");
    none.start("client");

    auto query = [&](const QString& sql) {
        Database db;
        db.open(console.home.filePath("server.db"));
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
    QVERIFY(db.open(home.file("server.db")));
    QVERIFY(db.run("INSERT INTO user_category (user) VALUES ('Std')"));
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

QTEST_GUILESS_MAIN(TstLinkSecurity)
#include "tst_linksecurity.moc"
