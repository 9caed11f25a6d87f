// SPDX-License-Identifier: Apache-2.0
// A console started again on the tables of an earlier run: each session's connection number
// must lead to its own workstation, whichever agent comes back first.
#include "common/clock.h"
#include "common/protocol.h"
#include "server/sessions/sessionservice.h"
#include "tests/server/link/fakeagent.h"
#include "tests/server/link/linkconsole.h"

#include <QTest>

class TstRestartLink : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void sessionsOfAnEarlierRunReachOnlyTheirOwnWorkstation_data()
    {
        QTest::addColumn<bool>("firstComesFirst");
        QTest::newRow("first workstation's agent comes back first") << true;
        QTest::newRow("second workstation's agent comes back first") << false;
    }
    void sessionsOfAnEarlierRunReachOnlyTheirOwnWorkstation()
    {
        QFETCH(bool, firstComesFirst);
        LinkConsole c;
        // Both sessions hold the number this run gives out first (an earlier run numbered its
        // connections from 1 as well, and one before it may have left the same number twice).
        const QString ips[] = {QStringLiteral("127.0.0.21"), QStringLiteral("127.0.0.22")};
        c.addSession(ips[0], 1, 0, 1);
        c.addSession(ips[1], 1, 0, 1);
        c.manager->continueNumbering();
        const auto row = [&](const QString& ip) {
            return c.db.firstRow(QStringLiteral("SELECT rowid, cid, AUTOLOGOUT, sstart FROM "
                                                "terminals WHERE ip = ?"),
                                 {ip});
        };
        const QString early = ips[firstComesFirst ? 0 : 1];
        const QString late = ips[firstComesFirst ? 1 : 0];

        FakeAgent back;
        QVERIFY(back.connectFrom(early, c.port()));
        QVERIFY(back.waitFor(Proto::StartSession));
        QCOMPARE(row(early)->value(1).toLongLong(), c.server.lastIndex());
        // Its automatic logout ends its own session only.
        back.received.clear();
        back.write(Proto::Autologout);
        QVERIFY(back.waitFor(Proto::EndSession));
        QCOMPARE(row(early)->value(2).toInt(), 1);
        QCOMPARE(row(late)->value(2).toInt(), 0);

        // The other session is settled before its agent is back: its end reaches no one.
        back.received.clear();
        SettleRequest req;
        req.sessionRowid = row(late)->value(0).toLongLong();
        req.sstart = Database::parseTime(row(late)->value(3));
        // Given no end, the bill ends when it is settled.
        const QDateTime settledAt(QDate(2026, 12, 6), QTime(11, 0));
        Clock::setFixed(settledAt);
        const SettleResult settled = SessionService(c.db).settle(req);
        Clock::reset();
        QVERIFY(settled.ok);
        QCOMPARE(Database::parseTime(c.value(QStringLiteral("SELECT send FROM history"))),
                 settledAt);
        for (const AgentMessage& m : settled.messages) {
            QVERIFY(!c.server.send(m.index, m.bytes));
        }
        FakeAgent::settle();
        QCOMPARE(back.received, QByteArray());
        QCOMPARE(c.server.connectionCount(), 1);

        // Its agent comes back to a ready workstation of its own.
        FakeAgent other;
        QVERIFY(other.connectFrom(late, c.port()));
        QVERIFY(other.waitFor(Proto::CName));
        QCOMPARE(c.value(QStringLiteral("SELECT id FROM online WHERE ip = ?"), {late}).toLongLong(),
                 c.server.lastIndex());
        QCOMPARE(c.server.peerAddress(row(early)->value(1).toLongLong()), early);
    }
};

QTEST_GUILESS_MAIN(TstRestartLink)
#include "tst_restartlink.moc"
