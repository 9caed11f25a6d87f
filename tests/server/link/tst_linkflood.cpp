// SPDX-License-Identifier: Apache-2.0
// What the console keeps under a flood of connections: the caps per address and in total,
// room made for a newcomer at the cost of a peer that is nobody's yet, refusals recorded once
// a minute per address, and a message log that keeps only its newest lines.
#include "server/core/messagelog.h"
#include "server/link/linkserver.h"
#include "server/link/refusalthrottle.h"
#include "support/testhome.h"
#include "tests/server/link/fakeagent.h"

#include <QTest>

#include <memory>
#include <vector>

namespace {

const QByteArray Key = QByteArrayLiteral("9f3c2a7be41d08c6f5a2e9b17d03c4e8");

int stillConnected(const std::vector<std::unique_ptr<FakeAgent>>& peers)
{
    int n = 0;
    for (const auto& p : peers) {
        n += p->socket.state() == QAbstractSocket::ConnectedState ? 1 : 0;
    }
    return n;
}

} // namespace

class TstLinkFlood : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void capsHoldAndRoomIsMadeForANewcomer_data();
    void capsHoldAndRoomIsMadeForANewcomer();
    void refusalsAreRecordedOnceAMinutePerAddress();
    void messageLogKeepsItsNewestLines();
};

void TstLinkFlood::capsHoldAndRoomIsMadeForANewcomer_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("inSession"); // the workstation is known by its session, not a word
    QTest::newRow("keyed") << Key << false;
    QTest::newRow("open, the workstation has spoken") << QByteArray() << false;
    QTest::newRow("open, a session runs on it") << QByteArray() << true;
}

void TstLinkFlood::capsHoldAndRoomIsMadeForANewcomer()
{
    QFETCH(QByteArray, key);
    QFETCH(bool, inSession);
    TestHome home;
    LinkServer server;
    server.setLinkKey(key);
    server.setConnectionCaps(4, 8);
    QStringList refusals;
    connect(
        &server, &LinkServer::peerRefused, this,
        [&](const QString& address, const QString& reason) { refusals << address + ' ' + reason; });
    QVERIFY(server.listen(0, QHostAddress::LocalHost));
    const quint16 port = server.serverPort();

    // A workstation that is linked and known; it is never the one to make room.
    auto station = std::make_unique<KeyedAgent>();
    QVERIFY(station->connectFrom(QStringLiteral("127.0.0.29"), port));
    QTRY_COMPARE(server.connectionCount(), 1);
    QVERIFY(key.isEmpty() || (station->prove(key) && station->waitFor(Proto::LinkAnswerEnd)));
    if (inSession) {
        QVERIFY(server.send(server.lastIndex(), Proto::StartSession));
    } else {
        station->write(Proto::cnameReply(QStringLiteral("PC-29")));
    }
    FakeAgent::settle();

    // Six from one address: four are held, the rest reset at once and recorded once.
    std::vector<std::unique_ptr<FakeAgent>> flood;
    for (int i = 0; i < 6; ++i) {
        flood.push_back(std::make_unique<FakeAgent>());
        QVERIFY(flood.back()->connectFrom(QStringLiteral("127.0.0.30"), port));
    }
    QTRY_COMPARE(stillConnected(flood), 4);
    QCOMPARE(server.connectionCount(), 5);
    QCOMPARE(refusals.filter(QStringLiteral("127.0.0.30 too many connections from")).size(), 1);
    QCOMPARE(home.errorLog().count(QStringLiteral("too many connections from this address")), 1);

    // Three more addresses fill the eight places; a newcomer still gets in, and the oldest
    // peer that is nobody's yet makes room for it.
    for (int i = 1; i <= 4; ++i) {
        flood.push_back(std::make_unique<FakeAgent>());
        QVERIFY(flood.back()->connectFrom(QStringLiteral("127.0.0.3%1").arg(i), port));
    }
    QTRY_COMPARE(server.connectionCount(), 8);
    QTRY_COMPARE(stillConnected(flood), 7);
    QCOMPARE(station->socket.state(), QAbstractSocket::ConnectedState);
    QCOMPARE(server.connectionsFrom(QStringLiteral("127.0.0.34")).size(),
             key.isEmpty() ? 1 : 0); // unproven connections are nobody's
    if (!key.isEmpty()) {
        QVERIFY(flood.back()->waitFor(Proto::LinkChallengeEnd));
    }
}

void TstLinkFlood::refusalsAreRecordedOnceAMinutePerAddress()
{
    RefusalThrottle t;
    int held = -1;
    QVERIFY(t.admit(QStringLiteral("a"), 0, &held));
    QCOMPARE(held, 0);
    for (qint64 ms : {1, 500, 59999}) {
        QVERIFY(!t.admit(QStringLiteral("a"), ms, &held));
    }
    // Another address is recorded on its own.
    QVERIFY(t.admit(QStringLiteral("b"), 10, &held));
    // Once a's minute is over its count is due once; b, quiet since its record, is forgotten.
    const QList<RefusalThrottle::Held> due = t.due(60010);
    QCOMPARE(due.size(), 1);
    QCOMPARE(due.first().address, QStringLiteral("a"));
    QCOMPARE(due.first().count, 3);
    QCOMPARE(t.size(), 1);
    QVERIFY(!t.admit(QStringLiteral("a"), 60020, &held));
    // A refusal after the minute is recorded, with those held since the last record.
    QVERIFY(t.admit(QStringLiteral("a"), 120010, &held));
    QCOMPARE(held, 1);
    QVERIFY(t.due(180010).isEmpty());
    QVERIFY(t.isEmpty());

    // Ever new addresses share one entry beyond the cap, so the table stays bounded.
    for (int i = 0; i < RefusalThrottle::MaxAddresses + 100; ++i) {
        t.admit(QString::number(i), 0, &held);
    }
    QCOMPARE(t.size(), RefusalThrottle::MaxAddresses + 1);
}

void TstLinkFlood::messageLogKeepsItsNewestLines()
{
    MessageLog log;
    for (int i = 0; i < MessageLog::MaxLines + 5; ++i) {
        log.append(QStringLiteral("line %1").arg(i));
    }
    QCOMPARE(log.lines().size(), MessageLog::MaxLines);
    QCOMPARE(log.lines().first(), QStringLiteral("line 5"));
    QCOMPARE(log.lines().last(), QStringLiteral("line %1").arg(MessageLog::MaxLines + 4));
}

QTEST_GUILESS_MAIN(TstLinkFlood)
#include "tst_linkflood.moc"
