// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/housekeeping.h"
#include "server/accounts/optionsmodel.h"
#include "server/accounts/reportcomposer.h"
#include "server/accounts/ui/frmhkeeping.h"
#include "server/core/database.h"
#include "support/billedsession.h"
#include "support/datarow.h"
#include "support/historyfixture.h"
#include "support/memberrows.h"
#include "support/refusedwrites.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestHousekeeping : public QObject, private HistoryFixture
{
    Q_OBJECT

private:
    void addEntry(const QString& date, const QString& credit, const QString& debit)
    {
        MemberRows::addEntry(*m_db, u"M1"_s, date, u"x"_s, credit, debit);
    }
    Money ob()
    {
        return Money::fromVariant(m_db->scalar(u"SELECT ob FROM members WHERE memberid = 'M1'"_s));
    }

private Q_SLOTS:
    void init()
    {
        openHome();
        MemberRows::addMember(*m_db, u"M1"_s, u"Asha"_s, u"100"_s, u"Main Road"_s);
    }
    void cleanup() { closeHome(); }

    void aDayMeansTheWholeDay()
    {
        // Bills 7 and 8: a day written without a time belongs to that day.
        const QStringList starts{"2026-12-29 23:59:59", "2026-12-30 09:00:00",
                                 "2026-12-31 00:00:00", "2026-12-31 12:00:00",
                                 "2026-12-31 23:59:59", "2027-01-01 00:00:00",
                                 "2026-12-30",          "2027-01-01"};
        for (int n = 1; n <= starts.size(); ++n) {
            addBill(n, starts[n - 1]);
        }
        m_prompt->answerNext(Prompt::Answer::Yes, 2);
        FrmHKeeping w(*m_db);
        w.show();
        child<QRadioButton>(w, u"Options_1"_s)->setChecked(true);
        child<QDateEdit>(w, u"DTP_0"_s)->setDate(QDate(2026, 12, 30));
        QCOMPARE(child<QDateEdit>(w, u"DTP_1"_s)->date(), QDate(2026, 12, 31));
        QSignalSpy changed(m_db.get(), &Database::tableChanged);
        QTest::mouseClick(child<QPushButton>(w, u"Cmdhistorydelete"_s), Qt::LeftButton);
        QCOMPARE(bills(), QList<int>({1, 6, 8}));
        QCOMPARE(m_prompt->asked().size(), 2);
        QCOMPARE(m_prompt->asked().at(0).text,
                 u"Do you want to Delete the History Details From Date 30/12/2026 "
                 "to 31/12/2026\rBefore Deleting the History Details Backup the "
                 "Datafiles OR take the Printout"_s);
        for (const auto& a : m_prompt->asked()) {
            QCOMPARE(a.buttons, Prompt::Buttons::YesNoDefaultNo);
            QCOMPARE(a.title, u"Warning"_s);
        }
        QVERIFY(changed.contains(QVariantList{u"history"_s}));
    }

    // A batch that fails stops the run; each batch is whole (bills with their job-work
    // lines), and the operator learns how many rows went and which are left.
    void aFailedBatchIsReportedExactly_data()
    {
        QTest::addColumn<int>("held");
        QTest::addColumn<QString>("report");
        dataRow("past the middle", 3500,
                "History Details Partly Deleted: 3000 of 5000 records were deleted.\r2000 "
                "records were not deleted (Bill No 3001 to 5000). Delete again to remove them.");
        dataRow("in the first batch", 1,
                "History Details Not Deleted: nothing was deleted.\r5000 records were not "
                "deleted (Bill No 1 to 5000). Delete again to remove them.");
    }
    void aFailedBatchIsReportedExactly()
    {
        QFETCH(int, held);
        addBills(5000);
        QVERIFY(m_db->run(u"INSERT INTO jobwork_details (billno, Type, qty, amount) "
                          "VALUES (1, 'Print', 1, 2), (3000, 'Print', 1, 2), "
                          "(3001, 'Print', 1, 2)"_s));
        QVERIFY(refuseWrites(*m_db, u"DELETE"_s, u"history"_s, u"held"_s,
                             u"OLD.billno = %1"_s.arg(held)));
        Housekeeping hk(*m_db);
        auto deletion = hk.byBillNumbers(u"1"_s, u"5000"_s);
        while (hk.step(deletion, 1000)) {
        }
        QVERIFY(deletion.failed());
        QTEST(m_prompt->lastText(), "report");
        QCOMPARE(m_prompt->asked().last().icon, Prompt::Icon::Critical);
        QCOMPARE(count(u"history"_s), 5000 - deletion.done());
        QCOMPARE(count(u"jobwork_details WHERE billno NOT IN (SELECT billno FROM history)"_s), 0);
        QCOMPARE(count(u"jobwork_details"_s), held == 1 ? 3 : 1);
    }

    // Once the next bill number is set back onto housekept bills, the new bill carries only
    // its own job work, also where an earlier housekeeping left the old lines behind.
    void aReusedBillNumberPrintsOnlyItsOwnLines_data()
    {
        QTest::addColumn<bool>("leftBehind");
        QTest::addColumn<qint64>("billno");
        dataRow("lines housekept with their bills", false, qint64(1));
        dataRow("lines left by an earlier housekeeping", true, qint64(3));
    }
    void aReusedBillNumberPrintsOnlyItsOwnLines()
    {
        QFETCH(bool, leftBehind);
        QVERIFY(JobWorkStore(*m_db).saveCatalogue({{u"Print"_s, u"2.5"_s}, {u"Scan"_s, "6"}}));
        const Money ten = Money::fromWhole(10);
        QCOMPARE(BilledSession::settle(*m_db, {{}, {}, ten, {{"Print", "3"}}}).billno, 1);
        QCOMPARE(BilledSession::settle(*m_db, {{}, {}, ten, {{"Scan", "1"}}}).billno, 2);
        Housekeeping hk(*m_db);
        auto deletion = hk.byBillNumbers(u"1"_s, u"2"_s);
        QVERIFY(hk.runAll(deletion));
        QCOMPARE(count(u"history"_s), 0);
        QCOMPARE(count(u"jobwork_details"_s), 0);
        if (leftBehind) {
            QVERIFY(m_db->run(u"INSERT INTO jobwork_details VALUES (1, 'Print', 3, "
                              "7.5), (2, 'Scan', 1, 6)"_s));
        }
        OptionsModel options(*m_db);
        OptionsModel::Defaults d;
        d.billNumber = u"1"_s;
        QVERIFY(options.save(d));

        const SettleResult bill = BilledSession::settle(*m_db, {{}, {}, ten, {{"Print", "1"}}});
        QVERIFY(bill.ok);
        QTEST(bill.billno, "billno");
        const ReportDocument doc = ReportComposer::composeBill(*m_db, bill.billno);
        QCOMPARE(doc.tableRows(7),
                 (QList<QStringList>{{"Time Spent ", " 0: 30: 0", "10"}, {"Print", "1", "2.5"}}));
        QCOMPARE(doc.tableRows(8).at(0), (QStringList{"Total : ", "12.5"}));
        QCOMPARE(m_db->scalar(u"SELECT billno FROM defalt"_s).toLongLong(), bill.billno + 1);
        // Nothing stored is thrown away to make room.
        QCOMPARE(count(u"jobwork_details"_s), leftBehind ? 3 : 1);
    }

    void billRangeDeletesInBatches()
    {
        addBills(5000);
        Housekeeping hk(*m_db);
        auto deletion = hk.byBillNumbers(u"101"_s, u"4100"_s);
        QCOMPARE(deletion.total(), 4000);
        QVERIFY(hk.confirm(deletion) == false); // the default answer is No
        QCOMPARE(count(u"history"_s), 5000);
        m_prompt->answerNext(Prompt::Answer::Yes, 2);
        QVERIFY(hk.confirm(deletion));
        QSignalSpy changed(m_db.get(), &Database::tableChanged);
        int steps = 0;
        while (hk.step(deletion, 1500)) {
            ++steps;
            QCOMPARE(changed.count(), 0); // told once, at the end
        }
        QCOMPARE(steps, 2);
        QCOMPARE(deletion.done(), 4000);
        QVERIFY(deletion.finished());
        QCOMPARE(changed.count(QVariantList{u"history"_s}), 1);
        QCOMPARE(count(u"history"_s), 1000);
        QCOMPARE(m_db->scalar(u"SELECT min(billno) FROM history WHERE billno > 100"_s).toInt(),
                 4101);
    }

    // A bill box without a number, or a No to either question, deletes nothing.
    void theBillRangeDeletesNothing_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<int>("yes"); // the questions answered Yes before a No
        QTest::addColumn<QString>("message");
        const QString noNumber = u"Enter the From and To Bill Numbers"_s;
        dataRow("as the window opens", "", "", 2, noNumber);
        dataRow("no To", "1", "", 2, noNumber);
        dataRow("no From", "", "1000", 2, noNumber);
        dataRow("No to the first question", "1", "1000", 0, QString());
        dataRow("No to the second question", "1", "1000", 1, QString());
    }
    void theBillRangeDeletesNothing()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(int, yes);
        QFETCH(QString, message);
        addBill(5, u"2026-12-01 10:00:00"_s);
        m_prompt->answerNext(Prompt::Answer::Yes, yes);
        m_prompt->answerNext(Prompt::Answer::No);
        FrmHKeeping w(*m_db);
        w.show();
        // The window names no bills of its own.
        QCOMPARE(child<QLineEdit>(w, u"txtbill_0"_s)->text() +
                     child<QLineEdit>(w, u"txtbill_1"_s)->text(),
                 QString());
        QTest::keyClicks(child<QLineEdit>(w, u"txtbill_0"_s), from);
        QTest::keyClicks(child<QLineEdit>(w, u"txtbill_1"_s), to);
        QTest::mouseClick(child<QPushButton>(w, u"Cmdhistorydelete"_s), Qt::LeftButton);
        if (message.isEmpty()) {
            QCOMPARE(m_prompt->asked().size(), yes + 1);
        } else {
            QCOMPARE(m_prompt->texts(), QStringList{message});
        }
        QCOMPARE(bills(), QList<int>({5}));
    }

    void deletedEntriesMoveIntoTheOpeningBalance_data()
    {
        QTest::addColumn<QString>("credit");
        QTest::addColumn<QString>("debit");
        QTest::addColumn<QString>("expected");
        dataRow("whole amounts", "50", "20", "137");
        dataRow("decimals stay exact", "50.5", "20.25", "137.25");
        dataRow("a half is not rounded away", "0.5", "0", "107.5");
    }
    void deletedEntriesMoveIntoTheOpeningBalance()
    {
        QFETCH(QString, credit);
        QFETCH(QString, debit);
        QFETCH(QString, expected);
        addEntry(u"2026-12-01 10:00:00"_s, credit, u"0"_s);
        addEntry(u"2026-12-05 00:00:00"_s, u"0"_s, debit);
        addEntry(u"2026-12-05 23:59:59"_s, u"7"_s, u"0"_s);
        addEntry(u"2026-12-06 00:00:00"_s, u"1000"_s, u"0"_s);
        FrmHKeeping w(*m_db);
        w.show();
        auto* ids = child<QComboBox>(w, u"cmbfield"_s);
        auto* del = child<QPushButton>(w, u"cmdtransactiondel"_s);
        enterText(ids, u"X9"_s);
        QCOMPARE(m_prompt->texts(), QStringList{u"Customer ID Not Found"_s});
        QVERIFY(!del->isEnabled());
        m_prompt->clear();
        enterText(ids, u"M1"_s);
        QCOMPARE(child<QLineEdit>(w, u"txtfield_0"_s)->text(), u"Asha"_s);
        QVERIFY(del->isEnabled());
        child<QDateEdit>(w, u"Dt1"_s)->setDate(QDate(2026, 12, 5));
        // No (the default answer) keeps entries and opening balance.
        QTest::mouseClick(del, Qt::LeftButton);
        QCOMPARE(count(u"transactions"_s), 4);
        QCOMPARE(ob(), Money::fromWhole(100));
        m_prompt->answerNext(Prompt::Answer::Yes);
        QTest::mouseClick(del, Qt::LeftButton);
        QCOMPARE(m_prompt->asked().size(), 2);
        QCOMPARE(m_prompt->asked().first().buttons, Prompt::Buttons::YesNoDefaultNo);
        QCOMPARE(ob().toString(), expected);
        // The whole cut-off day goes; the next day's first moment stays.
        QCOMPARE(count(u"transactions"_s), 1);
        QCOMPARE(m_db->scalar(u"SELECT Date FROM transactions"_s).toString(),
                 u"2026-12-06 00:00:00"_s);
    }
};

QTEST_MAIN(TestHousekeeping)
#include "tst_housekeeping.moc"
