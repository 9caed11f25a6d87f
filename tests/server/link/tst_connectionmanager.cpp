// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "common/protocol.h"
#include "support/datarow.h"
#include "tests/server/link/fakeagent.h"
#include "tests/server/link/linkconsole.h"

#include <QDir>
#include <QTcpServer>
#include <QTest>

#include <sys/resource.h>

namespace {

int openFiles()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::System)
                   .size());
}

// Commits wait for the disk again (SQLite: synchronous FULL).
bool fullySynced(LinkConsole& c)
{
    return testOnPostgres() ? c.value(QStringLiteral("SHOW synchronous_commit")).toString() == "on"
                            : c.value(QStringLiteral("PRAGMA synchronous")).toInt() == 2;
}

} // namespace

class TstConnectionManager : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void newIdleAgentIsLockedListedAndRenamed();
    void reconnectWithSession_data();
    void reconnectWithSession();
    void automaticLogout_data();
    void automaticLogout();
    void passwordCheck_data();
    void passwordCheck();
    void awaitedPasswordIsAskedOnEveryReconnectUntilGiven();
    void droppedConnectionKeepsSession();
    void newestConnectionFromAnAddressWins_data();
    void newestConnectionFromAnAddressWins();
    void messageCutByTransportIsCompleted();
    void flappingAgentLeaksNothing();
    void wakeMakesAndClosesAConnectionNeverOneToTheConsolesOwnComputer();
    void openFilesLimitIsRaised();
};

void TstConnectionManager::newIdleAgentIsLockedListedAndRenamed()
{
    LinkConsole c;
    // What a list refreshing on the change would find: full syncing already back in force.
    QList<bool> levels;
    QObject::connect(&c.db, &Database::tableChanged, [&] { levels << fullySynced(c); });
    FakeAgent a;
    QVERIFY(a.greeted(QStringLiteral("127.0.0.2"), c.port(), Proto::CName));
    QCOMPARE(a.received, Proto::Lock + Proto::CName);
    QCOMPARE(c.onlineRows(), 1);
    const auto row = c.db.firstRow(QStringLiteral("SELECT name, ip, id FROM online"));
    QCOMPARE(row->value(0).toString(), QStringLiteral("127.0.0.2"));
    QCOMPARE(row->value(1).toString(), QStringLiteral("127.0.0.2"));
    QCOMPARE(row->value(2).toLongLong(), c.server.lastIndex());
    QCOMPARE(c.log, QStringList({QStringLiteral("Connection Request from127.0.0.2 IP -127.0.0.2"),
                                 QStringLiteral("Authentication Sucess."),
                                 QStringLiteral("Listening for client connection..")}));
    a.write(Proto::cnameReply(QStringLiteral("PC-07")));
    QTRY_COMPARE(c.value(QStringLiteral("SELECT name FROM online")).toString(),
                 QStringLiteral("PC-07"));
    QCOMPARE(c.onlineRows(), 1);
    // Connection bookkeeping is written without waiting for the disk, but bills written
    // afterwards are fully synced again.
    QVERIFY(fullySynced(c));
    a.socket.disconnectFromHost();
    QTRY_COMPARE(c.onlineRows(), 0);
    QVERIFY(fullySynced(c));
    QVERIFY(levels.size() >= 3);
    QCOMPARE(levels, QList<bool>(levels.size(), true));
}

void TstConnectionManager::reconnectWithSession_data()
{
    QTest::addColumn<int>("autologout");
    QTest::addColumn<int>("passwordWait");
    QTest::addColumn<QByteArray>("expected");
    dataRow("running session resumes", 0, 0, Proto::StartSession);
    dataRow("after automatic logout stays locked", 1, 0, Proto::Lock);
    dataRow("password never given, automatic logout", 1, 1, Proto::Lock);
}

void TstConnectionManager::reconnectWithSession()
{
    QFETCH(int, autologout);
    QFETCH(int, passwordWait);
    QFETCH(QByteArray, expected);
    LinkConsole c;
    c.addSession(QStringLiteral("127.0.0.3"), 5, autologout, 0, QString(), passwordWait);
    FakeAgent a;
    QVERIFY(a.connectFrom(QStringLiteral("127.0.0.3"), c.port()));
    // Nothing more: no name request, no online row.
    QCOMPARE(a.heard(expected), expected);
    QCOMPARE(c.onlineRows(), 0);
    QCOMPARE(c.value(QStringLiteral("SELECT cid FROM terminals")).toLongLong(),
             c.server.lastIndex());
    QVERIFY(c.server.lastIndex() != 5);
}

void TstConnectionManager::automaticLogout_data()
{
    QTest::addColumn<int>("logouttype");
    QTest::addColumn<QByteArray>("expected");
    QTest::addColumn<bool>("named"); // a name report arrives in the same read as the notice
    dataRow("0 ends the session", 0, Proto::EndSession, false);
    dataRow("2 shuts down", 2, Proto::Shutdown, false);
    dataRow("2 shuts down, named in the same arrival", 2, Proto::Shutdown, true);
    dataRow("3 restarts", 3, Proto::Reboot, false);
    dataRow("other sends nothing", 7, QByteArray(), false);
}

void TstConnectionManager::automaticLogout()
{
    QFETCH(int, logouttype);
    QFETCH(QByteArray, expected);
    QFETCH(bool, named);
    LinkConsole c;
    const QDateTime t(QDate(2026, 12, 6), QTime(11, 30, 0));
    Clock::setFixed(t);
    c.addSession(QStringLiteral("127.0.0.4"), 9, 0, logouttype);
    FakeAgent a;
    QVERIFY(a.greeted(QStringLiteral("127.0.0.4"), c.port(), Proto::StartSession));
    a.received.clear();
    QByteArray arrival = Proto::Autologout;
    if (named) {
        // The same connection also carries an online row, so both handlers show their effect.
        c.db.run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES ('x', '127.0.0.4', ?)"),
                 {c.server.lastIndex()});
        arrival.prepend(Proto::cnameReply(QStringLiteral("Ten")));
    }
    a.write(arrival);
    QTRY_COMPARE(c.value(QStringLiteral("SELECT AUTOLOGOUT FROM terminals")).toInt(), 1);
    QCOMPARE(c.value(QStringLiteral("SELECT send FROM terminals")).toString(),
             Database::timeText(t));
    QCOMPARE(a.heard(expected), expected);
    if (named) {
        QCOMPARE(c.value(QStringLiteral("SELECT name FROM online")).toString(),
                 QStringLiteral("Ten"));
    }
    // A repeated notice is answered again but does not move the end of the session.
    Clock::advance(600);
    a.received.clear();
    a.write(Proto::Autologout);
    QCOMPARE(a.heard(expected), expected);
    QCOMPARE(c.value(QStringLiteral("SELECT send FROM terminals")).toString(),
             Database::timeText(t));
    QCOMPARE(c.value(QStringLiteral("SELECT count(*) FROM terminals")).toInt(), 1);
    Clock::reset();
}

void TstConnectionManager::passwordCheck_data()
{
    QTest::addColumn<bool>("session");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QString>("sent");
    QTest::addColumn<QByteArray>("expected");
    dataRow("blanks around the stored one", true, "  secret  ", "secret", Proto::StartSession);
    dataRow("blanks in the sent one count", true, "secret", " secret", Proto::PasswordNotValid);
    dataRow("non-ASCII password", true, "pässwörd", "pässwörd", Proto::StartSession);
    dataRow("no session on the connection", false, "", "secret", Proto::PasswordNotValid);
}

void TstConnectionManager::passwordCheck()
{
    QFETCH(bool, session);
    QFETCH(QString, stored);
    QFETCH(QString, sent);
    QFETCH(QByteArray, expected);
    LinkConsole c;
    if (session) {
        c.addSession(QStringLiteral("127.0.0.5"), 1, 0, 1, stored);
    }
    FakeAgent a;
    QVERIFY(a.greeted(QStringLiteral("127.0.0.5"), c.port(),
                      session ? Proto::StartSession : Proto::CName));
    QCOMPARE(a.ask(Proto::checkPassword(sent)), expected);
}

void TstConnectionManager::awaitedPasswordIsAskedOnEveryReconnectUntilGiven()
{
    LinkConsole c;
    const QString ip = QStringLiteral("127.0.0.5");
    c.addSession(ip, 1, 0, 1, QStringLiteral("secret"), 1);
    // Each round the agent is killed and started again: until the password is given, every
    // new connection is asked for it; afterwards the session resumes as any other.
    for (const auto& [sent, answer] :
         {std::pair{"wrong", Proto::PasswordNotValid}, std::pair{"secret", Proto::StartSession}}) {
        FakeAgent a;
        QVERIFY(a.connectFrom(ip, c.port()));
        QCOMPARE(a.heard(Proto::ShowOptionsWithPassword), Proto::ShowOptionsWithPassword);
        QCOMPARE(a.ask(Proto::checkPassword(QString::fromLatin1(sent))), answer);
        QCOMPARE(c.value(QStringLiteral("SELECT passwordwait FROM terminals")).toInt(),
                 answer == Proto::StartSession ? 0 : 1);
        a.socket.abort();
        QTRY_COMPARE(c.server.connectionCount(), 0);
    }
    FakeAgent again;
    QVERIFY(again.connectFrom(ip, c.port()));
    QCOMPARE(again.heard(Proto::StartSession), Proto::StartSession);
}

void TstConnectionManager::droppedConnectionKeepsSession()
{
    LinkConsole c;
    c.addSession(QStringLiteral("127.0.0.6"), 3);
    FakeAgent busy;
    QVERIFY(busy.greeted(QStringLiteral("127.0.0.6"), c.port(), Proto::StartSession));
    const qint64 busyIndex = c.server.lastIndex();
    c.log.clear();
    busy.socket.abort();
    QTRY_COMPARE(c.server.connectionCount(), 0);
    QCOMPARE(c.value(QStringLiteral("SELECT count(*) FROM terminals")).toInt(), 1);
    QCOMPARE(c.value(QStringLiteral("SELECT cid FROM terminals")).toLongLong(), busyIndex);
    QCOMPARE(c.log.first(),
             QStringLiteral("Client Connection Closed, Client Name - PC-6 IP -127.0.0.6"));
}

void TstConnectionManager::newestConnectionFromAnAddressWins_data()
{
    QTest::addColumn<bool>("inSession");
    QTest::newRow("ready workstation") << false;
    QTest::newRow("workstation in session") << true;
}

void TstConnectionManager::newestConnectionFromAnAddressWins()
{
    QFETCH(bool, inSession);
    LinkConsole c;
    const QString ip = QStringLiteral("127.0.0.9");
    const QByteArray greeting = inSession ? Proto::StartSession : Proto::CName;
    const QString name = inSession ? QStringLiteral("PC-9") : QStringLiteral("Nine");
    FakeAgent agent;
    if (inSession) {
        c.addSession(ip, 99, 0, 1);
        QVERIFY(agent.greeted(ip, c.port(), greeting));
    } else {
        QVERIFY(c.join(agent, ip, name));
    }
    c.log.clear();

    // A second connection from the address: it is the one that is there now, and the older one
    // is closed, so nothing of the workstation is left on a connection no one answers for.
    FakeAgent second;
    QVERIFY(second.greeted(ip, c.port(), greeting));
    const qint64 secondIndex = c.server.lastIndex();
    QVERIFY(agent.closedByConsole());
    QTRY_COMPARE(c.server.connectionCount(), 1);
    QVERIFY(c.server.isConnected(secondIndex));
    QVERIFY(c.log.contains(QStringLiteral("Client Connection Closed, Client Name - ") + name +
                           QStringLiteral(" IP -") + ip));
    if (inSession) {
        QCOMPARE(c.value(QStringLiteral("SELECT cid FROM terminals")).toLongLong(), secondIndex);
        second.received.clear();
        second.write(Proto::Autologout);
        QVERIFY(second.waitFor(Proto::EndSession));
    } else {
        QCOMPARE(c.value(QStringLiteral("SELECT id FROM online")).toLongLong(), secondIndex);
        QCOMPARE(c.value(QStringLiteral("SELECT name FROM online")).toString(), name);
    }

    // The second dies half-way through a name; the agent comes back as it does when closed,
    // and finds its workstation as it was.
    second.write("|CNAME|Ni");
    second.socket.abort();
    QTRY_COMPARE(c.server.connectionCount(), 0);
    FakeAgent back;
    QVERIFY(back.greeted(ip, c.port(), inSession ? Proto::Lock : Proto::CName));
    QCOMPARE(c.value(inSession ? QStringLiteral("SELECT cid FROM terminals")
                               : QStringLiteral("SELECT id FROM online"))
                 .toLongLong(),
             c.server.lastIndex());
}

void TstConnectionManager::messageCutByTransportIsCompleted()
{
    LinkConsole c;
    FakeAgent a;
    QVERIFY(a.greeted(QStringLiteral("127.0.0.11"), c.port(), Proto::CName));
    const QByteArray reply = Proto::cnameReply(QStringLiteral("Café-11"));
    const auto name = [&] { return c.value(QStringLiteral("SELECT name FROM online")).toString(); };
    a.write(reply.left(12));
    FakeAgent::settle(100);
    QCOMPARE(name(), QStringLiteral("127.0.0.11"));
    a.write(reply.mid(12));
    QTRY_COMPARE(name(), QStringLiteral("Café-11"));
    // A flood of bytes that mean nothing is read and dropped; what follows is still understood.
    a.write(QByteArray(256 * 1024, '#') + QByteArray(3000, '|') +
            Proto::cnameReply(QStringLiteral("After")));
    QTRY_COMPARE(name(), QStringLiteral("After"));
    QVERIFY(c.server.isConnected(c.server.lastIndex()));
}

void TstConnectionManager::flappingAgentLeaksNothing()
{
    LinkConsole c;
    // Let the first accepted socket's one-time allocations settle before counting.
    {
        FakeAgent warm;
        QVERIFY(warm.greeted(QStringLiteral("127.0.0.12"), c.port(), Proto::CName));
    }
    QTRY_COMPARE(c.server.connectionCount(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const int filesBefore = openFiles();
    const qint64 firstIndex = c.server.lastIndex();
    constexpr int Rounds = 150;
    for (int i = 0; i < Rounds; ++i) {
        FakeAgent a;
        QVERIFY(a.greeted(QStringLiteral("127.0.0.12"), c.port(), Proto::CName));
        if (i % 2 == 0) {
            a.socket.abort();
        }
    }
    // Agents that reset their connection before the console has even answered: the console's
    // first write fails while it is still registering them, and no row may outlive them.
    for (int i = 0; i < Rounds; ++i) {
        FakeAgent a;
        QVERIFY(a.connectFrom(QStringLiteral("127.0.0.13"), c.port()));
        a.socket.abort();
    }
    QTRY_COMPARE(c.server.lastIndex(), firstIndex + 2 * Rounds);
    QTRY_COMPARE(c.server.connectionCount(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QTRY_COMPARE(c.onlineRows(), 0);
    QVERIFY2(openFiles() <= filesBefore + 2,
             qPrintable(QStringLiteral("%1 -> %2").arg(filesBefore).arg(openFiles())));
    QCOMPARE(c.server.findChildren<QTcpSocket*>().size(), 0);
}

void TstConnectionManager::wakeMakesAndClosesAConnectionNeverOneToTheConsolesOwnComputer()
{
    LinkConsole c;
    QTcpServer agentPort;
    QVERIFY(agentPort.listen(QHostAddress::LocalHost, 0));
    c.server.setWakePort(agentPort.serverPort());
    c.server.wake(QStringLiteral("127.0.0.1"));
    QTRY_VERIFY(agentPort.hasPendingConnections());
    QTcpSocket* woken = agentPort.nextPendingConnection();
    QTRY_COMPARE(woken->state(), QAbstractSocket::UnconnectedState);
    QCOMPARE(woken->readAll(), QByteArray());
    // Waking an address where nothing listens fails quietly and releases its socket.
    c.server.setWakePort(1);
    c.server.wake(QStringLiteral("127.0.0.1"));
    QTRY_COMPARE(c.server.findChildren<QTcpSocket*>().size(), 0);
    QVERIFY(c.home.errorLog().isEmpty());
    // Index 0 is the console's own computer: nothing goes there, nor to an index never given.
    QVERIFY(!c.server.send(0, Proto::Lock));
    QVERIFY(!c.server.send(12345, Proto::Lock));
    // The console's own address is a usable IPv4 address.
    QVERIFY(QHostAddress(LinkServer::ownAddress()).protocol() == QAbstractSocket::IPv4Protocol);
}

void TstConnectionManager::openFilesLimitIsRaised()
{
    rlimit lim{};
    const qint64 now = LinkServer::raiseOpenFilesLimit();
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &lim), 0);
    QCOMPARE(lim.rlim_cur, lim.rlim_max);
    QCOMPARE(now, qint64(lim.rlim_cur));
}

QTEST_GUILESS_MAIN(TstConnectionManager)
#include "tst_connectionmanager.moc"
