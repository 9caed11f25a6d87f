// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "server/accounts/housekeeping.h"
#include "server/accounts/optionsmodel.h"
#include "server/accounts/reportcomposer.h"
#include "server/accounts/ui/frmhkeeping.h"
#include "server/core/database.h"
#include "support/billedsession.h"
#include "support/datarow.h"
#include "support/historyfixture.h"
#include "support/refusedwrites.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QtTest>

class TestHousekeeping : public QObject, private HistoryFixture
{
    Q_OBJECT

private:
    void addEntry(const QString& date, const QString& credit, const QString& debit)
    {
        QVERIFY(
            m_db->run(QStringLiteral("INSERT INTO transactions (memberid, Date, part, "
                                     "credit, debit) VALUES ('M1', ?, 'x', ?, ?)"),
                      {date, Money::parse(credit).toVariant(), Money::parse(debit).toVariant()}));
    }
    Money ob()
    {
        return Money::fromVariant(
            m_db->scalar(QStringLiteral("SELECT ob FROM members WHERE memberid = 'M1'")));
    }

private Q_SLOTS:
    void init()
    {
        openHome();
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO members (memberid, name, address1, ob) "
                                         "VALUES ('M1', 'Asha', 'Main Road', 100)")));
    }
    void cleanup() { closeHome(); }

    void aDayMeansTheWholeDay()
    {
        addBill(1, QStringLiteral("2026-12-29 23:59:59"));
        addBill(2, QStringLiteral("2026-12-30 09:00:00"));
        addBill(3, QStringLiteral("2026-12-31 00:00:00"));
        addBill(4, QStringLiteral("2026-12-31 12:00:00"));
        addBill(5, QStringLiteral("2026-12-31 23:59:59"));
        addBill(6, QStringLiteral("2027-01-01 00:00:00"));
        // A day written without a time belongs to that day.
        addBill(7, QStringLiteral("2026-12-30"));
        addBill(8, QStringLiteral("2027-01-01"));
        m_prompt->answerNext(Prompt::Answer::Yes);
        m_prompt->answerNext(Prompt::Answer::Yes);
        FrmHKeeping w(*m_db);
        w.show();
        w.findChild<QRadioButton*>(QStringLiteral("Options_1"))->setChecked(true);
        w.findChild<QDateEdit*>(QStringLiteral("DTP_0"))->setDate(QDate(2026, 12, 30));
        QCOMPARE(w.findChild<QDateEdit*>(QStringLiteral("DTP_1"))->date(), QDate(2026, 12, 31));
        QSignalSpy changed(m_db.get(), &Database::tableChanged);
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Cmdhistorydelete")),
                          Qt::LeftButton);
        QCOMPARE(bills(), QList<int>({1, 6, 8}));
        QCOMPARE(m_prompt->asked().size(), 2);
        QCOMPARE(m_prompt->asked().at(0).text,
                 QStringLiteral("Do you want to Delete the History Details From Date 30/12/2026 "
                                "to 31/12/2026\rBefore Deleting the History Details Backup the "
                                "Datafiles OR take the Printout"));
        for (const auto& a : m_prompt->asked()) {
            QCOMPARE(a.buttons, Prompt::Buttons::YesNoDefaultNo);
            QCOMPARE(a.title, QStringLiteral("Warning"));
            QCOMPARE(a.icon, Prompt::Icon::Critical);
        }
        QVERIFY(changed.contains(QVariantList{QStringLiteral("history")}));
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
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO jobwork_details (billno, Type, qty, amount) "
                                         "VALUES (1, 'Print', 1, 2), (3000, 'Print', 1, 2), "
                                         "(3001, 'Print', 1, 2)")));
        QVERIFY(refuseWrites(*m_db, QStringLiteral("DELETE"), QStringLiteral("history"),
                             QStringLiteral("held"), QStringLiteral("OLD.billno = %1").arg(held)));
        Housekeeping hk(*m_db);
        auto deletion = hk.byBillNumbers(QStringLiteral("1"), QStringLiteral("5000"));
        while (hk.step(deletion, 1000)) {
        }
        QVERIFY(deletion.failed());
        QTEST(m_prompt->lastText(), "report");
        QCOMPARE(m_prompt->asked().last().icon, Prompt::Icon::Critical);
        QCOMPARE(count(QStringLiteral("history")), 5000 - deletion.done());
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM jobwork_details WHERE billno "
                                             "NOT IN (SELECT billno FROM history)"))
                     .toInt(),
                 0);
        QCOMPARE(count(QStringLiteral("jobwork_details")), held == 1 ? 3 : 1);
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
        QVERIFY(JobWorkStore(*m_db).saveCatalogue(
            {{QStringLiteral("Print"), QStringLiteral("2.5")}, {QStringLiteral("Scan"), "6"}}));
        const Money ten = Money::fromWhole(10);
        QCOMPARE(BilledSession::settle(*m_db, {{}, {}, ten, {{"Print", "3"}}}).billno, 1);
        QCOMPARE(BilledSession::settle(*m_db, {{}, {}, ten, {{"Scan", "1"}}}).billno, 2);
        Housekeeping hk(*m_db);
        auto deletion = hk.byBillNumbers(QStringLiteral("1"), QStringLiteral("2"));
        QVERIFY(hk.runAll(deletion));
        QCOMPARE(count(QStringLiteral("history")), 0);
        QCOMPARE(count(QStringLiteral("jobwork_details")), 0);
        if (leftBehind) {
            QVERIFY(m_db->run(QStringLiteral("INSERT INTO jobwork_details VALUES (1, 'Print', 3, "
                                             "7.5), (2, 'Scan', 1, 6)")));
        }
        OptionsModel options(*m_db);
        OptionsModel::Defaults d;
        d.billNumber = QStringLiteral("1");
        QVERIFY(options.save(d));

        const SettleResult bill = BilledSession::settle(*m_db, {{}, {}, ten, {{"Print", "1"}}});
        QVERIFY(bill.ok);
        QTEST(bill.billno, "billno");
        const ReportDocument doc = ReportComposer::composeBill(*m_db, bill.billno);
        QCOMPARE(doc.tableRows(7),
                 (QList<QStringList>{{"Time Spent ", " 0: 30: 0", "10"}, {"Print", "1", "2.5"}}));
        QCOMPARE(doc.tableRows(8).at(0), (QStringList{"Total : ", "12.5"}));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT billno FROM defalt")).toLongLong(),
                 bill.billno + 1);
        // Nothing stored is thrown away to make room.
        QCOMPARE(count(QStringLiteral("jobwork_details")), leftBehind ? 3 : 1);
    }

    void billRangeDeletesInBatches()
    {
        addBills(5000);
        Housekeeping hk(*m_db);
        auto deletion = hk.byBillNumbers(QStringLiteral("101"), QStringLiteral("4100"));
        QCOMPARE(deletion.total(), 4000);
        QVERIFY(hk.confirm(deletion) == false); // the default answer is No
        QCOMPARE(count(QStringLiteral("history")), 5000);
        m_prompt->answerNext(Prompt::Answer::Yes);
        m_prompt->answerNext(Prompt::Answer::Yes);
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
        QCOMPARE(changed.count(QVariantList{QStringLiteral("history")}), 1);
        QCOMPARE(count(QStringLiteral("history")), 1000);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT min(billno) FROM history WHERE billno > 100"))
                     .toInt(),
                 4101);
    }

    void aBillBoxWithoutANumberDeletesNothing_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        dataRow("as the window opens", "", "");
        dataRow("no From", "", "5");
        dataRow("no To", "1", "");
    }
    void aBillBoxWithoutANumberDeletesNothing()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        addBill(1, QStringLiteral("2026-12-01 10:00:00"));
        m_prompt->answerNext(Prompt::Answer::Yes);
        m_prompt->answerNext(Prompt::Answer::Yes);
        FrmHKeeping w(*m_db);
        w.show();
        // The window names no bills of its own.
        for (const char* name : {"txtbill_0", "txtbill_1"}) {
            auto* box = w.findChild<QLineEdit*>(QString::fromLatin1(name));
            QCOMPARE(box->text(), QString());
        }
        QTest::keyClicks(w.findChild<QLineEdit*>(QStringLiteral("txtbill_0")), from);
        QTest::keyClicks(w.findChild<QLineEdit*>(QStringLiteral("txtbill_1")), to);
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Cmdhistorydelete")),
                          Qt::LeftButton);
        QCOMPARE(m_prompt->texts(),
                 QStringList{QStringLiteral("Enter the From and To Bill Numbers")});
        QCOMPARE(bills(), QList<int>({1}));
    }

    void answeringNoLeavesEverything_data()
    {
        QTest::addColumn<int>("yes");
        dataRow("first question", 0);
        dataRow("second question", 1);
    }
    void answeringNoLeavesEverything()
    {
        QFETCH(int, yes);
        addBill(5, QStringLiteral("2026-12-01 10:00:00"));
        addEntry(QStringLiteral("2026-12-01 10:00:00"), QStringLiteral("50"), QStringLiteral("0"));
        for (int i = 0; i < yes; ++i) {
            m_prompt->answerNext(Prompt::Answer::Yes);
        }
        m_prompt->answerNext(Prompt::Answer::No);
        FrmHKeeping w(*m_db);
        w.show();
        w.findChild<QLineEdit*>(QStringLiteral("txtbill_0"))->setText(QStringLiteral("1"));
        w.findChild<QLineEdit*>(QStringLiteral("txtbill_1"))->setText(QStringLiteral("1000"));
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Cmdhistorydelete")),
                          Qt::LeftButton);
        QCOMPARE(m_prompt->asked().size(), yes + 1);
        QCOMPARE(bills(), QList<int>({5}));

        Housekeeping hk(*m_db);
        m_prompt->answerNext(Prompt::Answer::No);
        QVERIFY(!hk.deleteTransactions(QStringLiteral("M1"), QDate(2026, 12, 31)));
        QCOMPARE(count(QStringLiteral("transactions")), 1);
        QCOMPARE(ob(), Money::fromWhole(100));
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
        addEntry(QStringLiteral("2026-12-01 10:00:00"), credit, QStringLiteral("0"));
        addEntry(QStringLiteral("2026-12-05 00:00:00"), QStringLiteral("0"), debit);
        addEntry(QStringLiteral("2026-12-05 23:59:59"), QStringLiteral("7"), QStringLiteral("0"));
        addEntry(QStringLiteral("2026-12-06 00:00:00"), QStringLiteral("1000"),
                 QStringLiteral("0"));
        m_prompt->answerNext(Prompt::Answer::Yes);
        FrmHKeeping w(*m_db);
        w.show();
        auto* ids = w.findChild<QComboBox*>(QStringLiteral("cmbfield"));
        auto* del = w.findChild<QPushButton*>(QStringLiteral("cmdtransactiondel"));
        QVERIFY(!del->isEnabled());
        ids->setEditText(QStringLiteral("M1"));
        QTest::keyClick(ids, Qt::Key_Return);
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("txtfield_0"))->text(),
                 QStringLiteral("Asha"));
        QVERIFY(del->isEnabled());
        w.findChild<QDateEdit*>(QStringLiteral("Dt1"))->setDate(QDate(2026, 12, 5));
        QTest::mouseClick(del, Qt::LeftButton);
        QCOMPARE(m_prompt->asked().size(), 1);
        QCOMPARE(m_prompt->asked().first().buttons, Prompt::Buttons::YesNoDefaultNo);
        QCOMPARE(ob().toString(), expected);
        // The whole cut-off day goes; the next day's first moment stays.
        QCOMPARE(count(QStringLiteral("transactions")), 1);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT Date FROM transactions")).toString(),
                 QStringLiteral("2026-12-06 00:00:00"));
        QVERIFY(!del->isEnabled());
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("txtfield_0"))->text(), QString());
    }

    void anUnknownMemberIsReported()
    {
        FrmHKeeping w(*m_db);
        w.show();
        auto* ids = w.findChild<QComboBox*>(QStringLiteral("cmbfield"));
        ids->setEditText(QStringLiteral("X9"));
        QTest::keyClick(ids, Qt::Key_Return);
        QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("Customer ID Not Found")});
        QVERIFY(!w.findChild<QPushButton*>(QStringLiteral("cmdtransactiondel"))->isEnabled());
    }
};

QTEST_MAIN(TestHousekeeping)
#include "tst_housekeeping.moc"
