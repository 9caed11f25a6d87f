// SPDX-License-Identifier: Apache-2.0
// The agent's controller in process: the connection rules, the lock-screen rules and the
// command interpreter's order, over a real loopback socket to a test console.

#include "client/core/agentcontroller.h"
#include "client/core/connectionrules.h"
#include "common/clock.h"
#include "common/protocol.h"
#include "support/agentfixture.h"
#include "support/agentprocess.h"
#include "support/datarow.h"
#include "support/scriptedprompt.h"

#include <QHostInfo>
#include <QTcpSocket>
#include <QtTest>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

class TstAgentController : public QObject, public AgentFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { keepPowerOff(); }
    void init()
    {
        openAgentHome();
        m_console = std::make_unique<AgentTestConsole>();
    }
    void cleanup()
    {
        m_console.reset();
        closeAgentHome();
    }

    void ipAddressRule_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<bool>("valid");
        dataRow("top of range", u"239.255.255.255"_s, true);
        dataRow("first part 240", u"240.1.1.1"_s, false);
        dataRow("three parts", u"10.0.5"_s, false);
        dataRow("letters", u"10.a.0.5"_s, false);
        dataRow("huge part", u"10.99999999999.0.5"_s, false);
    }
    void ipAddressRule()
    {
        QFETCH(QString, text);
        QFETCH(bool, valid);
        QCOMPARE(ConnectionRules::IsValidIPAddress(text), valid);
    }

    void reconnectPacing()
    {
        QList<int> delays;
        for (int i = 0; i < 8; ++i) {
            delays.append(AgentController::reconnectDelayMs(i));
        }
        QCOMPARE(delays, (QList<int>{0, 500, 1000, 2000, 4000, 5000, 5000, 5000}));
    }

    void nameReplyFallsBackToHostName()
    {
        m_settings->write(RegKey::Server, u"Server"_s, u"127.0.0.1"_s);
        AgentController c(*m_settings);
        QCOMPARE(c.fieldName(), QHostInfo::localHostName());
        AgentTestConsole console;
        QVERIFY(console.listen());
        c.setFields(u"127.0.0.1"_s, c.fieldName(), QString::number(console.port()));
        c.connectStored();
        QVERIFY(console.waitForAgent());
        console.send(Proto::Lock + Proto::CName);
        QVERIFY(console.waitFor(Proto::CNameReplyEnd));
        QCOMPARE(console.received(), Proto::cnameReply(QHostInfo::localHostName()));
        // The connection stored what was used.
        QCOMPARE(m_settings->cname(), QHostInfo::localHostName());
        QVERIFY(m_settings->everConnected());
    }

    void passwordCheckKeepsTheLock()
    {
        auto c = lockedAndConnected();
        QVERIFY(c);
        c->handleArrival(Proto::ShowOptionsWithPassword);
        // An empty password is asked for: nothing stored, nothing sent.
        QSignalSpy focus(c.get(), &AgentController::focusPassword);
        QCOMPARE(c->login(u"30"_s, true, QString()), AgentController::LoginResult::FocusPassword);
        QCOMPARE(c->state().caption, u"Please enter Password. Password can't be empty !"_s);
        QCOMPARE(focus.count(), 1);
        QVERIFY(c->state().keysLocked);
        QCOMPARE(m_settings->surfuptoText(), SettingsStore::Error);
        QTest::qWait(200);
        QCOMPARE(console().received(), QByteArray());

        // Only blanks are a password to check.
        QCOMPARE(c->login(QString(), false, u"   "_s),
                 AgentController::LoginResult::CheckingPassword);
        QVERIFY(console().waitFor(Proto::CheckPasswordEnd));
        QCOMPARE(console().received(), QByteArray("|CHECK_PASSWORD|<PSW"));
        // Shown and locked while the console checks, the panel out of the way.
        QVERIFY(c->state().lockScreenVisible);
        QVERIFY(c->state().keysLocked);
        QVERIFY(c->state().checkingPassword);
        QVERIFY(!c->state().optionsVisible);
        QCOMPARE(c->state().caption, AgentController::CheckingPasswordText);

        // Blanks around a password go, blanks inside stay.
        console().clearReceived();
        c->handleArrival(Proto::PasswordNotValid);
        QVERIFY(c->state().passwordVisible);
        c->login(QString(), false, u"  se cret "_s);
        QVERIFY(console().waitFor(Proto::CheckPasswordEnd));
        QCOMPARE(console().received(), QByteArray("|CHECK_PASSWORD|se cret<PSW"));

        // The link drops before an answer: the panel comes back, still locked.
        console().stop();
        QTRY_VERIFY(!c->state().linkUp);
        QVERIFY(!c->state().checkingPassword);
        QVERIFY(c->state().optionsVisible);
        // Nothing can be sent now: the customer is told at once and the lock holds.
        QCOMPARE(c->login(QString(), false, u"again"_s),
                 AgentController::LoginResult::FocusPassword);
        QCOMPARE(c->state().caption, AgentController::NoAnswerText);
        QVERIFY(c->state().lockScreenVisible);
        QVERIFY(c->state().keysLocked);
    }

    void localLoginWithoutPassword()
    {
        m_settings->write(RegKey::AgentOptions, u"weburl"_s, u"http://cafe.example/"_s);
        auto c = lockedAndConnected();
        QVERIFY(c);
        c->handleArrival(Proto::ShowOptions);
        QVERIFY(!c->state().passwordVisible);
        QSignalSpy web(c.get(), &AgentController::openWebAddress);
        QCOMPARE(c->login(u"40"_s, false, QString()),
                 AgentController::LoginResult::LoggedInLocally);
        // Unlocked at once, without waiting for the console.
        QVERIFY(!c->state().keysLocked);
        QVERIFY(!c->state().lockScreenLoaded);
        QVERIFY(c->state().sessionWindowLoaded);
        QVERIFY(c->clock().isRunning());
        QCOMPARE(web.count(), 1);
        QCOMPARE(web.first().first().toString(), u"http://cafe.example/"_s);
        QVERIFY(console().waitFor(Proto::SendTime));
        QCOMPARE(console().received(), Proto::SendTime);
        QCOMPARE(m_settings->surfuptoText(), u"40"_s);
        QCOMPARE(m_settings->autologoffText(), u"0"_s);
    }

    void autoLogoffNeedsSurfTime()
    {
        AgentController c(*m_settings);
        c.startLocked();
        c.handleArrival(Proto::ShowOptions);
        QSignalSpy focus(&c, &AgentController::focusSurfTime);
        QVERIFY(!c.autoLogoffTicked(QString()));
        QCOMPARE(c.state().caption, u"Please enter The Surfing Time"_s);
        QCOMPARE(focus.count(), 1);
        QVERIFY(c.autoLogoffTicked(u"20"_s));
        // A login with the time left empty keeps the stored one.
        m_settings->setSurfupto(u"55"_s);
        c.login(QString(), true, QString());
        QCOMPARE(m_settings->surfuptoText(), u"55"_s);
        QCOMPARE(m_settings->autologoffText(), u"1"_s);
    }

    void interpreterOrder_data()
    {
        QTest::addColumn<QByteArray>("arrival");
        QTest::addColumn<bool>("session");
        QTest::addColumn<bool>("keysLocked");
        QTest::addColumn<bool>("lockVisible");
        QTest::addColumn<QString>("power");
        QTest::addColumn<QString>("limits"); // surf-up-to minutes, auto log off

        const QString none;
        // Locked before the power request, which may be refused or take its time.
        dataRow("end session and shutdown", (Proto::EndSession + Proto::Shutdown), false, true,
                true, u"shutdown"_s, u"45 1"_s);
        dataRow("reboot", Proto::Reboot, false, true, true, u"reboot"_s, u"45 1"_s);
        dataRow("unlock and start session", (Proto::StartSession + Proto::Unlock), false, false,
                false, none, u"45 1"_s);
        dataRow("limit 0 turns logout off", Proto::autologoutMinutes(0), true, false, false, none,
                u"45 0"_s);
        dataRow("empty start time changes nothing", (Proto::SetDateTime + Proto::SetDateTimeEnd),
                true, false, false, none, u"45 1"_s);
        dataRow("set time then end", (Proto::EndSession + Proto::SetTime), false, true, true, none,
                u"0 0"_s);
        dataRow("options shown hold the keys", Proto::ShowOptions, false, true, true, none,
                u"45 1"_s);
        dataRow("garbage ignored", QByteArray("hello |NOPE| world"), true, false, false, none,
                u"45 1"_s);
    }
    void interpreterOrder()
    {
        QFETCH(QByteArray, arrival);
        QFETCH(bool, session);
        QFETCH(bool, keysLocked);
        QFETCH(bool, lockVisible);
        QFETCH(QString, power);
        QFETCH(QString, limits);

        AgentController c(*m_settings);
        c.startLocked();
        // A running session with a 45-minute limit.
        c.handleArrival(Proto::SetTime + Proto::autologoutMinutes(45) + Proto::StartSession);
        QVERIFY(!c.state().keysLocked);

        c.handleArrival(arrival);
        QCOMPARE(c.state().sessionWindowLoaded, session);
        QCOMPARE(c.state().keysLocked, keysLocked);
        QCOMPARE(c.state().lockScreenVisible, lockVisible);
        QCOMPARE(c.state().lastPowerAction, power);
        QCOMPARE(m_settings->surfuptoText() + u' ' + m_settings->autologoffText(), limits);
    }

    void prepaidLoginChecksFields_data()
    {
        QTest::addColumn<bool>("member");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("caption");

        const QString none;
        const QString longest(Proto::MaxCredentialLength, u'K');
        dataRow("no code", false, u"   "_s, none, AgentController::EnterCodeText);
        dataRow("no member id", true, none, u"pw"_s, AgentController::EnterMemberText);
        dataRow("code too long", false, longest + u'K', none, AgentController::TooLongText);
        dataRow("password too long", true, u"M-001"_s, longest + u'x',
                AgentController::TooLongText);
        dataRow("longest code", false, longest, none, AgentController::CheckingText);
        dataRow("member", true, u" M-001 "_s, u" pw "_s, AgentController::CheckingText);
    }
    void prepaidLoginChecksFields()
    {
        QFETCH(bool, member);
        QFETCH(QString, id);
        QFETCH(QString, password);
        QFETCH(QString, caption);

        auto c = lockedAndConnected();
        QVERIFY(c);
        using Kind = Proto::PrepaidCredentials::Kind;
        const Proto::PrepaidCredentials typed{member ? Kind::Member : Kind::Ticket, id, password};
        const bool sent = caption == AgentController::CheckingText;
        QCOMPARE(c->prepaidLogin(typed), sent);
        QCOMPARE(c->state().caption, caption);
        QCOMPARE(c->state().checkingPrepaid, sent);
        QVERIFY(c->state().keysLocked);
        // The id goes without the blanks around it; a password goes as typed.
        Proto::PrepaidCredentials expected = typed;
        expected.id = id.trimmed();
        const QByteArray wire = sent ? Proto::prepaidLogin(expected) : QByteArray();
        if (sent) {
            QVERIFY(console().waitFor(Proto::PrepaidLoginEnd));
            // A second press while the console checks sends nothing more.
            QVERIFY(!c->prepaidLogin(typed));
        }
        QTest::qWait(200);
        QCOMPARE(console().received(), wire);
    }

    void prepaidAnswers_data()
    {
        QTest::addColumn<QByteArrayList>("arrivals");
        QTest::addColumn<bool>("session");
        QTest::addColumn<bool>("prepaid");
        QTest::addColumn<QString>("caption");
        QTest::addColumn<qint64>("seconds");

        const QByteArray time = Proto::prepaidTime({600, u"12.50"_s});
        const QByteArray start = Proto::StartSession;
        const QString held; // the caption is not looked at
        const QString checking = AgentController::CheckingText;
        dataRow("time with start", QByteArrayList{time + start}, true, true, held, qint64(600));
        dataRow("time alone keeps the lock", QByteArrayList{time}, false, false, checking,
                qint64(0));
        dataRow("time and start cut apart", QByteArrayList{time, start}, true, true, held,
                qint64(600));
        dataRow("lock between time and start", QByteArrayList{time, Proto::Lock, start}, true,
                false, held, qint64(0));
        dataRow("set time between time and start", QByteArrayList{time, Proto::SetTime + start},
                true, false, held, qint64(0));
        dataRow("start alone is paid at the end", QByteArrayList{start}, true, false, held,
                qint64(0));
        dataRow("refused, shown as written",
                QByteArrayList{Proto::prepaidRefused(u"<b>Not</b> accepted."_s)}, false, false,
                u"<b>Not</b> accepted."_s, qint64(0));
        dataRow("late refusal in a session",
                QByteArrayList{time + start, Proto::prepaidRefused(u"No."_s)}, true, true, held,
                qint64(600));
        dataRow("unreadable time",
                QByteArrayList{Proto::PrepaidTime + "soon" + Proto::PrepaidTimeEnd + start}, true,
                false, held, qint64(0));
    }
    void prepaidAnswers()
    {
        QFETCH(QByteArrayList, arrivals);
        QFETCH(bool, session);
        QFETCH(bool, prepaid);
        QFETCH(QString, caption);
        QFETCH(qint64, seconds);

        auto c = lockedAndConnected();
        QVERIFY(c);
        QVERIFY(c->prepaidLogin(
            {Proto::PrepaidCredentials::Kind::Ticket, u"ACDE-FGHJ-KLMN"_s, QString()}));
        QVERIFY(console().waitFor(Proto::PrepaidLoginEnd));
        console().clearReceived();
        for (const QByteArray& a : arrivals) {
            c->handleArrival(a);
        }
        const AgentState& s = c->state();
        QCOMPARE(s.sessionWindowLoaded, session);
        QCOMPARE(s.keysLocked, !session);
        QCOMPARE(s.prepaid, prepaid);
        QCOMPARE(s.checkingPrepaid, caption == AgentController::CheckingText);
        if (!caption.isNull()) {
            QCOMPARE(s.caption, caption);
        }
        QVERIFY2(s.prepaidSecondsLeft <= seconds && s.prepaidSecondsLeft > seconds - 5,
                 qPrintable(QString::number(s.prepaidSecondsLeft)));

        // Log off, pressed twice: one word to the console and the lock at once; a session paid
        // at the end has no log off.
        c->prepaidLogoff();
        c->prepaidLogoff();
        QCOMPARE(s.keysLocked, prepaid || !session);
        QCOMPARE(s.sessionWindowLoaded, session && !prepaid);
        QCOMPARE(s.prepaidLogoffsSent, prepaid ? 1 : 0);
        QTest::qWait(200);
        QCOMPARE(console().received(), prepaid ? Proto::PrepaidLogoff : QByteArray());
    }

    void prepaidCountdown()
    {
        auto c = lockedAndConnected();
        QVERIFY(c);
        // An earlier session's limit must not log this one out.
        m_settings->setAutologoff(true);
        m_settings->setSurfupto(u"1"_s);
        c->handleArrival(Proto::prepaidTime({300, u"5.00"_s}) + Proto::StartSession);
        QCOMPARE(c->prepaidTimeText(), u"0:05:00"_s);
        // The last ten minutes warn once a minute.
        c->prepaidTick();
        c->prepaidTick();
        QCOMPARE(c->state().warningsShown, 1);
        QCOMPARE(c->state().warningMinutes, qint64(5));
        // Credit added beyond them takes the warning away.
        c->handleArrival(Proto::prepaidTime({1200, u"20.00"_s}));
        QVERIFY(!c->state().warningLoaded);

        // At zero the agent locks by itself and tells the console.
        c->handleArrival(Proto::prepaidTime({2, u"0.10"_s}));
        QTRY_VERIFY(c->state().keysLocked);
        QVERIFY(console().waitFor(Proto::PrepaidLogoff));
        QCOMPARE(c->state().prepaidLogoffsSent, 1);
        c->handleArrival(Proto::EndSession); // the console's end answers it

        // The same with the cable pulled: the countdown goes on without the console.
        c->handleArrival(Proto::prepaidTime({2, u"0.10"_s}) + Proto::StartSession);
        console().stop();
        QTRY_VERIFY(!c->state().linkUp);
        QVERIFY(c->state().prepaid);
        QVERIFY(!c->state().keysLocked);
        QTRY_VERIFY(c->state().keysLocked);
        QVERIFY(c->state().lockScreenVisible);
        QVERIFY(!c->state().sessionWindowLoaded);
        QVERIFY(!c->state().prepaid);
        QCOMPARE(c->state().autologoutsSent, 0);
    }

    void logoffOwedUntilTheConsoleEnds_data()
    {
        QTest::addColumn<bool>("restart");
        QTest::addColumn<bool>("login");
        QTest::addColumn<QByteArray>("arrival");
        QTest::addColumn<bool>("unlocks");
        const QByteArray resume = Proto::prepaidTime({600, u"5.00"_s}) + Proto::StartSession;
        dataRow("resumed when the link is back", false, false, resume, false);
        dataRow("resumed after an agent restart", true, false, resume, false);
        dataRow("a new login after the log off", false, true, resume, true);
        dataRow("a session paid at the end", false, false, QByteArray(Proto::StartSession), true);
    }
    void logoffOwedUntilTheConsoleEnds()
    {
        QFETCH(bool, restart);
        QFETCH(bool, login);
        QFETCH(QByteArray, arrival);
        QFETCH(bool, unlocks);

        auto c = lockedAndConnected();
        QVERIFY(c);
        c->handleArrival(Proto::prepaidTime({600, u"5.00"_s}) + Proto::StartSession);
        // Log off with the cable pulled: the console does not hear it.
        console().stop();
        QTRY_VERIFY(!c->state().linkUp);
        c->prepaidLogoff();
        QVERIFY(c->state().keysLocked);
        if (restart) {
            c = std::make_unique<AgentController>(*m_settings);
            c->startLocked();
        }
        QVERIFY(connectTo(*c, console()));
        QVERIFY(console().waitFor(Proto::PrepaidLogoff));
        if (login) {
            QVERIFY(
                c->prepaidLogin({Proto::PrepaidCredentials::Kind::Ticket, u"ACDE"_s, QString()}));
            QVERIFY(console().waitFor(Proto::PrepaidLoginEnd));
        }
        c->handleArrival(arrival);
        QCOMPARE(c->state().keysLocked, !unlocks);
        QCOMPARE(c->state().sessionWindowLoaded, unlocks);
        QTest::qWait(200);
        QCOMPARE(console().count(Proto::PrepaidLogoff), 1);
        // The console's lock answers the log off: its next resume is a session of its own.
        c->handleArrival(Proto::Lock);
        c->handleArrival(Proto::prepaidTime({600, u"5.00"_s}) + Proto::StartSession);
        QVERIFY(c->state().prepaid);
    }

    void prepaidCheckEndsWithTheLink()
    {
        auto c = lockedAndConnected();
        QVERIFY(c);
        const Proto::PrepaidCredentials typed{Proto::PrepaidCredentials::Kind::Member, u"M-001"_s,
                                              u"pw"_s};
        QVERIFY(c->prepaidLogin(typed));
        c->handleArrival(Proto::prepaidTime({600, u"5.00"_s}));
        console().stop();
        QTRY_VERIFY(!c->state().linkUp);
        QVERIFY(!c->state().checkingPrepaid);
        QVERIFY(c->state().keysLocked);
        // A start from the console the agent finds again is not taken for the earlier login.
        QVERIFY(console().listen(console().port()) || console().listen());
        c->connectToServer(u"127.0.0.1"_s);
        QTRY_VERIFY(c->state().linkUp);
        c->handleArrival(Proto::StartSession);
        QVERIFY(!c->state().prepaid);
        // Nothing is sent while the link is down: said at once, the lock holds.
        console().stop();
        QTRY_VERIFY(!c->state().linkUp);
        c->handleArrival(Proto::Lock);
        QVERIFY(!c->prepaidLogin(typed));
        QCOMPARE(c->state().caption, AgentController::NoAnswerText);
        QVERIFY(c->state().keysLocked);
    }

    void unlockHidesDialog()
    {
        AgentController c(*m_settings);
        c.showDialogForReconnect();
        QVERIFY(c.state().dialogVisible);
        c.handleArrival(Proto::Unlock);
        QVERIFY(!c.state().dialogVisible);
    }

    void invalidAddressIsRefused()
    {
        ScriptedPrompt prompt;
        AgentController c(*m_settings);
        c.setFields(u"192.168.1.300"_s, u"PC-1"_s, u"2701"_s);
        QVERIFY(!c.connectPressed());
        QCOMPARE(c.state().status, u"Invalid IP Address"_s);
        QVERIFY(prompt.asked().isEmpty());

        // A port that cannot be used is a set-up failure: reported while never connected.
        c.setFields(u"10.0.0.5"_s, u"PC-1"_s, u"99999"_s);
        QVERIFY(c.connectPressed());
        QCOMPARE(prompt.lastText(), u"Unable to connect to Vantiro server"_s);
        QCOMPARE(prompt.asked().last().title, u"Try Again"_s);
        QVERIFY(!c.reconnectPending());
        QVERIFY(!AgentSettings::isSet(m_settings->server()));
    }

    void busyWakePortDoesNotStopStart()
    {
        QTcpServer busy;
        QVERIFY(busy.listen(QHostAddress::Any, 0));
        qputenv("VANTIROKIT_WAKE_PORT", QByteArray::number(busy.serverPort()));
        AgentController c(*m_settings);
        c.startLocked();
        qputenv("VANTIROKIT_WAKE_PORT", "0");
        QCOMPARE(c.state().wakePort, quint16(0));
        QVERIFY(c.state().lockScreenVisible);
        QVERIFY(c.state().keysLocked);
        QVERIFY(m_home->errorLog().contains(u"Calling Form: TCPCONNECTION"_s));
    }

    void cutValueWaitsForItsEnd()
    {
        AgentController c(*m_settings);
        c.startLocked();
        c.handleArrival(Proto::SetTime + Proto::AutologoutMin + "4");
        QCOMPARE(m_settings->surfuptoText(), u"0"_s);
        c.handleArrival("5" + Proto::AutologoutMinEnd + Proto::StartSession);
        QCOMPARE(m_settings->surfuptoText(), u"45"_s);
        QCOMPARE(m_settings->autologoffText(), u"1"_s);
        QVERIFY(c.state().sessionWindowLoaded);
        QVERIFY(m_home->errorLog().isEmpty());
    }

    void unansweredConnectIsRetried()
    {
        // A listener whose queue is full: the kernel drops further connection requests unanswered.
        const int fd = ::socket(AF_INET, SOCK_STREAM, 0);
        QVERIFY(fd >= 0);
        sockaddr_in addr{};
        addr.sin_family = AF_INET;
        addr.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        QCOMPARE(::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0);
        QCOMPARE(::listen(fd, 0), 0);
        socklen_t len = sizeof addr;
        QCOMPARE(::getsockname(fd, reinterpret_cast<sockaddr*>(&addr), &len), 0);
        const quint16 port = ntohs(addr.sin_port);
        QList<QTcpSocket*> fillers;
        for (int i = 0; i < 3; ++i) {
            auto* f = new QTcpSocket(this);
            f->connectToHost(QHostAddress::LocalHost, port);
            fillers.append(f);
        }
        QTest::qWait(300);

        m_settings->storeConnection(u"127.0.0.1"_s, u"PC-1"_s, QString::number(port));
        AgentController c(*m_settings);
        c.connectStored();
        QTest::qWait(1000);
        QVERIFY(!c.state().linkUp);
        QVERIFY(!c.reconnectPending());
        QTRY_VERIFY_WITH_TIMEOUT(c.reconnectPending() ||
                                     c.state().caption.startsWith(u"Server Connection Broken"_s),
                                 AgentController::ConnectTimeoutMs + 2000);
        QCOMPARE(c.state().caption, u"Server Connection Broken, Wait connecting to Server..."_s);
        qDeleteAll(fillers);
        ::close(fd);
    }

private:
    AgentTestConsole& console() { return *m_console; }

    // A locked controller connected to the test console.
    std::unique_ptr<AgentController> lockedAndConnected()
    {
        auto c = std::make_unique<AgentController>(*m_settings);
        if (!connectTo(*c, console())) {
            return nullptr;
        }
        c->startLocked();
        return c;
    }

    // A controller connected to a console; both outlive the call.
    bool connectTo(AgentController& c, AgentTestConsole& console)
    {
        if (!console.listen()) {
            return false;
        }
        c.setFields(u"127.0.0.1"_s, u"PC-03"_s, QString::number(console.port()));
        c.connectToServer(u"127.0.0.1"_s);
        return console.waitForAgent() && QTest::qWaitFor([&] { return c.state().linkUp; }, 5000);
    }

    std::unique_ptr<AgentTestConsole> m_console;
};

QTEST_GUILESS_MAIN(TstAgentController)
#include "tst_agentcontroller.moc"
