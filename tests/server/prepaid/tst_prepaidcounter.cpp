// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "common/protocol.h"
#include "server/accounts/reportdocument.h"
#include "server/core/database.h"
#include "server/prepaid/prepaidcounter.h"
#include "server/prepaid/prepaidservice.h"
#include "server/prepaid/ticketcodes.h"
#include "server/prepaid/ticketsform.h"
#include "server/prepaid/ticketslips.h"
#include "server/sessions/livesessions.h"
#include "server/sessions/sessionservice.h"
#include "server/sessions/tariffstore.h"
#include "support/consolefixture.h"
#include "support/datarow.h"
#include "support/loopbackagentlink.h"
#include "support/prepaidbooks.h"

#include <QTest>
#include <QThread>

#include <barrier>

namespace {

RateRow row(int minutes, const char* rate)
{
    RateRow r;
    r.timeslice = Money::fromWhole(minutes);
    r.rate = Money::parse(QString::fromLatin1(rate));
    r.rpermin = r.rate.dividedBy(minutes);
    return r;
}

const QDateTime T0(QDate(2026, 12, 5), QTime(18, 0, 0));

// What two desks do at once to the same row, round after round.
enum class Race
{
    Settle,
    Transfer,
    Start,
    StartMember, // one member (a new one each round), on two workstations
    EndTicket,
    EndMember,
    Sale,
};

// Round r's workstations, and their connection indexes.
QString ws(char which, int r)
{
    return QStringLiteral("%1%2").arg(QLatin1Char(which)).arg(r);
}
qint64 indexOf(char which, int r)
{
    return 1000 + 2 * r + (which == 'B' ? 1 : 0);
}

StartRequest startOn(const QString& terminal, const QString& member = {})
{
    StartRequest req;
    req.terminal = terminal;
    req.category = QStringLiteral("Normal");
    req.memberId = member;
    req.memberPassword = member.isEmpty() ? QString() : QStringLiteral("pw");
    req.typedPassword = req.memberPassword;
    return req;
}

} // namespace

// The cashier's side of prepaid time on a real database: the Tickets window's checks and sale
// with its slips, ending or adding credit to a prepaid session from the session list, and two
// desks billing, moving and starting the same sessions at once.
class TestPrepaidCounter : public QObject, public ConsoleFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        openConsole();
        Clock::setFixed(T0);
        QVERIFY(TariffStore(*m_db).save(QStringLiteral("Normal"), QString(), true,
                                        {row(30, "20"), row(60, "35")}, {}));
    }
    void cleanup() { closeConsole(); }

    void theSaleIsChecked_data()
    {
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("count");
        QTest::addColumn<bool>("byMinutes");
        QTest::addColumn<QString>("value");
        QTest::addColumn<int>("expiresInDays"); // -1000: no expiry
        QTest::addColumn<QString>("error");
        const int never = -1000;
        const QString sold;
        dataRow("sold", " normal", "500", false, "25", 0, sold);
        dataRow("by minutes", "Normal", "1", true, "90", never, sold);
        dataRow("no category", "Games", "1", false, "25", never, TicketsForm::NoCategory);
        dataRow("none", "Normal", "0", false, "25", never, TicketsForm::BadCount);
        dataRow("too many", "Normal", "501", false, "25", never, TicketsForm::BadCount);
        dataRow("zero amount", "Normal", "1", false, "0.00", never, TicketsForm::BadAmount);
        dataRow("below the digits", "Normal", "1", false, "0.004", never, TicketsForm::BadAmount);
        dataRow("no minutes", "Normal", "1", true, "0", never, TicketsForm::BadMinutes);
        dataRow("part minutes", "Normal", "1", true, "1.5", never, TicketsForm::BadMinutes);
        dataRow("expired yesterday", "Normal", "1", false, "25", -1, TicketsForm::PastExpiry);
    }
    void theSaleIsChecked()
    {
        QFETCH(QString, category);
        QFETCH(QString, count);
        QFETCH(bool, byMinutes);
        QFETCH(QString, value);
        QFETCH(int, expiresInDays);
        QFETCH(QString, error);
        const bool expires = expiresInDays != -1000;
        const QDate day = T0.date().addDays(expiresInDays);
        QString said;
        const auto sale =
            TicketsForm(*m_db, 2).check({category, count, byMinutes, value, expires, day}, &said);
        QCOMPARE(said, error);
        QCOMPARE(sale.has_value(), error.isEmpty());
        if (sale) {
            QCOMPARE(sale->category, QStringLiteral("Normal"));
        }
    }

    void aSaleOpensSlipsWithEveryCode()
    {
        TicketsForm form(*m_db, 2);
        const TicketSaleResult sold =
            form.sell({QStringLiteral("Normal"), QStringLiteral("7"), false, QStringLiteral("25"),
                       true, T0.date().addDays(30)});
        QVERIFY2(sold.ok, qPrintable(sold.error));
        const ReportDocument slips = form.slips(sold.tickets);
        const QString text = ReportWriter::toText(slips);
        for (const Ticket& t : sold.tickets) {
            QVERIFY2(text.contains(TicketCodes::grouped(t.code)), qPrintable(t.code));
        }
        QCOMPARE(text.count(TicketSlips::HowTo.left(20)), 7);

        form.reload();
        const QString code = form.tickets().first().code;
        m_prompt->answerNext(Prompt::Answer::No);
        QVERIFY(!form.voidTicket(code));
        m_prompt->answerNext(Prompt::Answer::Yes);
        QVERIFY(form.voidTicket(code));
        form.reload();
        QCOMPARE(TicketsForm::stateText(*TicketStore(*m_db, 2).find(code), T0),
                 QStringLiteral("Voided"));
    }

    // Each desk its own connection: under PostgreSQL's read committed both read the row before
    // either writes, and only the claims keep them from both billing it.
    void twoDesksAtOnce_data()
    {
        QTest::addColumn<Race>("race");
        QTest::addColumn<int>("winners");
        QTest::addColumn<int>("bills"); // per round
        QTest::newRow("settle") << Race::Settle << 1 << 1;
        QTest::newRow("transfer") << Race::Transfer << 1 << 0;
        QTest::newRow("start") << Race::Start << 1 << 0;
        QTest::newRow("start one member twice") << Race::StartMember << 1 << 0;
        QTest::newRow("end a ticket's session") << Race::EndTicket << 1 << 2;
        QTest::newRow("end a member's session") << Race::EndMember << 1 << 1;
        QTest::newRow("sell tickets") << Race::Sale << 2 << 2;
    }
    void twoDesksAtOnce()
    {
        QFETCH(Race, race);
        QFETCH(int, winners);
        QFETCH(int, bills);
        constexpr int Rounds = 50;
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO members (memberid, Password, category, ob) "
                                         "VALUES ('M-1', 'pw', 'Normal', 100000)")));
        QList<qint64> rowid(Rounds);
        QList<QDateTime> sstart(Rounds);
        const auto prepare = [&](int r) {
            Clock::setFixed(T0);
            for (char w : {'A', 'B'}) {
                if (w == 'A' || race == Race::Transfer || race == Race::StartMember) {
                    m_db->run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES (?, ?, ?)"),
                              {ws(w, r), QStringLiteral("10.1.0.%1").arg(w), indexOf(w, r)});
                }
            }
            m_db->run(QStringLiteral("INSERT INTO members (memberid, Password, category) VALUES "
                                     "(?, 'pw', 'Normal')"),
                      {ws('S', r)});
            PrepaidService prepaid(*m_db, 2);
            if (race == Race::Settle || race == Race::Transfer) {
                SessionService(*m_db).start(
                    startOn(ws('A', r), race == Race::Settle ? QStringLiteral("M-1") : QString()));
            } else if (race == Race::EndTicket) {
                const auto sold = TicketStore(*m_db, 2).sell(
                    {QStringLiteral("Normal"), 1, Money::fromWhole(50), 0, {}});
                prepaid.login(
                    indexOf('A', r), {},
                    {Proto::PrepaidCredentials::Kind::Ticket, sold.tickets.value(0).code, {}});
            } else if (race == Race::EndMember) {
                prepaid.login(indexOf('A', r), {},
                              {Proto::PrepaidCredentials::Kind::Member, QStringLiteral("M-1"),
                               QStringLiteral("pw")});
            }
            const auto s = SessionService(*m_db).findSession(ws('A', r));
            rowid[r] = s ? s->rowid : 0;
            sstart[r] = s ? s->sstart : QDateTime();
            Clock::setFixed(T0.addSecs(30 * 60));
            return race == Race::Start || race == Race::StartMember || race == Race::Sale ||
                   rowid[r] > 0;
        };
        const auto act = [&](Database& db, int r, int desk) {
            switch (race) {
            case Race::Settle: {
                SettleRequest req;
                req.sessionRowid = rowid[r];
                req.sstart = sstart[r];
                req.userLabel = QStringLiteral("Normal");
                req.received = req.charge = req.net = Money::fromWhole(20);
                return SessionService(db).settle(req).ok;
            }
            case Race::Transfer:
                return SessionService(db).transfer(rowid[r], ws('B', r)).ok;
            case Race::Start:
                return SessionService(db).start(startOn(ws('A', r))).ok;
            case Race::StartMember:
                return SessionService(db)
                    .start(startOn(ws(desk == 0 ? 'A' : 'B', r), ws('S', r)))
                    .ok;
            case Race::EndTicket:
            case Race::EndMember:
                return PrepaidService(db, 2).end(rowid[r], PrepaidEndReason::LoggedOff).ok;
            case Race::Sale:
                return TicketStore(db, 2)
                    .sell({QStringLiteral("Normal"), 1, Money::fromWhole(10), 0, {}})
                    .ok;
            }
            return false;
        };

        std::barrier sync(3);
        bool prepared = true;
        std::array<QList<int>, 2> won{QList<int>(Rounds), QList<int>(Rounds)};
        std::array<bool, 2> opened{};
        std::array<std::unique_ptr<QThread>, 2> desks;
        for (int desk = 0; desk < 2; ++desk) {
            desks[desk].reset(QThread::create([&, desk] {
                Database db;
                opened[desk] = db.open(m_db->target());
                for (int r = 0; r < Rounds; ++r) {
                    sync.arrive_and_wait();
                    won[desk][r] = prepared && opened[desk] && act(db, r, desk) ? 1 : 0;
                    sync.arrive_and_wait();
                }
            }));
            desks[desk]->start();
        }
        for (int r = 0; r < Rounds; ++r) {
            prepared = prepared && prepare(r);
            sync.arrive_and_wait();
            sync.arrive_and_wait();
        }
        for (auto& d : desks) {
            d->wait();
        }
        QVERIFY(opened[0] && opened[1] && prepared);
        for (int r = 0; r < Rounds; ++r) {
            const int through = won[0][r] + won[1][r];
            QVERIFY2(through == winners,
                     qPrintable(QStringLiteral("round %1: %2 went through").arg(r).arg(through)));
        }

        // Bill numbers from 1 on, each once; a session never billed twice.
        const auto n = m_db->firstRow(QStringLiteral(
            "SELECT count(*), count(DISTINCT billno), coalesce(max(billno), 0) FROM history"));
        QCOMPARE(n->value(0).toInt(), Rounds * bills);
        QCOMPARE(n->value(1).toInt(), Rounds * bills);
        QCOMPARE(n->value(2).toInt(), Rounds * bills);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT billno FROM defalt")).toInt(),
                 Rounds * bills + 1);
        // Every workstation either ready or in one session.
        QCOMPARE(m_db->scalar(QStringLiteral(
                                  "SELECT count(*) FROM (SELECT name FROM (SELECT terminal AS "
                                  "name FROM terminals UNION ALL SELECT name FROM online) w "
                                  "GROUP BY name HAVING count(*) <> 1) bad"))
                     .toInt(),
                 0);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM terminals WHERE memberid IS "
                                             "NOT NULL"))
                     .toInt(),
                 race == Race::StartMember ? Rounds : 0);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM transactions WHERE debit IS "
                                             "NOT NULL"))
                     .toInt(),
                 race == Race::Settle || race == Race::EndMember ? Rounds : 0);
        // Each member bill debited once, by its amount; each ticket worth its credit and bills.
        checkPrepaidBooks(*m_db);
    }

    void addCreditAndEndFromTheList()
    {
        LoopbackAgentLink link;
        const qint64 index = link.connectAgent();
        QVERIFY(index > 0);
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES (?, ?, ?)"),
                          {QStringLiteral("PC03"), QStringLiteral("127.0.0.1"), index}));
        const QString code = TicketStore(*m_db, 2)
                                 .sell({QStringLiteral("Normal"), 1, Money::fromWhole(20), 0, {}})
                                 .tickets.value(0)
                                 .code;
        PrepaidService service(*m_db, 2);
        const PrepaidLoginResult in =
            service.login(index, QStringLiteral("127.0.0.1"),
                          {Proto::PrepaidCredentials::Kind::Ticket, code, {}});
        QVERIFY2(in.ok, qPrintable(in.refusal));

        PrepaidCounter counter(*m_db, 2, &link);
        Clock::setFixed(T0.addSecs(10 * 60));
        LiveSessions live(*m_db, 2, &link);

        const PrepaidSession picked = *counter.prepaid(in.rowid);
        QVERIFY(!counter.addCredit(picked, QStringLiteral("0")));
        QCOMPARE(m_prompt->lastText(), PrepaidCounter::BadAmount);
        link.received(index, 1, 200); // what the login sent
        // Meanwhile the row was ended and its rowid reused by a session on another workstation.
        const QString moved = QStringLiteral("UPDATE terminals SET terminal = ?");
        QVERIFY(m_db->run(moved, {QStringLiteral("PC09")}));
        QVERIFY(!counter.addCredit(picked, QStringLiteral("15")));
        QCOMPARE(m_prompt->lastText(),
                 QStringLiteral("This session has already been ended or moved."));
        QVERIFY(m_db->run(moved, {picked.terminal}));
        QVERIFY(counter.addCredit(picked, QStringLiteral("15")));
        QVERIFY(link.received(index).contains("|PREPAID_TIME|"));
        live.reload();
        QCOMPARE(LiveSessions::timeLeftText(live.sessions().first()), QStringLiteral("0:50"));
        QCOMPARE(live.creditLeftText(live.sessions().first()), QStringLiteral("15.00"));

        m_prompt->answerNext(Prompt::Answer::No);
        QVERIFY(!counter.end(in.rowid));
        QVERIFY(counter.prepaid(in.rowid).has_value());
        const QString restarted = QStringLiteral("UPDATE terminals SET sstart = ?");
        m_prompt->answerNext(Prompt::Answer::Yes);
        m_prompt->whileAsking(
            [&] { m_db->run(restarted, {QStringLiteral("2026-12-07 09:00:00")}); });
        QVERIFY(!counter.end(in.rowid));
        QVERIFY(counter.prepaid(in.rowid).has_value());
        QVERIFY(m_db->run(restarted, {Database::timeText(picked.sstart)}));
        m_prompt->answerNext(Prompt::Answer::Yes);
        QVERIFY(counter.end(in.rowid));
        QCOMPARE(m_prompt->asked().last().text, PrepaidCounter::EndQuestion.arg("PC03"));
        QCOMPARE(count(QStringLiteral("terminals")), 0);
        QCOMPARE(count(QStringLiteral("online")), 1);
        // Ten minutes of the half-hour slice, paid from the ticket.
        QCOMPARE(TicketStore(*m_db, 2).find(code)->credit, Money::fromWhole(15));
    }
};

QTEST_MAIN(TestPrepaidCounter)
#include "tst_prepaidcounter.moc"
