// SPDX-License-Identifier: Apache-2.0
// The real agent executable against a small test console on loopback.

#include "common/protocol.h"
#include "common/settingsstore.h"
#include "platform/loginsession.h"
#include "support/agentprocess.h"
#include "support/testhome.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QtTest>

class TstAgentProcess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void answersWithStoredName();
    void carriesOutCommands();
    void powerCommands_data();
    void powerCommands();
    void slowFailingPowerCallLocksFirst();
    void automaticLogoutAndWarning();
    void wakeConnectionSendsTesting();
    void reconnectsAfterConsoleRestart();
    void firstStartRefusalIsReportedWithoutRetry();
    void endsInOrderOnTerminationDuringSession();
    void killedAgentComesBackLockedAndIsResumed();
    void sessionOverEndsTheLogin_data();
    void sessionOverEndsTheLogin();
    void secondStartEndsSilently();

private:
    // The set-up where the agent ends the customer's login with the session.
    static void enableLoginEnding()
    {
        SettingsStore s;
        s.createKey(RegKey::Platform);
        s.writeValue(RegKey::Platform, QString::fromLatin1(LoginSession::EndValue),
                     QStringLiteral("1"));
    }
    // Starts an agent against the console, waits for its name reply.
    bool startConnected(AgentTestConsole& console, AgentProcess& agent)
    {
        if (!console.listen()) {
            return false;
        }
        AgentProcess::seedServer(QStringLiteral("127.0.0.1"), console.port(),
                                 QStringLiteral("PC-07"), true);
        if (!agent.start() || !console.waitForAgent()) {
            return false;
        }
        console.send(Proto::Lock + Proto::CName);
        return console.waitFor(Proto::CNameReplyEnd) &&
               agent.waitState(QStringLiteral("keysLocked"), true);
    }
};

void TstAgentProcess::answersWithStoredName()
{
    TestHome home;
    AgentTestConsole console;
    AgentProcess agent;
    QVERIFY(startConnected(console, agent));
    QCOMPARE(console.received(), QByteArray("|CNAME`|PC-07|<endname|"));
    const QJsonObject s = agent.state();
    QCOMPARE(s.value(QStringLiteral("lockScreenVisible")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("sessionWindow")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("caption")).toString(), QStringLiteral("Vantiro Client 1.2"));
}

void TstAgentProcess::carriesOutCommands()
{
    TestHome home;
    AgentTestConsole console;
    AgentProcess agent;
    QVERIFY(startConnected(console, agent));

    // Options with password, then a refused password.
    console.send(Proto::ShowOptionsWithPassword);
    QVERIFY(agent.waitState(QStringLiteral("optionsVisible"), true));
    QCOMPARE(agent.state().value(QStringLiteral("passwordVisible")).toBool(), true);
    console.send(Proto::ShowOptions);
    QVERIFY(agent.waitState(QStringLiteral("passwordVisible"), false));
    console.send(Proto::PasswordNotValid);
    QVERIFY(agent.waitState(QStringLiteral("caption"),
                            QStringLiteral("Invalid Password, Please Re Enter Password")));
    QCOMPARE(agent.state().value(QStringLiteral("autologoff")).toString(), QStringLiteral("1"));

    // A session start in one arrival: time and limit stored before the window opens.
    console.send(Proto::SetTime + Proto::autologoutMinutes(45) + Proto::StartSession);
    QVERIFY(agent.waitState(QStringLiteral("sessionWindow"), true));
    QJsonObject s = agent.state();
    QCOMPARE(s.value(QStringLiteral("keysLocked")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("lockScreenLoaded")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("surfupto")).toString(), QStringLiteral("45"));
    QCOMPARE(s.value(QStringLiteral("autologoff")).toString(), QStringLiteral("1"));
    const QDateTime login = QDateTime::fromString(s.value(QStringLiteral("loginTime")).toString(),
                                                  QString::fromLatin1(Proto::DateTimeFormat));
    QVERIFY(qAbs(login.secsTo(QDateTime::currentDateTime())) < 10);

    // A transfer's start time replaces the login time; an empty one changes nothing.
    const QDateTime start = QDateTime::currentDateTime().addSecs(-3600);
    console.send(Proto::setDateTime(start));
    QVERIFY(agent.waitState(QStringLiteral("loginTime"), Proto::dateTimeText(start)));
    QCOMPARE(agent.state().value(QStringLiteral("surfupto")).toString(), QStringLiteral("0"));
    console.send(Proto::SetDateTime + Proto::SetDateTimeEnd + Proto::autologoutMinutes(30));
    QVERIFY(agent.waitState(QStringLiteral("surfupto"), QStringLiteral("30")));
    QCOMPARE(agent.state().value(QStringLiteral("loginTime")).toString(),
             Proto::dateTimeText(start));

    // End of session: locked again, options and password hidden.
    console.send(Proto::EndSession);
    QVERIFY(agent.waitState(QStringLiteral("sessionWindow"), false));
    s = agent.state();
    QCOMPARE(s.value(QStringLiteral("keysLocked")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("lockScreenVisible")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("optionsVisible")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("passwordVisible")).toBool(), false);

    // Unlock together with a session start: unlocked, and no session window.
    console.send(Proto::Unlock + Proto::StartSession);
    QVERIFY(agent.waitState(QStringLiteral("keysLocked"), false));
    s = agent.state();
    QCOMPARE(s.value(QStringLiteral("lockScreenLoaded")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("sessionWindow")).toBool(), false);

    // Lock reloads the lock screen; a message cut by the transport still arrives whole.
    const int loads = agent.state().value(QStringLiteral("lockScreenLoads")).toInt();
    console.send("|LO");
    QTest::qWait(100);
    console.send("CK|");
    QVERIFY(agent.waitState(QStringLiteral("lockScreenLoads"), loads + 1));
    QCOMPARE(agent.state().value(QStringLiteral("keysLocked")).toBool(), true);
    // The agent answered nothing but its name.
    QCOMPARE(console.received(), QByteArray("|CNAME`|PC-07|<endname|"));
}

void TstAgentProcess::powerCommands_data()
{
    QTest::addColumn<QByteArray>("arrival");
    QTest::addColumn<QString>("call");
    QTest::newRow("shutdown") << (Proto::EndSession + Proto::Shutdown)
                              << QStringLiteral("poweroff");
    QTest::newRow("reboot") << Proto::Reboot << QStringLiteral("reboot");
    QTest::newRow("shutdown before lock")
        << (Proto::Lock + Proto::Shutdown) << QStringLiteral("poweroff");
}

void TstAgentProcess::powerCommands()
{
    QFETCH(QByteArray, arrival);
    QFETCH(QString, call);
    TestHome home;
    AgentTestConsole console;
    AgentProcess agent;
    QVERIFY(startConnected(console, agent));
    const int loads = agent.state().value(QStringLiteral("lockScreenLoads")).toInt();
    console.send(arrival);
    QTRY_COMPARE_WITH_TIMEOUT(agent.powerCalls(), call, 5000);
    // Nothing else of that arrival was handled.
    QCOMPARE(agent.state().value(QStringLiteral("lockScreenLoads")).toInt(), loads);
}

void TstAgentProcess::slowFailingPowerCallLocksFirst()
{
    TestHome home;
    AgentTestConsole console;
    AgentProcess agent;
    agent.setPowerTail("sleep 5\nexit 7\n");
    QVERIFY(startConnected(console, agent));
    console.send(Proto::SetTime + Proto::StartSession);
    QVERIFY(agent.waitState(QStringLiteral("sessionWindow"), true));

    console.send(Proto::Shutdown);
    QTRY_COMPARE_WITH_TIMEOUT(agent.powerCalls(), QStringLiteral("poweroff"), 5000);
    // While the command takes its time the workstation is locked and the agent still answers.
    QJsonObject s = agent.state();
    QCOMPARE(s.value(QStringLiteral("sessionWindow")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("lockScreenVisible")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("keysLocked")).toBool(), true);
    console.clearReceived();
    console.send(Proto::CName);
    QVERIFY(console.waitFor(Proto::CNameReplyEnd, 3000));
    QVERIFY(home.errorLog().isEmpty());

    // It failed: written to the error log, and the workstation stays locked.
    QVERIFY(agent.waitState(QStringLiteral("powerFailed"), true, 15000));
    QVERIFY(home.errorLog().contains(QStringLiteral("Calling Form: Power\r\n")));
    QVERIFY(home.errorLog().contains(QStringLiteral("Error Number: 7\r\n")));
    s = agent.state();
    QCOMPARE(s.value(QStringLiteral("lockScreenVisible")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("keysLocked")).toBool(), true);
}

void TstAgentProcess::automaticLogoutAndWarning()
{
    TestHome home;
    AgentTestConsole console;
    AgentProcess agent;
    QVERIFY(startConnected(console, agent));
    console.clearReceived();

    // 25 minutes into a 30-minute session: the warning shows 5 minutes left.
    QDateTime start = QDateTime::currentDateTime().addSecs(-25 * 60 - 5);
    console.send(Proto::setDateTime(start) + Proto::autologoutMinutes(30) + Proto::StartSession);
    QVERIFY(agent.waitState(QStringLiteral("warning"), true, 5000));
    QCOMPARE(agent.state().value(QStringLiteral("warningMinutes")).toInt(), 5);
    QVERIFY(!console.received().contains(Proto::Autologout));

    // Past the limit: the request repeats every second until the console ends the session.
    start = QDateTime::currentDateTime().addSecs(-31 * 60);
    console.send(Proto::setDateTime(start) + Proto::autologoutMinutes(30));
    QVERIFY(console.waitFor(Proto::Autologout + Proto::Autologout, 5000));
    console.send(Proto::EndSession);
    QVERIFY(agent.waitState(QStringLiteral("sessionWindow"), false));
    QTest::qWait(300);
    const int sent = console.count(Proto::Autologout);
    QTest::qWait(2200);
    QCOMPARE(console.count(Proto::Autologout), sent);
}

void TstAgentProcess::wakeConnectionSendsTesting()
{
    TestHome home;
    AgentTestConsole console;
    AgentProcess agent;
    QVERIFY(startConnected(console, agent));
    const int port = agent.state().value(QStringLiteral("wakePort")).toInt();
    QVERIFY(port > 0);
    QTcpSocket wake;
    wake.connectToHost(QHostAddress::LocalHost, quint16(port));
    QVERIFY(wake.waitForConnected(3000));
    QVERIFY(console.waitFor(Proto::Testing));
}

void TstAgentProcess::reconnectsAfterConsoleRestart()
{
    TestHome home;
    AgentTestConsole console;
    AgentProcess agent;
    QVERIFY(startConnected(console, agent));
    console.send(Proto::SetTime + Proto::StartSession);
    QVERIFY(agent.waitState(QStringLiteral("sessionWindow"), true));

    const quint16 port = console.port();
    console.stop();
    // The session window closes; the lock screen is not shown, it only carries the text.
    QVERIFY(agent.waitState(QStringLiteral("linkUp"), false));
    QJsonObject s = agent.state();
    QCOMPARE(s.value(QStringLiteral("sessionWindow")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("lockScreenVisible")).toBool(), false);
    QVERIFY(s.value(QStringLiteral("caption"))
                .toString()
                .startsWith(QStringLiteral("Server Connection Broken")));

    // A few refused attempts, then the console is back.
    QTest::qWait(2500);
    QVERIFY(console.listen(port));
    // The paced retries reach it within their 5 s ceiling, with room for a loaded machine.
    QVERIFY(console.waitForAgent(15000));
    QVERIFY(agent.waitState(QStringLiteral("linkUp"), true));
    console.send(Proto::StartSession + Proto::CName);
    QVERIFY(console.waitFor(Proto::CNameReplyEnd));
    QVERIFY(agent.waitState(QStringLiteral("sessionWindow"), true));
    QCOMPARE(agent.state().value(QStringLiteral("caption")).toString(),
             QStringLiteral("Vantiro Client 1.2"));
    // One new connection, not a burst of them.
    QCOMPARE(console.connections(), 2);
}

void TstAgentProcess::firstStartRefusalIsReportedWithoutRetry()
{
    TestHome home;
    // A port nobody listens on yet; the agent has never been connected.
    AgentTestConsole console;
    QVERIFY(console.listen());
    const quint16 port = console.port();
    console.stop();
    AgentProcess::seedServer(QStringLiteral("127.0.0.1"), port, QStringLiteral("PC-07"), false);
    AgentProcess agent;
    QVERIFY(agent.start());
    QVERIFY(agent.waitState(QStringLiteral("lastMessage"),
                            QStringLiteral("Vantiro Server is Not Running \r\n  Tips - Run the "
                                           "Vantiro Server in Server & Try with IP Address shown "
                                           "in Terminal List first Row"),
                            8000));
    QVERIFY(console.listen(port));
    QTest::qWait(3000);
    QCOMPARE(console.connections(), 0);
}

void TstAgentProcess::endsInOrderOnTerminationDuringSession()
{
    TestHome home;
    AgentTestConsole console;
    AgentProcess agent;
    QVERIFY(startConnected(console, agent));
    console.send(Proto::SetTime + Proto::StartSession);
    QVERIFY(agent.waitState(QStringLiteral("sessionWindow"), true));
    // The session window refuses the customer's close, but not the program's own end.
    agent.process().terminate();
    QVERIFY(agent.process().state() == QProcess::NotRunning ||
            agent.process().waitForFinished(5000));
    QCOMPARE(agent.process().exitStatus(), QProcess::NormalExit);
    QCOMPARE(agent.process().exitCode(), 0);
}

void TstAgentProcess::killedAgentComesBackLockedAndIsResumed()
{
    TestHome home;
    enableLoginEnding();
    AgentTestConsole console;
    AgentProcess agent;
    QVERIFY(startConnected(console, agent));
    const QDateTime start = QDateTime::currentDateTime().addSecs(-600);
    console.send(Proto::setDateTime(start) + Proto::StartSession);
    QVERIFY(agent.waitState(QStringLiteral("sessionWindow"), true));

    agent.kill();
    QFile::remove(agent.stateFile());
    QVERIFY(agent.start());
    // Locked from the start, before the console has said anything.
    QVERIFY(agent.waitState(QStringLiteral("keysLocked"), true));
    QCOMPARE(agent.state().value(QStringLiteral("lockScreenVisible")).toBool(), true);
    QCOMPARE(agent.state().value(QStringLiteral("sessionWindow")).toBool(), false);
    QTRY_COMPARE_WITH_TIMEOUT(console.connections(), 2, 10000);
    // The console re-attaches the running session; its time counts from the stored start.
    console.send(Proto::StartSession);
    QVERIFY(agent.waitState(QStringLiteral("sessionWindow"), true));
    QCOMPARE(agent.state().value(QStringLiteral("keysLocked")).toBool(), false);
    QCOMPARE(agent.state().value(QStringLiteral("loginTime")).toString(),
             Proto::dateTimeText(start));
    // The customer's login goes on with the session.
    QCOMPARE(agent.loginEndings(), QString());
}

void TstAgentProcess::sessionOverEndsTheLogin_data()
{
    QTest::addColumn<bool>("restart");
    QTest::addColumn<bool>("freedFirst");
    QTest::addColumn<QByteArray>("arrival");
    QTest::addColumn<QByteArray>("powerTail");
    QTest::addColumn<int>("endings");

    QTest::newRow("session ended") << false << false << Proto::EndSession << QByteArray() << 1;
    // The agent was away (killed from the session) while the console settled the session.
    QTest::newRow("locked after restart") << true << false << Proto::Lock << QByteArray() << 1;
    QTest::newRow("options after restart")
        << true << false << Proto::ShowOptions << QByteArray() << 1;
    // Locked for the shutdown, which the system then refused: the workstation stays on.
    QTest::newRow("shutdown refused")
        << false << false << Proto::Shutdown << QByteArray("exit 7\n") << 1;
    // Freed by the console without a session: whoever uses it now is not ended later.
    QTest::newRow("freed, then locked") << false << true << Proto::Lock << QByteArray() << 0;
}

void TstAgentProcess::sessionOverEndsTheLogin()
{
    QFETCH(bool, restart);
    QFETCH(bool, freedFirst);
    QFETCH(QByteArray, arrival);
    QFETCH(QByteArray, powerTail);
    QFETCH(int, endings);
    TestHome home;
    enableLoginEnding();
    AgentTestConsole console;
    AgentProcess agent;
    agent.setPowerTail(powerTail);
    QVERIFY(startConnected(console, agent));
    console.send(Proto::SetTime + Proto::StartSession);
    QVERIFY(agent.waitState(QStringLiteral("sessionWindow"), true));
    if (restart) {
        agent.kill();
        QFile::remove(agent.stateFile());
        QVERIFY(agent.start());
        QVERIFY(agent.waitState(QStringLiteral("keysLocked"), true));
        QTRY_COMPARE_WITH_TIMEOUT(console.connections(), 2, 10000);
    }
    if (freedFirst) {
        console.send(Proto::Unlock);
        QVERIFY(agent.waitState(QStringLiteral("sessionWindow"), false));
    }
    QCOMPARE(agent.loginEndings(), QString());

    console.send(arrival);
    QVERIFY(agent.waitState(QStringLiteral("lockScreenVisible"), true));
    if (!powerTail.isEmpty()) {
        QVERIFY(agent.waitState(QStringLiteral("powerFailed"), true));
    }
    if (endings > 0) {
        QTRY_VERIFY_WITH_TIMEOUT(!agent.loginEndings().isEmpty(), 5000);
    }
    QTest::qWait(300);
    const QString ended = agent.loginEndings();
    QCOMPARE(ended.isEmpty() ? 0 : int(ended.count(QLatin1Char('\n'))) + 1, endings);
    QCOMPARE(agent.state().value(QStringLiteral("keysLocked")).toBool(), true);
}

void TstAgentProcess::secondStartEndsSilently()
{
    TestHome home;
    AgentTestConsole console;
    AgentProcess agent;
    QVERIFY(startConnected(console, agent));
    AgentProcess second;
    QVERIFY(second.start());
    QVERIFY(second.process().state() == QProcess::NotRunning ||
            second.process().waitForFinished(10000));
    QCOMPARE(second.process().exitCode(), 0);
    QTest::qWait(300);
    QCOMPARE(console.connections(), 1);
    QCOMPARE(agent.process().state(), QProcess::Running);
}

QTEST_GUILESS_MAIN(TstAgentProcess)
#include "tst_agentprocess.moc"
