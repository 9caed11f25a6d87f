// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "common/protocol.h"
#include "server/accounts/reportdocument.h"
#include "server/core/database.h"
#include "server/prepaid/prepaidcounter.h"
#include "server/prepaid/ticketcodes.h"
#include "server/prepaid/ticketsform.h"
#include "server/prepaid/ticketslips.h"
#include "server/sessions/livesessions.h"
#include "server/sessions/tariffstore.h"
#include "support/consolefixture.h"
#include "support/loopbackagentlink.h"

#include <QTest>

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

} // namespace

// The cashier's side of prepaid time on a real database file: the Tickets window's checks and
// sale with its slips, and ending or adding credit to a prepaid session from the session list.
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
        QTest::newRow("sold") << " normal"
                              << "500" << false << "25" << 0 << QString();
        QTest::newRow("by minutes") << "Normal"
                                    << "1" << true << "90" << never << QString();
        QTest::newRow("no category") << "Games"
                                     << "1" << false << "25" << never << TicketsForm::NoCategory;
        QTest::newRow("none") << "Normal"
                              << "0" << false << "25" << never << TicketsForm::BadCount;
        QTest::newRow("too many") << "Normal"
                                  << "501" << false << "25" << never << TicketsForm::BadCount;
        QTest::newRow("no count") << "Normal"
                                  << "" << false << "25" << never << TicketsForm::BadCount;
        QTest::newRow("zero amount") << "Normal"
                                     << "1" << false << "0.00" << never << TicketsForm::BadAmount;
        QTest::newRow("below the digits")
            << "Normal"
            << "1" << false << "0.004" << never << TicketsForm::BadAmount;
        QTest::newRow("no amount") << "Normal"
                                   << "1" << false << "" << never << TicketsForm::BadAmount;
        QTest::newRow("no minutes") << "Normal"
                                    << "1" << true << "0" << never << TicketsForm::BadMinutes;
        QTest::newRow("part minutes") << "Normal"
                                      << "1" << true << "1.5" << never << TicketsForm::BadMinutes;
        QTest::newRow("expired yesterday") << "Normal"
                                           << "1" << false << "25" << -1 << TicketsForm::PastExpiry;
    }
    void theSaleIsChecked()
    {
        QFETCH(QString, category);
        QFETCH(QString, count);
        QFETCH(bool, byMinutes);
        QFETCH(QString, value);
        QFETCH(int, expiresInDays);
        QFETCH(QString, error);
        TicketsForm form(*m_db, 2);
        TicketsForm::Entry e{category,
                             count,
                             byMinutes,
                             value,
                             expiresInDays != -1000,
                             T0.date().addDays(expiresInDays)};
        QString said;
        const auto sale = form.check(e, &said);
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
        QCOMPARE(sold.tickets.size(), 7);
        const ReportDocument slips = form.slips(sold.tickets);
        const QString text = ReportWriter::toText(slips);
        for (const Ticket& t : sold.tickets) {
            QVERIFY2(text.contains(TicketCodes::grouped(t.code)), qPrintable(t.code));
        }
        QCOMPARE(text.count(TicketSlips::HowTo.left(20)), 7);
        // Several to a page: seven slips fill four rows of one page.
        QCOMPARE(ReportPages(slips).pageCount(), 1);

        QCOMPARE(form.reload().size(), 7);
        QCOMPARE(TicketsForm::stateText(form.tickets().first(), T0), QStringLiteral("Unused"));
        const QString code = form.tickets().first().code;
        m_prompt->answerNext(Prompt::Answer::No);
        QVERIFY(!form.voidTicket(code));
        m_prompt->answerNext(Prompt::Answer::Yes);
        QVERIFY(form.voidTicket(code));
        form.reload();
        QCOMPARE(TicketsForm::stateText(*TicketStore(*m_db, 2).find(code), T0),
                 QStringLiteral("Voided"));
    }

    void addCreditAndEndFromTheList()
    {
        LoopbackAgentLink link;
        const qint64 index = link.connectAgent();
        QVERIFY(index > 0);
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES (?, ?, ?)"),
                          {QStringLiteral("PC03"), QStringLiteral("127.0.0.1"), index}));
        TicketsForm form(*m_db, 2);
        const TicketSaleResult sold = form.sell({QStringLiteral("Normal"),
                                                 QStringLiteral("1"),
                                                 false,
                                                 QStringLiteral("20"),
                                                 false,
                                                 {}});
        QVERIFY(sold.ok);
        const QString code = sold.tickets.first().code;
        PrepaidService service(*m_db, 2);
        Proto::PrepaidCredentials c;
        c.kind = Proto::PrepaidCredentials::Kind::Ticket;
        c.id = code;
        const PrepaidLoginResult in = service.login(index, QStringLiteral("127.0.0.1"), c);
        QVERIFY2(in.ok, qPrintable(in.refusal));

        PrepaidCounter counter(*m_db, 2, &link);
        Clock::setFixed(T0.addSecs(10 * 60));
        LiveSessions live(*m_db, 2, &link);
        live.reload();
        QCOMPARE(LiveSessions::prepaidText(live.sessions().first()), LiveSessions::TicketMark);
        QCOMPARE(LiveSessions::timeLeftText(live.sessions().first()), QStringLiteral("0:20"));

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
        QCOMPARE(TicketStore(*m_db, 2).find(code)->value, Money::fromWhole(35));
        QCOMPARE(service.session(in.rowid)->credit, Money::fromWhole(35));
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
        // Ten minutes of the half-hour slice, paid from the ticket: no money at the counter.
        QCOMPARE(
            m_db->scalar(QStringLiteral("SELECT netamount FROM history WHERE ticket = ?"), {code})
                .toDouble(),
            20.0);
        QCOMPARE(TicketStore(*m_db, 2).find(code)->credit, Money::fromWhole(15));
        QVERIFY(!link.received(index).isEmpty());
    }
};

QTEST_MAIN(TestPrepaidCounter)
#include "tst_prepaidcounter.moc"
