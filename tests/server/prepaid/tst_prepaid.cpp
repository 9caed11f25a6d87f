// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "common/protocol.h"
#include "server/accounts/consolesettings.h"
#include "server/accounts/reportcomposer.h"
#include "server/core/database.h"
#include "server/prepaid/membercredit.h"
#include "server/prepaid/prepaidservice.h"
#include "server/prepaid/ticketcodes.h"
#include "server/prepaid/ticketstore.h"
#include "server/sessions/sessionservice.h"
#include "server/sessions/tariffstore.h"
#include "support/consolefixture.h"
#include "support/datarow.h"
#include "support/prepaidbooks.h"
#include "support/tariffrows.h"

#include <QSet>
#include <QSqlRecord>
#include <QTest>

namespace {

using Kind = Proto::PrepaidCredentials::Kind;

const QDateTime T0(QDate(2026, 12, 7), QTime(10, 0));

} // namespace

// A cafe with one tariff (1.00 a minute, the first minute at least), one category without
// rates, two members and four workstations, PC-03 unlocked for service.
class TstPrepaid : public QObject, public ConsoleFixture
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup()
    {
        m_svc.reset();
        closeConsole();
    }
    void login_data();
    void login();
    void end_data();
    void end();
    void failedWriteOfAnEndLeavesTheSessionRunning();
    void sale();
    void accountsStayBalancedThroughASequence();

private:
    PrepaidLoginResult logIn(Kind kind, const QString& id, qint64 index,
                             const QString& password = {})
    {
        return m_svc->login(index, QStringLiteral("10.0.0.%1").arg(index), {kind, id, password});
    }
    Ticket sell(const QString& category = QStringLiteral("Browsing"), const char* amount = "10")
    {
        const TicketSaleResult r = TicketStore(*m_db, 2).sell({category, 1, m(amount), 0, {}});
        return r.tickets.value(0);
    }
    Money memberBalance(const QString& id) const { return MemberCredit(*m_db).balance(id); }
    // A bill's columns as text: amounts to two digits, a missing value as "-".
    QString bill(qint64 billno, const QString& columns) const
    {
        const auto r = m_db->firstRow(
            QStringLiteral("SELECT %1 FROM history WHERE billno = ?").arg(columns), {billno});
        const QStringList names = columns.split(QStringLiteral(", "));
        const QStringList amounts{QStringLiteral("charge"), QStringLiteral("netamount"),
                                  QStringLiteral("otheramt"), QStringLiteral("received")};
        QStringList out;
        for (int i = 0; r && i < names.size(); ++i) {
            const QVariant v = r->value(i);
            out << (v.isNull()                   ? QStringLiteral("-")
                    : amounts.contains(names[i]) ? Money::fromVariant(v).toFixed(2)
                                                 : v.toString());
        }
        return out.join(u'|');
    }
    // Tariffs by the minute: the first minute at least.
    bool saveTariff(const char* minute, const char* hour, bool isNew)
    {
        TariffSettings perMinute;
        perMinute.chargebyminute = true;
        return TariffStore(*m_db).save(QStringLiteral("Browsing"), QString(), isNew,
                                       {row("1", minute, minute), row("60", hour, minute)},
                                       perMinute);
    }

    std::unique_ptr<PrepaidService> m_svc;
};

void TstPrepaid::init()
{
    openConsole();
    Clock::setFixed(T0);
    QVERIFY(saveTariff("1", "60", true));
    QVERIFY(m_db->run(QStringLiteral("INSERT INTO user_category (\"user\") VALUES ('NoRates')")));
    QVERIFY(
        m_db->run(QStringLiteral("INSERT INTO members (memberid, Password, category, ob) "
                                 "VALUES ('M-001', 'pw', 'Browsing', 20), ('M-002', 'pw', "
                                 "'Browsing', 5), ('M-003', 'pw', 'NoRates', 50), ('M-004', '  ', "
                                 "'Browsing', 50)")));
    ConsoleSettings(QString()).setPrepaidMinimum(m("5"));
    for (int i = 1; i <= 4; ++i) {
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO online (name, ip, id, unlocked) VALUES (?, "
                                         "?, ?, ?)"),
                          {QStringLiteral("PC-0%1").arg(i), QStringLiteral("10.0.0.%1").arg(i), i,
                           i == 3 ? 1 : 0}));
    }
    m_svc = std::make_unique<PrepaidService>(*m_db, 2);
}

void TstPrepaid::login_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<QString>("id"); // a ticket named by its setup, or a member id
    QTest::addColumn<QString>("password");
    QTest::addColumn<qint64>("index");
    QTest::addColumn<QString>("refusal"); // empty: accepted

    const int t = int(Kind::Ticket);
    const int mb = int(Kind::Member);
    const QString no = PrepaidService::NotAccepted;
    const QString none;
    const qint64 pc1 = 1;
    dataRow("ticket", t, "good", "", pc1, none);
    dataRow("ticket typed loosely", t, "good loose", "", pc1, none);
    dataRow("wrong code", t, "ACDEFGHJKLMN", "", pc1, no);
    dataRow("expired", t, "expired", "", pc1, no);
    dataRow("voided", t, "voided", "", pc1, no);
    dataRow("used up", t, "used up", "", pc1, no);
    dataRow("in use elsewhere", t, "in use", "", pc1, no);
    dataRow("category without rates", t, "no rates", "", pc1, no);
    dataRow("member", mb, "M-001", "pw", pc1, none);
    dataRow("member wrong password", mb, "M-001", "pW", pc1, no);
    dataRow("unknown member", mb, "M-009", "pw", pc1, no);
    dataRow("member in use", mb, "M-001", "pw", pc1, PrepaidService::AccountInUse);
    dataRow("member at the minimum", mb, "M-002", "pw", pc1, PrepaidService::NotEnoughCredit);
    // Anyone who knows the id could spend such a member's credit.
    dataRow("member without a password", mb, "M-004", "", pc1, no);
    dataRow("member category without rates", mb, "M-003", "pw", pc1, no);
    dataRow("workstation in session", t, "good", "", qint64(2), PrepaidService::NotFree);
    dataRow("workstation unlocked", t, "good", "", qint64(3), PrepaidService::NotFree);
    dataRow("no such connection", t, "good", "", qint64(9), PrepaidService::NotFree);
}

void TstPrepaid::login()
{
    QFETCH(int, kind);
    QFETCH(QString, id);
    QFETCH(QString, password);
    QFETCH(qint64, index);
    QFETCH(QString, refusal);

    QHash<QString, Ticket> sold;
    for (const char* name : {"good", "expired", "voided", "in use"}) {
        sold[QLatin1String(name)] = sell();
    }
    sold[QStringLiteral("used up")] = sell(QStringLiteral("Browsing"), "0.5"); // not a minute
    sold[QStringLiteral("no rates")] = sell(QStringLiteral("NoRates"), "10");
    const Ticket good = sold.value(QStringLiteral("good"));
    QVERIFY(m_db->run(QStringLiteral("UPDATE tickets SET expires = '2026-12-06 00:00:00' WHERE "
                                     "code = ?"),
                      {sold.value(QStringLiteral("expired")).code}));
    QVERIFY(TicketStore(*m_db, 2).voidTicket(sold.value(QStringLiteral("voided")).code, nullptr));
    // PC-02 is in session on one ticket, PC-04 on M-001.
    QVERIFY(logIn(Kind::Ticket, sold.value(QStringLiteral("in use")).code, 2).ok);
    if (refusal == PrepaidService::AccountInUse) {
        QVERIFY(logIn(Kind::Member, QStringLiteral("M-001"), 4, QStringLiteral("pw")).ok);
    }
    const QString typed = id == QLatin1String("good loose")
                              ? TicketCodes::grouped(good.code).toLower().replace(4, 1, u' ')
                          : sold.contains(id) ? sold.value(id).code
                                              : id;
    const qint64 before = count(QStringLiteral("terminals"));

    const PrepaidLoginResult r = logIn(Kind(kind), typed, index, password);
    QCOMPARE(r.refusal, refusal);
    QCOMPARE(r.ok, refusal.isEmpty());
    if (!r.ok) {
        QCOMPARE(count(QStringLiteral("terminals")), before);
        if (index == 1) {
            QCOMPARE(r.messages.size(), 1);
            QCOMPARE(r.messages.first().bytes, Proto::prepaidRefused(refusal));
        }
        return;
    }
    // Ten minutes for 10.00 on the ticket; twenty for M-001's 20.00.
    const qint64 minutes = kind == int(Kind::Ticket) ? 10 : 20;
    const Proto::PrepaidTimeLeft left{minutes * 60, kind == int(Kind::Ticket) ? "10.00" : "20.00"};
    QCOMPARE(r.messages.size(), 1);
    QCOMPARE(r.messages.first().bytes, Proto::prepaidTime(left) + Proto::StartSession);
    const auto s = m_svc->session(r.rowid);
    QVERIFY(s);
    QCOMPARE(s->terminal, QStringLiteral("PC-01"));
    QCOMPARE(s->timeup, T0.addSecs(minutes * 60));
    QCOMPARE(s->account, kind == int(Kind::Ticket) ? good.code : QStringLiteral("M-001"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM online WHERE id = 1")).toInt(), 0);
    QCOMPARE(TicketStore(*m_db, 2).find(good.code)->state(T0),
             kind == int(Kind::Ticket) ? TicketState::InUse : TicketState::Unused);
}

void TstPrepaid::end_data()
{
    QTest::addColumn<int>("kind");
    QTest::addColumn<int>("why");
    QTest::addColumn<int>("seconds"); // from the login to the end
    QTest::addColumn<bool>("raised"); // the tariff doubled during the session
    QTest::addColumn<QString>("charge");
    QTest::addColumn<int>("billedSeconds");

    const int t = int(Kind::Ticket);
    const int mb = int(Kind::Member);
    const int off = int(PrepaidEndReason::LoggedOff);
    const int up = int(PrepaidEndReason::TimeUp);
    dataRow("ticket logged off", t, off, 210, false, "3", 210);
    dataRow("ticket ended by the cashier", t, int(PrepaidEndReason::Cashier), 59, false, "1", 59);
    dataRow("ticket ended long after its time", t, up, 7200, false, "10", 600);
    dataRow("ticket, tariff raised meanwhile", t, up, 7200, true, "10", 600);
    dataRow("member logged off", mb, off, 300, false, "5", 300);
    dataRow("member ended long after its time", mb, up, 7200, false, "20", 1200);
    dataRow("member, tariff raised meanwhile", mb, off, 900, true, "20", 900);
}

void TstPrepaid::end()
{
    QFETCH(int, kind);
    QFETCH(int, why);
    QFETCH(int, seconds);
    QFETCH(bool, raised);
    QFETCH(QString, charge);
    QFETCH(int, billedSeconds);

    const bool ticket = kind == int(Kind::Ticket);
    const Ticket tk = sell();
    const PrepaidLoginResult in =
        ticket ? logIn(Kind::Ticket, tk.code, 1)
               : logIn(Kind::Member, QStringLiteral("M-001"), 1, QStringLiteral("pw"));
    QVERIFY(in.ok);
    if (raised) {
        QVERIFY(saveTariff("2", "120", false));
    }
    const qint64 nextBill = m_db->scalar(QStringLiteral("SELECT billno FROM defalt")).toLongLong();
    Clock::advance(seconds);

    // A row picked before it changed is not ended.
    QVERIFY(!m_svc->end(in.rowid, PrepaidEndReason(why), T0.addSecs(-1)).ok);
    const SettleResult r = m_svc->end(in.rowid, PrepaidEndReason(why), T0);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.billno, nextBill);
    QCOMPARE(r.messages.value(0).bytes, Proto::EndSession);
    const QString c = m(charge.toLatin1()).toFixed(2);
    QCOMPARE(bill(r.billno, QStringLiteral("sstart, send, terminal, \"user\", charge, netamount, "
                                           "otheramt, received, memberid, ticket")),
             QStringLiteral("%1|%2|PC-01|Browsing|%3|%3|-|%4")
                 .arg(Database::timeText(T0), Database::timeText(T0.addSecs(billedSeconds)), c,
                      ticket ? c + QStringLiteral("|-|") + tk.code : QStringLiteral("-|M-001|-")));
    if (ticket) {
        const Ticket after = *TicketStore(*m_db, 2).find(tk.code);
        QCOMPARE(after.credit, m("10") - m(charge.toLatin1()));
        QCOMPARE(after.lastUse, T0.addSecs(billedSeconds));
    } else {
        QCOMPARE(memberBalance(QStringLiteral("M-001")), m("20") - m(charge.toLatin1()));
    }
    QCOMPARE(count(QStringLiteral("terminals")), 0);
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT unlocked FROM online WHERE id = 1")).toInt(), 0);
    checkPrepaidBooks(*m_db);
    // Ended once: a second end of the same row is refused and bills nothing.
    QVERIFY(!m_svc->end(in.rowid, PrepaidEndReason::Cashier).ok);
    QCOMPARE(count(QStringLiteral("history")), 2);
}

void TstPrepaid::failedWriteOfAnEndLeavesTheSessionRunning()
{
    for (const Kind kind : {Kind::Ticket, Kind::Member}) {
        const Ticket tk = sell();
        const PrepaidLoginResult in =
            logIn(kind, kind == Kind::Ticket ? tk.code : QStringLiteral("M-001"), 1,
                  QStringLiteral("pw"));
        QVERIFY(in.ok);
        Clock::advance(120);
        const auto snapshot = [this] {
            QList<QList<QSqlRecord>> out;
            for (const char* t :
                 {"history", "transactions", "tickets", "defalt", "online", "terminals"}) {
                out << m_db->rows(QStringLiteral("SELECT * FROM ") + QLatin1String(t));
            }
            return out;
        };
        const auto before = snapshot();
        int failAt = 1;
        for (;; ++failAt) {
            int writes = 0;
            m_svc->setWriteHook([&](int n) {
                writes = n;
                return n != failAt;
            });
            const SettleResult r = m_svc->end(in.rowid, PrepaidEndReason::LoggedOff);
            if (writes < failAt) {
                QVERIFY(r.ok); // every write made: the hook never failed one
                break;
            }
            QVERIFY(!r.ok);
            QVERIFY(r.messages.isEmpty());
            QVERIFY(snapshot() == before);
        }
        QVERIFY(failAt > 4); // bill, deduction, bill number, online row, session row
        m_svc->setWriteHook({});
        QCOMPARE(count(QStringLiteral("terminals")), 0);
    }
    checkPrepaidBooks(*m_db);
}

void TstPrepaid::sale()
{
    TicketStore store(*m_db, 2);
    // The category is stored as the tariff spells it.
    TicketSale s{QStringLiteral("browsing"), 5, m("12.345"), 0, QDate(2027, 1, 31)};
    const TicketSaleResult r = store.sell(s);
    QVERIFY2(r.ok, qPrintable(r.error));
    QCOMPARE(r.tickets.size(), 5);
    QSet<QString> codes;
    for (const Ticket& t : r.tickets) {
        codes.insert(t.code);
        QCOMPARE(t.code.size(), TicketCodes::Length);
        const Ticket stored = *store.find(TicketCodes::grouped(t.code).toLower());
        QCOMPARE(stored.value, m("12.34"));
        QCOMPARE(stored.credit, m("12.34"));
        QCOMPARE(stored.billno, r.billno);
        QCOMPARE(stored.category, QStringLiteral("Browsing"));
        QCOMPARE(stored.expires, s.expires);
    }
    QCOMPARE(codes.size(), 5);
    QCOMPARE(count(QStringLiteral("history")), 1);
    QCOMPARE(bill(r.billno, QStringLiteral("terminal, \"user\", duration, charge, otheramt, "
                                           "netamount, received, ticket")),
             QStringLiteral("Tickets|Browsing|5 tickets|0.00|61.70|61.70|61.70|-"));
    QCOMPARE(m_db->scalar(QStringLiteral("SELECT billno FROM defalt")).toLongLong(), r.billno + 1);

    // Sold as minutes: priced by the tariff; a price of nothing is refused.
    s.count = 1;
    s.minutes = 90;
    const TicketSaleResult byMinutes = store.sell(s);
    QVERIFY(byMinutes.ok);
    QCOMPARE(byMinutes.tickets.first().value, m("90"));
    s.category = QStringLiteral("NoRates");
    QVERIFY(!store.sell(s).ok);
    s.count = TicketStore::MaxBatch + 1;
    QVERIFY(!store.sell(s).ok);
    QCOMPARE(count(QStringLiteral("history")), 2);

    // A ticket in use is not voided; an unused one is.
    QVERIFY(logIn(Kind::Ticket, r.tickets[0].code, 1).ok);
    QString error;
    QVERIFY(!store.voidTicket(r.tickets[0].code, &error));
    QCOMPARE(error, TicketStore::InUseError);
    QVERIFY(store.voidTicket(r.tickets[1].code, &error));
    QCOMPARE(store.find(r.tickets[1].code)->state(T0), TicketState::Voided);
}

void TstPrepaid::accountsStayBalancedThroughASequence()
{
    const Ticket tk = sell();
    const PrepaidLoginResult a = logIn(Kind::Ticket, tk.code, 1);
    const PrepaidLoginResult b =
        logIn(Kind::Member, QStringLiteral("M-001"), 4, QStringLiteral("pw"));
    QVERIFY(a.ok && b.ok);

    // The pay-at-the-end settlement does not bill a prepaid session.
    SettleRequest settle;
    settle.sessionRowid = a.rowid;
    settle.sstart = T0;
    const SettleResult refused = SessionService(*m_db).settle(settle);
    QVERIFY(!refused.ok);
    QCOMPARE(refused.error, SessionService::PrepaidRefusal);

    Clock::advance(300);
    QList<AgentMessage> out;
    QString error;
    QVERIFY(m_svc->addCredit(a.rowid, m("5"), &error, &out));
    QVERIFY(m_svc->addCredit(b.rowid, m("10"), &error, &out));
    QVERIFY(!m_svc->addCredit(b.rowid, m("0"), &error, &out));
    QCOMPARE(out.size(), 2);
    QCOMPARE(out[0].bytes, Proto::prepaidTime({600, QStringLiteral("10.00")}));
    QCOMPARE(out[1].bytes, Proto::prepaidTime({1500, QStringLiteral("25.00")}));

    // The ticket session moves to PC-02 with its credit and time up, and opens there at once.
    const TransferResult moved = SessionService(*m_db).transfer(a.rowid, QStringLiteral("PC-02"));
    QVERIFY2(moved.ok, qPrintable(moved.error));
    QCOMPARE(moved.messages.value(0).index, qint64(2));
    QCOMPARE(moved.messages[0].bytes,
             Proto::prepaidTime({600, QStringLiteral("10.00")}) + Proto::StartSession);
    QCOMPARE(moved.messages.value(1).bytes, Proto::EndSession);
    QCOMPARE(m_svc->sessionOn(2)->credit, m("15"));

    Clock::advance(120);
    QVERIFY(m_svc->end(a.rowid, PrepaidEndReason::LoggedOff).ok);
    QVERIFY(m_svc->end(b.rowid, PrepaidEndReason::Cashier).ok);
    // What is left is used again the same day.
    QVERIFY(logIn(Kind::Ticket, tk.code, 1).ok);
    Clock::advance(3600);
    QVERIFY(m_svc->end(m_svc->due(Clock::now()).value(0), PrepaidEndReason::TimeUp).ok);
    QCOMPARE(TicketStore(*m_db, 2).find(tk.code)->state(Clock::now()), TicketState::UsedUp);
    QCOMPARE(memberBalance(QStringLiteral("M-001")), m("23"));
    checkPrepaidBooks(*m_db);

    // The takings leave out what the tickets paid: it came in at their sale.
    const ReportDocument doc = ReportComposer::composeHistoryList(
        QStringLiteral("History"),
        m_db->rows(QStringLiteral("SELECT * FROM history ORDER BY rowid")));
    QStringList lines;
    for (const ReportBlock& block : doc.blocks()) {
        for (const ReportRow& row : block.rows) {
            lines << row.cells.join(u'|');
        }
    }
    const QString text = lines.join(u'\n');
    QVERIFY2(text.contains(QStringLiteral("Total : |22")), qPrintable(text));
    QVERIFY2(text.contains(QStringLiteral("Paid from tickets : |15")), qPrintable(text));
}

QTEST_GUILESS_MAIN(TstPrepaid)
#include "tst_prepaid.moc"
