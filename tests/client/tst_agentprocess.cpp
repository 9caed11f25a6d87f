// SPDX-License-Identifier: Apache-2.0
// The real agent executable against a small test console on loopback.

#include "common/protocol.h"
#include "support/agentprocess.h"
#include "support/testhome.h"

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

    void powerCommandEndsTheArrival()
    {
        QVERIFY(startConnected());
        const int loads = agent().number("lockScreenLoads");
        console().send(Proto::Lock + Proto::Shutdown);
        QTRY_COMPARE_WITH_TIMEOUT(agent().powerCalls(), u"poweroff"_s, 5000);
        // Nothing else of that arrival was handled.
        QCOMPARE(agent().number("lockScreenLoads"), loads);
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
            // It failed (the lock and the answers meanwhile are the X11 test's): the error log
            // has its number.
            QVERIFY(agent().waitState(u"powerFailed"_s, true, 15000));
            QVERIFY(m_home->errorLog().contains(u"Error Number: 7\r\n"_s));
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
