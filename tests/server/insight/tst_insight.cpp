// SPDX-License-Identifier: Apache-2.0
// The takings and the shifts against what the history and the ledger hold: exact sums equal to
// the history report's, the busy hours of known sessions, and shifts that share no bill.

#include "server/accounts/historyreport.h"
#include "server/accounts/housekeeping.h"
#include "server/accounts/reportcomposer.h"
#include "server/insight/shiftcloseform.h"
#include "server/insight/takingsview.h"
#include "support/billedsession.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

class TstInsight : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    void bill(const QVariant& billno, const QString& end, const QString& terminal,
              const QString& category, double charge, double other, double net, double received,
              const QString& ticket = {})
    {
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO history (billno, sstart, send, terminal, "
                                         "\"user\", charge, otheramt, netamount, received, ticket) "
                                         "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                          {billno, end, end, terminal, category, charge, other, net, received,
                           ticket.isEmpty() ? QVariant() : QVariant(ticket)}));
    }
    void ledger(const QString& date, const QString& part, double credit)
    {
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO transactions (memberid, Date, part, credit) "
                                         "VALUES ('M1', ?, ?, ?)"),
                          {date, part, credit}));
    }
    QString historyTotal(qint64 from, qint64 to)
    {
        const auto s =
            HistoryReport::byBillRange(*m_db, QString::number(from), QString::number(to));
        const ReportDocument doc = ReportComposer::composeHistoryList(s.title, s.rows);
        for (int i = 0; i < doc.blocks().size(); ++i) {
            for (const QStringList& row : doc.tableRows(i)) {
                if (row.value(0) == QLatin1String("Total : ")) {
                    return row.at(1);
                }
            }
        }
        return QStringLiteral("0"); // nothing found: nothing billed
    }

private Q_SLOTS:
    void init() { openConsole(); }
    void cleanup() { closeConsole(); }

    void takingsMatchTheHistory_data();
    void takingsMatchTheHistory();
    void busyHours();
    void shiftsShareNoBill();
};

void TstInsight::takingsMatchTheHistory_data()
{
    QTest::addColumn<bool>("month");
    QTest::addColumn<QDate>("date");
    QTest::addColumn<qint64>("firstBill");
    QTest::addColumn<qint64>("lastBill");
    QTest::addColumn<QString>("billedPerBucket"); // label=billed of the non-empty buckets
    QTest::addColumn<QStringList>("figures");     // job work, tickets, top-ups, received
    const QDate a(2026, 11, 2);
    dataRow("day", false, a, qint64(3), qint64(7), QStringLiteral("09=30.3 14=50 23=0.3"),
            QStringList{"2.4", "50", "25.05", "105.35"});
    dataRow("month", true, a, qint64(3), qint64(8), QStringLiteral("2=80.6 3=1"),
            QStringList{"2.4", "50", "35.05", "116.35"});
    dataRow("housekept day", false, QDate(2026, 10, 30), qint64(1), qint64(2), QString(),
            QStringList{"0", "0", "4", "4"});
}

void TstInsight::takingsMatchTheHistory()
{
    QFETCH(bool, month);
    QFETCH(QDate, date);
    QFETCH(qint64, firstBill);
    QFETCH(qint64, lastBill);
    QFETCH(QString, billedPerBucket);
    QFETCH(QStringList, figures);

    QVERIFY(m_db->transaction([&] {
        bill(1, "2026-10-30 10:15:00", "PC1", "Std", 5, 0, 5, 5);
        bill(2, "2026-10-30 11:40:00", "PC2", "Std", 7.5, 0, 7.5, 7.5);
        bill(3, "2026-11-02 09:10:00", "PC1", "Std", 10.1, 2.2, 12.3, 12.3);
        bill(4, "2026-11-02 09:50:00", "PC2", "Games", 20.2, 0, 18, 18);      // net by hand
        bill(5, "2026-11-02 14:05:00", "Tickets", "Std", 0, 50, 50, 50);      // a ticket sale
        bill(6, "2026-11-02 14:30:00", "PC1", "Std", 3.3, 0, 3.3, 3.3, "T1"); // paid from it
        bill(7, "2026-11-02 23:59:59", "PC3", "Games", 0.1, 0.2, 0.3, 0);     // a member's
        bill(8, "2026-11-03 00:00:00", "PC1", "Std", 1, 0, 1, 1);
        bill(QVariant(), "2026-11-02 12:00:00", "PC1", "Std", 9, 0, 9, 9); // maintenance
        ledger("2026-10-30 09:00:00", "Top-up", 4);
        ledger("2026-11-02 10:00:00", "Top-up", 25);
        ledger("2026-11-02 14:10:00", "Top-up", 0.05);
        ledger("2026-11-02 23:00:00", "Received By Bill No 7", 0.3);
        ledger("2026-11-03 08:00:00", "Top-up", 10);
        return true;
    }));
    Housekeeping hk(*m_db);
    auto old = hk.byBillNumbers(QStringLiteral("1"), QStringLiteral("2"));
    QVERIFY(hk.runAll(old));

    TakingsView view(*m_db);
    view.setSpan(month ? TakingsView::Span::Month : TakingsView::Span::Day);
    view.setDate(date);
    view.refresh(QDateTime(QDate(2026, 12, 1), QTime(0, 0)));
    const Takings::Period& p = view.period();
    QCOMPARE(p.total.billed().toString(), historyTotal(firstBill, lastBill));
    QStringList perBucket;
    for (int i = 0; i < p.buckets.size(); ++i) {
        if (!p.buckets.at(i).billed().isZero()) {
            perBucket << view.bucketLabels().at(i) + QLatin1Char('=') +
                             p.buckets.at(i).billed().toString();
        }
    }
    QCOMPARE(perBucket.join(QLatin1Char(' ')), billedPerBucket);
    QCOMPARE((QStringList{p.total.jobWork.toString(), p.total.tickets.toString(),
                          p.total.topUps.toString(), p.total.received.toString()}),
             figures);
    // The table's last row is the total, its billed column the history's sum.
    const QStringList total = view.rows().last();
    QCOMPARE(total.at(view.header().indexOf(QStringLiteral("Billed"))),
             p.total.billed().toString());
}

void TstInsight::busyHours()
{
    // The week ends on Monday 9 November at 12:30: a session across midnight, one begun before
    // the weeks, a running one and a ticket sale, which is no session.
    QVERIFY(m_db->run(QStringLiteral("INSERT INTO history (billno, sstart, send, terminal) VALUES "
                                     "(1, '2026-11-08 23:30:00', '2026-11-09 00:20:00', 'PC1'), "
                                     "(2, '2026-11-02 11:00:00', '2026-11-02 13:10:00', 'PC1'), "
                                     "(3, '2026-11-04 10:00:00', '2026-11-04 10:00:00', "
                                     "'Tickets')")));
    QVERIFY(m_db->run(QStringLiteral("INSERT INTO terminals (terminal, sstart) VALUES "
                                     "('PC2', '2026-11-09 11:10:00')")));
    const auto busy = Takings::busyHours(*m_db, 1, QDateTime(QDate(2026, 11, 9), QTime(12, 30)));
    QStringList seen;
    for (int d = 0; d < 7; ++d) {
        for (int h = 0; h < 24; ++h) {
            for (int n = 0; n < busy.sessions[d][h]; ++n) {
                seen << QStringLiteral("%1:%2").arg(d).arg(h);
            }
        }
    }
    // "weekday:hour", Monday 0, each session counted once in each hour it touched.
    QCOMPARE(seen, (QStringList{"0:0", "0:11", "0:12", "0:12", "0:13", "6:23"}));
}

void TstInsight::shiftsShareNoBill()
{
    Clock::setFixed(QDateTime(QDate(2026, 11, 2), QTime(8, 0)));
    auto settle = [this](const char* received, const char* charge) {
        BilledSession::Bill b;
        b.received = Money::parse(QString::fromLatin1(received));
        b.charge = Money::parse(QString::fromLatin1(charge));
        QVERIFY(BilledSession::settle(*m_db, b).ok);
        Clock::advance(600);
    };
    ShiftCloseForm form(*m_db, QStringLiteral("user"));
    QList<Shifts::Shift> shifts;
    auto closeWith = [&](const char* counted) {
        form.load(Clock::now());
        form.setCounted(QLatin1String(counted));
        m_prompt->answerNext(Prompt::Answer::Yes);
        const auto s = form.close(Clock::now());
        QVERIFY(s);
        shifts << *s;
    };

    ledger(Database::timeText(Clock::now()), QStringLiteral("Top-up"), 20);
    settle("0.1", "0.1");
    settle("0.2", "0.5"); // half paid
    closeWith("20.25");
    // A top-up in the second of the close is the next shift's.
    ledger(Database::timeText(Clock::now()), QStringLiteral("Top-up"), 5);
    // The old bills housekept and the numbers begun again: bill 1 comes once more.
    QVERIFY(m_db->run(QStringLiteral("DELETE FROM history")));
    QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET billno = 1")));
    settle("3", "3");
    settle("4", "4");
    closeWith("12");
    closeWith("0"); // nothing since

    QCOMPARE(count(QStringLiteral("shifts")), 3);
    QCOMPARE(
        m_db->scalar(QStringLiteral("SELECT count(*) FROM history WHERE shift IS NULL")).toInt(),
        0);
    const QList<QStringList> expected{
        {"2", "1", "2", "0.6", "20", "20.3", "-0.05"},
        {"2", "1", "2", "7", "5", "12", "0"},
        {"0", "0", "0", "0", "0", "0", "0"},
    };
    for (int i = 0; i < shifts.size(); ++i) {
        const auto stored = Shifts::find(*m_db, shifts.at(i).id);
        QVERIFY(stored);
        const Shifts::Figures& f = stored->figures;
        QCOMPARE((QStringList{QString::number(f.bills), QString::number(f.firstBill),
                              QString::number(f.lastBill), f.time.toString(), f.topUps.toString(),
                              f.expected.toString(), f.difference().toString()}),
                 expected.at(i));
        QCOMPARE(f.closedBy, QStringLiteral("user"));
        if (i > 0) {
            QCOMPARE(f.opened, shifts.at(i - 1).figures.closed);
        }
        if (i == 1) {
            QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM history WHERE shift = ?"),
                                  {stored->id})
                         .toInt(),
                     f.bills);
        }
    }
    const ReportDocument doc = Shifts::document(shifts.first());
    QCOMPARE(doc.tableRows(int(doc.blocks().size()) - 1).last(),
             (QStringList{"Difference", "-0.05"}));
}

QTEST_MAIN(TstInsight)
#include "tst_insight.moc"
