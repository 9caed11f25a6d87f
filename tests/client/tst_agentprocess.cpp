// SPDX-License-Identifier: Apache-2.0
// The real agent executable against a small test console on loopback.

#include "common/protocol.h"
#include "support/agentprocess.h"
#include "support/testhome.h"

#include <QDateTime>
#include <QTcpSocket>
#include <QtTest>

#include <memory>

using namespace Qt::StringLiterals;

class TstAgentProcess : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_console = std::make_unique<AgentTestConsole>();
        m_agent = std::make_unique<AgentProcess>();
    }
    void cleanup()
    {
        m_agent.reset();
        m_console.reset();
        m_home.reset();
    }

    void carriesOutCommands()
    {
        QVERIFY(startConnected());
        QVERIFY(agent().flag("lockScreenVisible"));
        QVERIFY(!agent().flag("sessionWindow"));
        QCOMPARE(agent().text("caption"), u"Vantiro Client 1.2"_s);

        // Options with password, then a refused password.
        console().send(Proto::ShowOptionsWithPassword);
        QVERIFY(agent().waitState(u"optionsVisible"_s, true));
        QVERIFY(agent().flag("passwordVisible"));
        console().send(Proto::ShowOptions);
        QVERIFY(agent().waitState(u"passwordVisible"_s, false));
        console().send(Proto::PasswordNotValid);
        QVERIFY(agent().waitState(u"caption"_s, u"Invalid Password, Please Re Enter Password"_s));
        QCOMPARE(agent().text("autologoff"), u"1"_s);

        // A session start in one arrival: time and limit stored before the window opens.
        console().send(Proto::SetTime + Proto::autologoutMinutes(45) + Proto::StartSession);
        QVERIFY(agent().waitState(u"sessionWindow"_s, true));
        QVERIFY(!agent().flag("keysLocked"));
        QVERIFY(!agent().flag("lockScreenLoaded"));
        QCOMPARE(agent().text("surfupto"), u"45"_s);
        QCOMPARE(agent().text("autologoff"), u"1"_s);
        const QDateTime login = QDateTime::fromString(agent().text("loginTime"),
                                                      QString::fromLatin1(Proto::DateTimeFormat));
        QVERIFY(qAbs(login.secsTo(QDateTime::currentDateTime())) < 10);

        // A transfer's start time replaces the login time; an empty one changes nothing.
        const QDateTime start = QDateTime::currentDateTime().addSecs(-3600);
        console().send(Proto::setDateTime(start));
        QVERIFY(agent().waitState(u"loginTime"_s, Proto::dateTimeText(start)));
        QCOMPARE(agent().text("surfupto"), u"0"_s);
        console().send(Proto::SetDateTime + Proto::SetDateTimeEnd + Proto::autologoutMinutes(30));
        QVERIFY(agent().waitState(u"surfupto"_s, u"30"_s));
        QCOMPARE(agent().text("loginTime"), Proto::dateTimeText(start));

        // End of session: locked again, options and password hidden.
        console().send(Proto::EndSession);
        QVERIFY(agent().waitState(u"sessionWindow"_s, false));
        QVERIFY(agent().flag("keysLocked"));
        QVERIFY(agent().flag("lockScreenVisible"));
        QVERIFY(!agent().flag("optionsVisible"));
        QVERIFY(!agent().flag("passwordVisible"));

        // Unlock together with a session start: unlocked, and no session window.
        console().send(Proto::Unlock + Proto::StartSession);
        QVERIFY(agent().waitState(u"keysLocked"_s, false));
        QVERIFY(!agent().flag("lockScreenLoaded"));
        QVERIFY(!agent().flag("sessionWindow"));

        // Lock reloads the lock screen; a message cut by the transport still arrives whole.
        const int loads = agent().number("lockScreenLoads");
        console().send("|LO");
        QTest::qWait(100);
        console().send("CK|");
        QVERIFY(agent().waitState(u"lockScreenLoads"_s, loads + 1));
        QVERIFY(agent().flag("keysLocked"));
        // The agent answered nothing but its name.
        QCOMPARE(console().received(), QByteArray("|CNAME`|PC-07|<endname|"));
    }

    void powerCommands_data()
    {
        QTest::addColumn<QByteArray>("arrival");
        QTest::addColumn<QString>("call");
        QTest::newRow("shutdown") << (Proto::EndSession + Proto::Shutdown) << u"poweroff"_s;
        QTest::newRow("reboot") << Proto::Reboot << u"reboot"_s;
        QTest::newRow("shutdown before lock") << (Proto::Lock + Proto::Shutdown) << u"poweroff"_s;
    }
    void powerCommands()
    {
        QFETCH(QByteArray, arrival);
        QFETCH(QString, call);
        QVERIFY(startConnected());
        const int loads = agent().number("lockScreenLoads");
        console().send(arrival);
        QTRY_COMPARE_WITH_TIMEOUT(agent().powerCalls(), call, 5000);
        // Nothing else of that arrival was handled.
        QCOMPARE(agent().number("lockScreenLoads"), loads);
    }

    void automaticLogoutAndWarning()
    {
        QVERIFY(startConnected());
        console().clearReceived();
        // 25 minutes into a 30-minute session: the warning shows 5 minutes left.
        QDateTime start = QDateTime::currentDateTime().addSecs(-25 * 60 - 5);
        console().send(Proto::setDateTime(start) + Proto::autologoutMinutes(30) +
                       Proto::StartSession);
        QVERIFY(agent().waitState(u"warning"_s, true, 5000));
        QCOMPARE(agent().number("warningMinutes"), 5);
        QVERIFY(!console().received().contains(Proto::Autologout));

        // Past the limit: the request repeats every second until the console ends the session.
        start = QDateTime::currentDateTime().addSecs(-31 * 60);
        console().send(Proto::setDateTime(start) + Proto::autologoutMinutes(30));
        QVERIFY(console().waitFor(Proto::Autologout + Proto::Autologout, 5000));
        console().send(Proto::EndSession);
        QVERIFY(agent().waitState(u"sessionWindow"_s, false));
        QTest::qWait(300);
        const int sent = console().count(Proto::Autologout);
        QTest::qWait(2200);
        QCOMPARE(console().count(Proto::Autologout), sent);
    }

    void wakeConnectionSendsTesting()
    {
        QVERIFY(startConnected());
        const int port = agent().number("wakePort");
        QVERIFY(port > 0);
        QTcpSocket wake;
        wake.connectToHost(QHostAddress::LocalHost, quint16(port));
        QVERIFY(wake.waitForConnected(3000));
        QVERIFY(console().waitFor(Proto::Testing));
    }

    void reconnectsAfterConsoleRestart()
    {
        QVERIFY(startConnected());
        console().send(Proto::SetTime + Proto::StartSession);
        QVERIFY(agent().waitState(u"sessionWindow"_s, true));

        const quint16 port = console().port();
        console().stop();
        // The session window closes; the lock screen is not shown, it only carries the text.
        QVERIFY(agent().waitState(u"linkUp"_s, false));
        QVERIFY(!agent().flag("sessionWindow"));
        QVERIFY(!agent().flag("lockScreenVisible"));
        QVERIFY(agent().text("caption").startsWith(u"Server Connection Broken"_s));

        // A few refused attempts, then the console is back.
        QTest::qWait(2500);
        QVERIFY(console().listen(port));
        // The paced retries reach it within their 5 s ceiling, with room for a loaded machine.
        QVERIFY(console().waitForAgent(15000));
        QVERIFY(agent().waitState(u"linkUp"_s, true));
        console().send(Proto::StartSession + Proto::CName);
        QVERIFY(console().waitFor(Proto::CNameReplyEnd));
        QVERIFY(agent().waitState(u"sessionWindow"_s, true));
        QCOMPARE(agent().text("caption"), u"Vantiro Client 1.2"_s);
        // One new connection, not a burst of them.
        QCOMPARE(console().connections(), 2);
    }

    void firstStartRefusalIsReportedWithoutRetry()
    {
        // A port nobody listens on yet; the agent has never been connected.
        QVERIFY(console().listen());
        const quint16 port = console().port();
        console().stop();
        AgentProcess::seedServer(u"127.0.0.1"_s, port, u"PC-07"_s, false);
        QVERIFY(agent().start());
        QVERIFY(agent().waitState(u"lastMessage"_s,
                                  u"Vantiro Server is Not Running \r\n  Tips - Run the Vantiro "
                                  "Server in Server & Try with IP Address shown in Terminal List "
                                  "first Row"_s,
                                  8000));
        QVERIFY(console().listen(port));
        QTest::qWait(3000);
        QCOMPARE(console().connections(), 0);
    }

    void endsInOrderOnTerminationDuringSession()
    {
        QVERIFY(startConnected());
        console().send(Proto::SetTime + Proto::StartSession);
        QVERIFY(agent().waitState(u"sessionWindow"_s, true));
        // The session window refuses the customer's close, but not the program's own end.
        agent().process().terminate();
        QVERIFY(agent().process().state() == QProcess::NotRunning ||
                agent().process().waitForFinished(5000));
        QCOMPARE(agent().process().exitStatus(), QProcess::NormalExit);
        QCOMPARE(agent().process().exitCode(), 0);
    }

    void killedAgentComesBackLockedAndIsResumed()
    {
        AgentProcess::enableLoginEnding();
        QVERIFY(startConnected());
        const QDateTime start = QDateTime::currentDateTime().addSecs(-600);
        QVERIFY(killAndRestartInSession(Proto::setDateTime(start)));
        // Locked from the start, before the console has said anything.
        QVERIFY(agent().flag("lockScreenVisible"));
        QVERIFY(!agent().flag("sessionWindow"));
        // The console re-attaches the running session; its time counts from the stored start.
        console().send(Proto::StartSession);
        QVERIFY(agent().waitState(u"sessionWindow"_s, true));
        QVERIFY(!agent().flag("keysLocked"));
        QCOMPARE(agent().text("loginTime"), Proto::dateTimeText(start));
        // The customer's login goes on with the session.
        QCOMPARE(agent().loginEndings(), QString());
    }

    void sessionOverEndsTheLogin_data()
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
        // Locked for the shutdown, which the system then refused after taking its time: the
        // workstation stays on, locked, and the agent answers meanwhile.
        QTest::newRow("slow shutdown refused")
            << false << false << Proto::Shutdown << QByteArray("sleep 5\nexit 7\n") << 1;
        // Freed by the console without a session: whoever uses it now is not ended later.
        QTest::newRow("freed, then locked") << false << true << Proto::Lock << QByteArray() << 0;
    }
    void sessionOverEndsTheLogin()
    {
        QFETCH(bool, restart);
        QFETCH(bool, freedFirst);
        QFETCH(QByteArray, arrival);
        QFETCH(QByteArray, powerTail);
        QFETCH(int, endings);
        AgentProcess::enableLoginEnding();
        agent().setPowerTail(powerTail);
        QVERIFY(startConnected());
        if (restart) {
            QVERIFY(killAndRestartInSession({}));
        } else {
            console().send(Proto::SetTime + Proto::StartSession);
            QVERIFY(agent().waitState(u"sessionWindow"_s, true));
        }
        if (freedFirst) {
            console().send(Proto::Unlock);
            QVERIFY(agent().waitState(u"sessionWindow"_s, false));
        }
        QCOMPARE(agent().loginEndings(), QString());

        console().send(arrival);
        QVERIFY(agent().waitState(u"lockScreenVisible"_s, true));
        if (!powerTail.isEmpty()) {
            QTRY_COMPARE_WITH_TIMEOUT(agent().powerCalls(), u"poweroff"_s, 5000);
            QVERIFY(!agent().flag("sessionWindow"));
            QVERIFY(agent().flag("keysLocked"));
            console().clearReceived();
            console().send(Proto::CName);
            QVERIFY(console().waitFor(Proto::CNameReplyEnd, 3000));
            QVERIFY(m_home->errorLog().isEmpty());
            // It failed: written to the error log, and the workstation stays locked.
            QVERIFY(agent().waitState(u"powerFailed"_s, true, 15000));
            QVERIFY(m_home->errorLog().contains(u"Calling Form: Power\r\n"_s));
            QVERIFY(m_home->errorLog().contains(u"Error Number: 7\r\n"_s));
            QVERIFY(agent().flag("lockScreenVisible"));
        }
        if (endings > 0) {
            QTRY_VERIFY_WITH_TIMEOUT(!agent().loginEndings().isEmpty(), 5000);
        }
        QTest::qWait(300);
        const QString ended = agent().loginEndings();
        QCOMPARE(ended.isEmpty() ? 0 : int(ended.count(u'\n')) + 1, endings);
        QVERIFY(agent().flag("keysLocked"));
    }

    void secondStartEndsSilently()
    {
        QVERIFY(startConnected());
        AgentProcess second;
        QVERIFY(second.start());
        QVERIFY(second.process().state() == QProcess::NotRunning ||
                second.process().waitForFinished(10000));
        QCOMPARE(second.process().exitCode(), 0);
        QTest::qWait(300);
        QCOMPARE(console().connections(), 1);
        QCOMPARE(agent().process().state(), QProcess::Running);
    }

private:
    AgentTestConsole& console() { return *m_console; }
    AgentProcess& agent() { return *m_agent; }

    // Starts the agent against the console and waits for its name reply.
    bool startConnected()
    {
        if (!console().listen()) {
            return false;
        }
        AgentProcess::seedServer(u"127.0.0.1"_s, console().port(), u"PC-07"_s, true);
        if (!agent().start() || !console().waitForAgent()) {
            return false;
        }
        console().send(Proto::Lock + Proto::CName);
        return console().waitFor(Proto::CNameReplyEnd) && agent().waitState(u"keysLocked"_s, true);
    }
    // In a session started with `first`, the agent is killed and started again: back locked
    // and connected again.
    bool killAndRestartInSession(const QByteArray& first)
    {
        console().send(first + Proto::StartSession);
        if (!agent().waitState(u"sessionWindow"_s, true)) {
            return false;
        }
        agent().kill();
        QFile::remove(agent().stateFile());
        return agent().start() && agent().waitState(u"keysLocked"_s, true) &&
               QTest::qWaitFor([this] { return console().connections() == 2; }, 10000);
    }

    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<AgentTestConsole> m_console;
    std::unique_ptr<AgentProcess> m_agent;
};

QTEST_GUILESS_MAIN(TstAgentProcess)
#include "tst_agentprocess.moc"
