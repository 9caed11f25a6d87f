// SPDX-License-Identifier: Apache-2.0
#include "../link/fakeagent.h"
#include "common/clock.h"
#include "common/protocol.h"
#include "common/timesplit.h"
#include "server/core/database.h"
#include "server/core/messagelog.h"
#include "server/core/ui/frmmain.h"
#include "server/link/connectionmanager.h"
#include "server/link/linkserver.h"
#include "server/sessions/charge.h"
#include "server/sessions/livesessions.h"
#include "server/sessions/tariffstore.h"
#include "server/sessions/ui/livesessionview.h"
#include "support/consolefixture.h"
#include "support/tariffrows.h"

#include <QSet>
#include <QSignalSpy>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace {

const QDateTime T0(QDate(2026, 3, 14), QTime(9, 0, 0));

// The console's list over real connections: the server, its connection manager, the main
// window and the view that fills its session list.
struct ListOverLink
{
    explicit ListOverLink(Database& db) : manager(db, server)
    {
        QObject::connect(&manager, &ConnectionManager::logLine, &log, &MessageLog::append);
    }
    void open(Database& db)
    {
        window = std::make_unique<FrmMain>(db, log);
        view = std::make_unique<LiveSessionView>(db, 2, *window, &server);
        QObject::connect(&manager, &ConnectionManager::agentDropped, view.get(),
                         &LiveSessionView::agentDropped);
    }
    QTreeWidgetItem* item(int i) { return window->sessionList()->topLevelItem(i); }
    LinkServer server;
    ConnectionManager manager;
    MessageLog log;
    std::unique_ptr<FrmMain> window;
    std::unique_ptr<LiveSessionView> view;
};

} // namespace

class TestLiveSessions : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    void session(const QString& terminal, const QString& ip, qint64 cid, const QDateTime& start,
                 const QString& user, int maintains = 0, int autologout = 0,
                 const QDateTime& end = {})
    {
        QVERIFY(m_db->run("INSERT INTO terminals (terminal, ip, cid, sstart, send, \"user\", "
                          "maintains, AUTOLOGOUT) VALUES (?, ?, ?, ?, ?, ?, ?, ?)",
                          {terminal, ip, cid, Database::timeText(start),
                           end.isValid() ? QVariant(Database::timeText(end)) : QVariant(), user,
                           maintains, autologout}));
    }

    Money settled(const QString& category, const QDateTime& start, const QDateTime& end)
    {
        const TimeSplit t = splittime(start, end);
        return calccharge(*m_db, category, t.hours, t.minutes, t.seconds).rounded(2);
    }

private Q_SLOTS:
    void init()
    {
        openConsole();
        TariffSettings minute;
        minute.chargebyminute = true;
        QVERIFY(TariffStore(*m_db).save("Normal", QString(), true, standardRateRows(), {}));
        QVERIFY(TariffStore(*m_db).save("Games", QString(), true,
                                        {row("30", "20", "0.5"), row("60", "30", "0.5")}, minute));
        Clock::setFixed(T0);
    }
    void cleanup() { closeConsole(); }

    // Every figure is what settling at that moment would bill; the sessions that settlement
    // does not price by the clock stay as they are.
    void figuresFollowTheClock()
    {
        session("PC1", "10.0.0.1", 0, T0, "Normal");
        session("PC2", "10.0.0.2", 0, T0.addSecs(-3 * 3600 - 50), " games ");
        session("PC3", "10.0.0.3", 0, T0.addSecs(-600), "Normal", 1);
        session("PC4", "10.0.0.4", 0, T0.addSecs(-7200), "Normal", 0, 1, T0.addSecs(-3600 + 70));
        session("PC5", "10.0.0.5", 0, T0, "Gone");
        LiveSessions live(*m_db, 2);
        live.reload();
        const QList<LiveSession>& s = live.sessions();
        QCOMPARE(s.size(), 5);
        QCOMPARE(s[3].elapsed.hours, std::int64_t(1));
        QCOMPARE(s[3].elapsed.minutes, 1);
        QCOMPARE(s[3].charge, settled("Normal", s[3].sstart, s[3].send));

        for (int step = 0; step < 40; ++step) {
            const QDateTime now = Clock::now();
            for (int i : {0, 1}) {
                const QString cat = i == 0 ? QStringLiteral("Normal") : QStringLiteral("Games");
                QVERIFY(s[i].priced);
                QCOMPARE(s[i].charge, settled(cat, s[i].sstart, now));
                const TimeSplit t = splittime(s[i].sstart, now);
                QCOMPARE(LiveSessions::elapsedText(s[i].elapsed),
                         QStringLiteral("%1:%2").arg(t.hours).arg(t.minutes, 2, 10, QChar('0')));
            }
            QVERIFY(!s[2].priced);
            QCOMPARE(live.chargeText(s[2]), QString());
            QVERIFY(!s[4].priced);
            QCOMPARE(s[3].elapsed.minutes, 1);

            Clock::advance(4 * 60 + 7);
            const QList<int> changed = live.tick();
            // Both clocked sessions moved a minute or more; the others never change.
            QCOMPARE(changed, (QList<int>{0, 1, 2, 4}));
        }
        // Within the same minute nothing is priced again.
        const int start = splittime(s[0].sstart, Clock::now()).seconds;
        Clock::advance(59 - start);
        QVERIFY(live.tick().isEmpty());
        Clock::advance(1);
        // PC2 started 50 seconds into a minute: its minute has not moved yet.
        QCOMPARE(live.tick(), (QList<int>{0, 2, 4}));
        QCOMPARE(live.chargeText(s[0]), settled("Normal", s[0].sstart, Clock::now()).toFixed(2));
    }

    // A clock set back before the start shows no charge, as settlement bills nothing for it.
    void clockSetBack()
    {
        session("PC1", "10.0.0.1", 0, T0.addSecs(300), "Normal");
        LiveSessions live(*m_db, 2);
        live.reload();
        QCOMPARE(live.sessions()[0].charge, Money());
        QCOMPARE(LiveSessions::elapsedText(live.sessions()[0].elapsed), QString("0:00"));
        Clock::advance(301);
        QCOMPARE(live.tick().size(), 1);
        QCOMPARE(live.sessions()[0].charge, m("10"));
    }

    // The rate rows are read once per category, not per session or tick, and a saved tariff
    // reprices every session at once.
    void tariffEditIsPickedUp()
    {
        for (int i = 0; i < 200; ++i) {
            session(QString("PC%1").arg(i), QString("10.0.1.%1").arg(i), 0, T0.addSecs(-60 * i),
                    i % 2 ? "normal" : "Games");
        }
        LiveSessions live(*m_db, 2);
        QSignalSpy spy(&live, &LiveSessions::rowsChanged);
        live.reload();
        for (int k = 0; k < 10; ++k) {
            Clock::advance(61);
            live.tick();
        }
        QCOMPARE(live.tariffReads(), 2);

        QVERIFY(TariffStore(*m_db).save("Normal", QString(), false,
                                        {row("15", "12", "0.8"), row("60", "40", "0.5")}, {}));
        QVERIFY(spy.count() >= 1);
        QSet<int> repriced;
        for (const auto& args : spy) {
            for (int p : args.at(0).value<QList<int>>()) {
                repriced.insert(p);
            }
        }
        const QList<LiveSession>& s = live.sessions();
        for (int i = 0; i < s.size(); ++i) {
            const QString cat = i % 2 ? QStringLiteral("Normal") : QStringLiteral("Games");
            QCOMPARE(s[i].charge, settled(cat, s[i].sstart, Clock::now()));
            if (i % 2) {
                QVERIFY2(repriced.contains(i), qPrintable(QString::number(i)));
            }
        }
        QVERIFY(live.tariffReads() >= 3);

        // A category gone from under its sessions (the editor refuses that; a file edited
        // elsewhere need not) leaves them without a price rather than a stale one.
        QVERIFY(m_db->run("DELETE FROM ratelist WHERE member = 'Games'"));
        QVERIFY(m_db->run("DELETE FROM user_category WHERE \"user\" = 'Games'"));
        m_db->notifyChanged("ratelist");
        m_db->notifyChanged("user_category");
        QVERIFY(!live.sessions()[0].priced);
        QVERIFY(live.sessions()[1].priced);
    }

    // The list rows carry the figures and the disconnected mark, following real connections:
    // an agent that goes away is marked, and unmarked when it connects again.
    void disconnectedAgentIsMarked()
    {
        ListOverLink c(*m_db);
        LinkServer& server = c.server;
        QVERIFY(server.listen(0, QHostAddress::LocalHost));
        // A session from an earlier run, on an index this run gives to another workstation.
        session("PC41", "127.0.0.41", 1, T0.addSecs(-1800), "Normal");
        session("OWN", "127.0.0.1", 0, T0.addSecs(-60), "Normal");
        c.open(*m_db);
        QCOMPARE(c.window->sessionList()->topLevelItemCount(), 2);
        const auto item = [&](int i) { return c.item(i); };
        QCOMPARE(item(0)->text(0), QString("PC41 (disconnected)"));
        QCOMPARE(item(0)->text(FrmMain::ElapsedColumn), QString("0:30"));
        QCOMPARE(item(0)->text(FrmMain::ChargeColumn), QString("15.00"));
        QCOMPARE(item(1)->text(0), QString("OWN"));

        auto other = std::make_unique<FakeAgent>();
        QVERIFY(other->connectFrom("127.0.0.42", server.serverPort()));
        QTRY_COMPARE(server.connectionCount(), qsizetype(1));
        QCOMPARE(server.lastIndex(), qint64(1));
        FakeAgent::settle();
        // Index 1 is open now, but not to PC41's address.
        c.view->refill();
        QCOMPARE(item(0)->text(0), QString("PC41 (disconnected)"));

        auto agent = std::make_unique<FakeAgent>();
        QVERIFY(agent->connectFrom("127.0.0.41", server.serverPort()));
        QTRY_COMPARE(item(0)->text(0), QString("PC41"));

        agent->socket.disconnectFromHost();
        QTRY_COMPARE(item(0)->text(0), QString("PC41 (disconnected)"));
        QCOMPARE(item(1)->text(0), QString("OWN"));
        // The other workstation's drop does not touch PC41's mark or the console's own row.
        other->socket.disconnectFromHost();
        QTRY_COMPARE(server.connectionCount(), qsizetype(0));
        QCOMPARE(item(1)->text(0), QString("OWN"));
    }

    // An automatic logout says what it is: in the tip of its row, which the mark of a gone
    // agent joins rather than replaces, and in a line of the message log with its time.
    void automaticLogoutIsExplained()
    {
        ListOverLink c(*m_db);
        QVERIFY(c.server.listen(0, QHostAddress::LocalHost));
        session("PC41", "127.0.0.41", 1, T0.addSecs(-1800), "Normal");
        c.open(*m_db);
        FakeAgent agent;
        QVERIFY(agent.connectFrom("127.0.0.41", c.server.serverPort()));
        QVERIFY(agent.waitFor(Proto::StartSession));
        QCOMPARE(c.item(0)->toolTip(0), QString());

        Clock::advance(5 * 60);
        agent.write(Proto::Autologout);
        const QString tip = FrmMain::AutoLogoutTip.arg("09:05");
        QTRY_COMPARE(c.item(0)->toolTip(FrmMain::ChargeColumn), tip);
        QCOMPARE(c.log.lines().last(),
                 QString("Automatic Logout, Client Name - PC41 IP -127.0.0.41"));

        agent.socket.disconnectFromHost();
        QTRY_COMPARE(c.item(0)->toolTip(0), tip + "\n" + LiveSessionView::DisconnectedTip);

        // Past midnight, yesterday's times no longer pass for today's.
        QCOMPARE(c.item(0)->text(1), QString("08:30"));
        Clock::setFixed(QDateTime(T0.date().addDays(1), QTime(0, 0, 1)));
        c.view->tick();
        QCOMPARE(c.item(0)->text(1), QString("2026-03-14 08:30"));
        QCOMPARE(c.item(0)->toolTip(0), FrmMain::AutoLogoutTip.arg("2026-03-14 09:05") + "\n" +
                                            LiveSessionView::DisconnectedTip);
    }
};

QTEST_MAIN(TestLiveSessions)
#include "tst_livesessions.moc"
