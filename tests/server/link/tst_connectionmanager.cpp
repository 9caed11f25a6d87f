#include "common/clock.h"
#include "common/protocol.h"
#include "server/core/database.h"
#include "server/link/connectionmanager.h"
#include "server/link/linkserver.h"
#include "support/testhome.h"
#include "tests/server/link/fakeagent.h"

#include <QDir>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTest>

#include <sys/resource.h>

#include <memory>

namespace {

// A console's link on a fresh database: the listener on a free loopback port, the manager on
// its events, and the message log as it is written.
struct Console
{
    TestHome home;
    Database db;
    LinkServer server;
    std::unique_ptr<ConnectionManager> manager;
    QStringList log;

    Console()
    {
        if (!db.open(home.file(QStringLiteral("server.db")))) {
            qFatal("database");
        }
        manager = std::make_unique<ConnectionManager>(db, server);
        QObject::connect(manager.get(), &ConnectionManager::logLine,
                         [this](const QString& l) { log << l; });
        if (!server.listen(0, QHostAddress::LocalHost)) {
            qFatal("listen");
        }
    }

    quint16 port() const { return server.serverPort(); }

    void addSession(const QString& ip, qint64 cid, int autologout = 0, int logouttype = 0,
                    const QString& password = QString())
    {
        db.run(QStringLiteral("INSERT INTO terminals (terminal, ip, cid, sstart, user, Password, "
                              "logouttype, AUTOLOGOUT) VALUES (?, ?, ?, ?, ?, ?, ?, ?)"),
               {QStringLiteral("PC-") + ip.section(QLatin1Char('.'), 3), ip, cid,
                QStringLiteral("2026-12-06 10:00:00"), QStringLiteral("Browsing"), password,
                logouttype, autologout});
    }

    QVariant value(const QString& sql, const QVariantList& params = {})
    {
        return db.scalar(sql, params);
    }

    int onlineRows() { return value(QStringLiteral("SELECT count(*) FROM online")).toInt(); }
};

int openFiles()
{
    return int(QDir(QStringLiteral("/proc/self/fd"))
                   .entryList(QDir::NoDotAndDotDot | QDir::System)
                   .size());
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
    void droppedConnectionKeepsSession();
    void twoAgentsAtDifferentAddresses();
    void reconnectingIdleAgentKeepsOneRow();
    void strayConnectionFromAnAgentsAddressLeavesItReachable();
    void nameReportAndLogoutInOneArrival();
    void messageCutByTransportIsCompleted();
    void flappingAgentLeaksNothing();
    void wakeMakesAndClosesAConnection();
    void nothingIsSentToTheConsolesOwnComputer();
    void openFilesLimitIsRaised();
};

void TstConnectionManager::newIdleAgentIsLockedListedAndRenamed()
{
    Console c;
    QSignalSpy changes(&c.db, &Database::tableChanged);
    // What a list refreshing on the change would find: full syncing already back in force.
    QList<int> levels;
    QObject::connect(&c.db, &Database::tableChanged,
                     [&] { levels << c.value(QStringLiteral("PRAGMA synchronous")).toInt(); });
    FakeAgent a;
    QVERIFY(a.connectFrom(QStringLiteral("127.0.0.2"), c.port()));
    QVERIFY(a.waitFor(Proto::CName));
    QCOMPARE(a.received, Proto::Lock + Proto::CName);
    QCOMPARE(c.onlineRows(), 1);
    const auto row = c.db.firstRow(QStringLiteral("SELECT name, ip, id FROM online"));
    QCOMPARE(row->value(0).toString(), QStringLiteral("127.0.0.2"));
    QCOMPARE(row->value(1).toString(), QStringLiteral("127.0.0.2"));
    QCOMPARE(row->value(2).toLongLong(), c.server.lastIndex());
    QCOMPARE(c.log, QStringList({QStringLiteral("Connection Request from127.0.0.2 IP -127.0.0.2"),
                                 QStringLiteral("Authentication Sucess."),
                                 QStringLiteral("Listening for client connection..")}));
    QVERIFY(changes.count() >= 1);
    QCOMPARE(changes.last().at(0).toString(), QStringLiteral("online"));

    changes.clear();
    a.write(Proto::cnameReply(QStringLiteral("PC-07")));
    QTRY_COMPARE(c.value(QStringLiteral("SELECT name FROM online")).toString(),
                 QStringLiteral("PC-07"));
    QTRY_VERIFY(!changes.isEmpty());
    QCOMPARE(c.onlineRows(), 1);
    // Connection bookkeeping is written without waiting for the disk, but bills written
    // afterwards are fully synced again.
    QCOMPARE(c.value(QStringLiteral("PRAGMA synchronous")).toInt(), 2);
    a.socket.disconnectFromHost();
    QTRY_COMPARE(c.onlineRows(), 0);
    QCOMPARE(c.value(QStringLiteral("PRAGMA synchronous")).toInt(), 2);
    QVERIFY(levels.size() >= 3);
    QCOMPARE(levels, QList<int>(levels.size(), 2));
}

void TstConnectionManager::reconnectWithSession_data()
{
    QTest::addColumn<int>("autologout");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("running session resumes") << 0 << Proto::StartSession;
    QTest::newRow("after automatic logout stays locked") << 1 << Proto::Lock;
}

void TstConnectionManager::reconnectWithSession()
{
    QFETCH(int, autologout);
    QFETCH(QByteArray, expected);
    Console c;
    c.addSession(QStringLiteral("127.0.0.3"), 5, autologout);
    FakeAgent a;
    QVERIFY(a.connectFrom(QStringLiteral("127.0.0.3"), c.port()));
    QVERIFY(a.waitFor(expected));
    FakeAgent::settle();
    // Nothing more: no name request, no online row.
    QCOMPARE(a.received, expected);
    QCOMPARE(c.onlineRows(), 0);
    QCOMPARE(c.value(QStringLiteral("SELECT cid FROM terminals")).toLongLong(),
             c.server.lastIndex());
    QVERIFY(c.server.lastIndex() != 5);
}

void TstConnectionManager::automaticLogout_data()
{
    QTest::addColumn<int>("logouttype");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("0 ends the session") << 0 << Proto::EndSession;
    QTest::newRow("1 ends the session") << 1 << Proto::EndSession;
    QTest::newRow("2 shuts down") << 2 << Proto::Shutdown;
    QTest::newRow("3 restarts") << 3 << Proto::Reboot;
    QTest::newRow("other sends nothing") << 7 << QByteArray();
}

void TstConnectionManager::automaticLogout()
{
    QFETCH(int, logouttype);
    QFETCH(QByteArray, expected);
    Console c;
    const QDateTime t(QDate(2026, 12, 6), QTime(11, 30, 0));
    Clock::setFixed(t);
    c.addSession(QStringLiteral("127.0.0.4"), 9, 0, logouttype);
    FakeAgent a;
    QVERIFY(a.connectFrom(QStringLiteral("127.0.0.4"), c.port()));
    QVERIFY(a.waitFor(Proto::StartSession));
    a.received.clear();
    a.write(Proto::Autologout);
    QTRY_COMPARE(c.value(QStringLiteral("SELECT AUTOLOGOUT FROM terminals")).toInt(), 1);
    QCOMPARE(c.value(QStringLiteral("SELECT send FROM terminals")).toString(),
             Database::timeText(t));
    if (expected.isEmpty()) {
        FakeAgent::settle();
        QVERIFY(a.received.isEmpty());
    } else {
        QVERIFY(a.waitFor(expected));
        QCOMPARE(a.received, expected);
    }
    // A repeated notice is answered again but does not move the end of the session.
    Clock::advance(600);
    a.received.clear();
    a.write(Proto::Autologout);
    if (!expected.isEmpty()) {
        QVERIFY(a.waitFor(expected));
    } else {
        FakeAgent::settle();
    }
    QCOMPARE(c.value(QStringLiteral("SELECT send FROM terminals")).toString(),
             Database::timeText(t));
    QCOMPARE(c.value(QStringLiteral("SELECT count(*) FROM terminals")).toInt(), 1);
    Clock::reset();
}

void TstConnectionManager::passwordCheck_data()
{
    QTest::addColumn<bool>("session");
    QTest::addColumn<QString>("stored");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QByteArray>("expected");
    QTest::newRow("match") << true << "secret" << Proto::checkPassword(QStringLiteral("secret"))
                           << Proto::StartSession;
    QTest::newRow("blanks around the stored one")
        << true << "  secret  " << Proto::checkPassword(QStringLiteral("secret"))
        << Proto::StartSession;
    QTest::newRow("letter case differs")
        << true << "secret" << Proto::checkPassword(QStringLiteral("Secret"))
        << Proto::PasswordNotValid;
    QTest::newRow("blanks in the sent one count")
        << true << "secret" << Proto::checkPassword(QStringLiteral(" secret"))
        << Proto::PasswordNotValid;
    QTest::newRow("non-ASCII password")
        << true << "pässwörd" << Proto::checkPassword(QStringLiteral("pässwörd"))
        << Proto::StartSession;
    QTest::newRow("no session on the connection")
        << false << "" << Proto::checkPassword(QStringLiteral("secret")) << Proto::PasswordNotValid;
}

void TstConnectionManager::passwordCheck()
{
    QFETCH(bool, session);
    QFETCH(QString, stored);
    QFETCH(QByteArray, sent);
    QFETCH(QByteArray, expected);
    Console c;
    if (session) {
        c.addSession(QStringLiteral("127.0.0.5"), 1, 0, 1, stored);
    }
    FakeAgent a;
    QVERIFY(a.connectFrom(QStringLiteral("127.0.0.5"), c.port()));
    QVERIFY(a.waitFor(session ? Proto::StartSession : Proto::CName));
    a.received.clear();
    a.write(sent);
    QVERIFY(a.waitFor(expected));
    QCOMPARE(a.received, expected);
}

void TstConnectionManager::droppedConnectionKeepsSession()
{
    Console c;
    c.addSession(QStringLiteral("127.0.0.6"), 3);
    FakeAgent idle;
    FakeAgent busy;
    QVERIFY(idle.connectFrom(QStringLiteral("127.0.0.2"), c.port()));
    QVERIFY(idle.waitFor(Proto::CName));
    idle.write(Proto::cnameReply(QStringLiteral("PC-02")));
    QTRY_COMPARE(
        c.value(QStringLiteral("SELECT name FROM online WHERE ip = '127.0.0.2'")).toString(),
        QStringLiteral("PC-02"));
    QVERIFY(busy.connectFrom(QStringLiteral("127.0.0.6"), c.port()));
    QVERIFY(busy.waitFor(Proto::StartSession));
    QTRY_COMPARE(c.server.connectionCount(), 2);
    c.log.clear();

    idle.socket.disconnectFromHost();
    QTRY_COMPARE(c.onlineRows(), 0);
    QCOMPARE(c.log, QStringList({QStringLiteral("Client Connection Closed, Client Name - PC-02 IP "
                                                "-127.0.0.2"),
                                 QStringLiteral("Listening for client connection..")}));
    c.log.clear();
    const qint64 busyIndex = c.value(QStringLiteral("SELECT cid FROM terminals")).toLongLong();
    busy.socket.abort();
    QTRY_COMPARE(c.server.connectionCount(), 0);
    QVERIFY(!c.server.isConnected(busyIndex));
    QCOMPARE(c.value(QStringLiteral("SELECT count(*) FROM terminals")).toInt(), 1);
    QCOMPARE(c.value(QStringLiteral("SELECT cid FROM terminals")).toLongLong(), busyIndex);
    QCOMPARE(c.log.first(),
             QStringLiteral("Client Connection Closed, Client Name - PC-6 IP -127.0.0.6"));

    // It comes back: the session is re-attached to the new connection.
    FakeAgent again;
    QVERIFY(again.connectFrom(QStringLiteral("127.0.0.6"), c.port()));
    QVERIFY(again.waitFor(Proto::StartSession));
    QCOMPARE(c.value(QStringLiteral("SELECT cid FROM terminals")).toLongLong(),
             c.server.lastIndex());
}

void TstConnectionManager::twoAgentsAtDifferentAddresses()
{
    Console c;
    FakeAgent a;
    FakeAgent b;
    QVERIFY(a.connectFrom(QStringLiteral("127.0.0.7"), c.port()));
    QVERIFY(b.connectFrom(QStringLiteral("127.0.0.8"), c.port()));
    QVERIFY(a.waitFor(Proto::CName));
    QVERIFY(b.waitFor(Proto::CName));
    a.write(Proto::cnameReply(QStringLiteral("Alpha")));
    b.write(Proto::cnameReply(QStringLiteral("Beta")));
    QTRY_COMPARE(c.value(QStringLiteral("SELECT group_concat(name || '@' || ip, ',') FROM "
                                        "(SELECT * FROM online ORDER BY ip)"))
                     .toString(),
                 QStringLiteral("Alpha@127.0.0.7,Beta@127.0.0.8"));
    const qint64 ia =
        c.value(QStringLiteral("SELECT id FROM online WHERE ip = '127.0.0.7'")).toLongLong();
    const qint64 ib =
        c.value(QStringLiteral("SELECT id FROM online WHERE ip = '127.0.0.8'")).toLongLong();
    QVERIFY(ia != ib);
    QCOMPARE(c.server.peerAddress(ib), QStringLiteral("127.0.0.8"));
    a.received.clear();
    b.received.clear();
    QVERIFY(c.server.send(ib, Proto::Unlock));
    QVERIFY(b.waitFor(Proto::Unlock));
    FakeAgent::settle();
    QVERIFY(a.received.isEmpty());
}

void TstConnectionManager::reconnectingIdleAgentKeepsOneRow()
{
    Console c;
    FakeAgent first;
    QVERIFY(first.connectFrom(QStringLiteral("127.0.0.9"), c.port()));
    QVERIFY(first.waitFor(Proto::CName));
    first.write(Proto::cnameReply(QStringLiteral("Nine")));
    QTRY_COMPARE(c.value(QStringLiteral("SELECT name FROM online")).toString(),
                 QStringLiteral("Nine"));
    // The agent comes again before its old connection is seen to close.
    FakeAgent second;
    QVERIFY(second.connectFrom(QStringLiteral("127.0.0.9"), c.port()));
    QVERIFY(second.waitFor(Proto::CName));
    QCOMPARE(c.onlineRows(), 1);
    QCOMPARE(c.value(QStringLiteral("SELECT id FROM online")).toLongLong(), c.server.lastIndex());
    QCOMPARE(c.value(QStringLiteral("SELECT name FROM online")).toString(), QStringLiteral("Nine"));
    // The old connection's close leaves the new row alone.
    first.socket.disconnectFromHost();
    QTRY_COMPARE(c.server.connectionCount(), 1);
    QCOMPARE(c.onlineRows(), 1);
    QCOMPARE(c.value(QStringLiteral("SELECT id FROM online")).toLongLong(), c.server.lastIndex());
}

void TstConnectionManager::strayConnectionFromAnAgentsAddressLeavesItReachable()
{
    Console c;
    FakeAgent idle;
    QVERIFY(idle.connectFrom(QStringLiteral("127.0.0.9"), c.port()));
    QVERIFY(idle.waitFor(Proto::CName));
    idle.write(Proto::cnameReply(QStringLiteral("Nine")));
    QTRY_COMPARE(c.value(QStringLiteral("SELECT name FROM online")).toString(),
                 QStringLiteral("Nine"));
    const qint64 idleIndex = c.server.lastIndex();
    c.addSession(QStringLiteral("127.0.0.6"), 99);
    FakeAgent busy;
    QVERIFY(busy.connectFrom(QStringLiteral("127.0.0.6"), c.port()));
    QVERIFY(busy.waitFor(Proto::StartSession));
    const qint64 busyIndex = c.server.lastIndex();

    // A connection from each address that takes the row over and dies half-way through a name.
    for (const QString& ip : {QStringLiteral("127.0.0.9"), QStringLiteral("127.0.0.6")}) {
        FakeAgent stray;
        QVERIFY(stray.connectFrom(ip, c.port()));
        QTRY_COMPARE(c.server.connectionCount(), 3);
        stray.write("|CNAME|Ni");
        stray.socket.abort();
        QTRY_COMPARE(c.server.connectionCount(), 2);
    }
    // The workstations are still where they were, on the connections that are still open.
    QCOMPARE(c.onlineRows(), 1);
    QCOMPARE(c.value(QStringLiteral("SELECT id FROM online")).toLongLong(), idleIndex);
    QCOMPARE(c.value(QStringLiteral("SELECT name FROM online")).toString(), QStringLiteral("Nine"));
    QCOMPARE(c.value(QStringLiteral("SELECT cid FROM terminals")).toLongLong(), busyIndex);
    QVERIFY(c.server.send(busyIndex, Proto::EndSession));
    QVERIFY(busy.waitFor(Proto::EndSession));
}

void TstConnectionManager::nameReportAndLogoutInOneArrival()
{
    Console c;
    c.addSession(QStringLiteral("127.0.0.10"), 4, 0, 2);
    FakeAgent busy;
    QVERIFY(busy.connectFrom(QStringLiteral("127.0.0.10"), c.port()));
    QVERIFY(busy.waitFor(Proto::StartSession));
    // The same connection also carries an online row here, so both handlers show their effect.
    c.db.run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES ('x', '127.0.0.10', ?)"),
             {c.server.lastIndex()});
    busy.received.clear();
    busy.write(Proto::cnameReply(QStringLiteral("Ten")) + Proto::Autologout);
    QVERIFY(busy.waitFor(Proto::Shutdown));
    QCOMPARE(c.value(QStringLiteral("SELECT name FROM online")).toString(), QStringLiteral("Ten"));
    QCOMPARE(c.value(QStringLiteral("SELECT AUTOLOGOUT FROM terminals")).toInt(), 1);
}

void TstConnectionManager::messageCutByTransportIsCompleted()
{
    Console c;
    FakeAgent a;
    QVERIFY(a.connectFrom(QStringLiteral("127.0.0.11"), c.port()));
    QVERIFY(a.waitFor(Proto::CName));
    const QByteArray reply = Proto::cnameReply(QStringLiteral("Café-11"));
    a.write(reply.left(12));
    FakeAgent::settle(100);
    QCOMPARE(c.value(QStringLiteral("SELECT name FROM online")).toString(),
             QStringLiteral("127.0.0.11"));
    a.write(reply.mid(12));
    QTRY_COMPARE(c.value(QStringLiteral("SELECT name FROM online")).toString(),
                 QStringLiteral("Café-11"));
    // A flood of bytes that mean nothing is read and dropped; what follows is still understood.
    a.write(QByteArray(256 * 1024, '#') + QByteArray(3000, '|') +
            Proto::cnameReply(QStringLiteral("After")));
    QTRY_COMPARE(c.value(QStringLiteral("SELECT name FROM online")).toString(),
                 QStringLiteral("After"));
    QVERIFY(c.server.isConnected(c.server.lastIndex()));
}

void TstConnectionManager::flappingAgentLeaksNothing()
{
    Console c;
    // Let the first accepted socket's one-time allocations settle before counting.
    {
        FakeAgent warm;
        QVERIFY(warm.connectFrom(QStringLiteral("127.0.0.12"), c.port()));
        QVERIFY(warm.waitFor(Proto::CName));
    }
    QTRY_COMPARE(c.server.connectionCount(), 0);
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    const int filesBefore = openFiles();
    const qint64 firstIndex = c.server.lastIndex();
    constexpr int Rounds = 150;
    for (int i = 0; i < Rounds; ++i) {
        FakeAgent a;
        QVERIFY(a.connectFrom(QStringLiteral("127.0.0.12"), c.port()));
        QVERIFY(a.waitFor(Proto::CName));
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

void TstConnectionManager::wakeMakesAndClosesAConnection()
{
    Console c;
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
}

void TstConnectionManager::nothingIsSentToTheConsolesOwnComputer()
{
    Console c;
    QVERIFY(!c.server.send(0, Proto::Lock));
    QVERIFY(!c.server.isConnected(0));
    QVERIFY(!c.server.send(12345, Proto::Lock));
    // The console's own address is a usable IPv4 address.
    QVERIFY(QHostAddress(LinkServer::ownAddress()).protocol() == QAbstractSocket::IPv4Protocol);
}

void TstConnectionManager::openFilesLimitIsRaised()
{
    rlimit lim{};
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &lim), 0);
    const qint64 now = LinkServer::raiseOpenFilesLimit();
    QCOMPARE(getrlimit(RLIMIT_NOFILE, &lim), 0);
    QCOMPARE(lim.rlim_cur, lim.rlim_max);
    QCOMPARE(now, qint64(lim.rlim_cur));
    QVERIFY(now >= 1024);
}

QTEST_GUILESS_MAIN(TstConnectionManager)
#include "tst_connectionmanager.moc"
