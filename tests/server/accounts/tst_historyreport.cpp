// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/historyreport.h"
#include "server/accounts/ui/frmbillreprint.h"
#include "server/accounts/ui/frmrpthistory.h"
#include "server/accounts/ui/preview.h"
#include "server/core/database.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QTest>

namespace {

void fill(Database& db)
{
    // Bills 1..12 on three terminals and two categories.
    for (int n = 1; n <= 12; ++n) {
        QVERIFY(
            db.run(QStringLiteral(
                       "INSERT INTO history (billno, sstart, send, terminal, \"user\", duration, "
                       "charge, netamount, received) VALUES (?, '2026-03-07 10:00:00', "
                       "'2026-03-07 11:00:00', ?, ?, ' 1: 0: 0', 10, 10, 10)"),
                   {n, QStringLiteral("PC-%1").arg(n % 3),
                    n % 2 ? QStringLiteral("Regular") : QStringLiteral("Student")}));
    }
}

QStringList listedBills(const ReportDocument& doc)
{
    QStringList out;
    for (const QStringList& r : doc.tableRows(2)) {
        out << r.at(0);
    }
    return out;
}

} // namespace

class TestHistoryReport : public QObject, public ConsoleFixture
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        openConsole();
        Preview::setSkipModal(true);
        Preview::resetRecord();
    }
    void cleanup() { closeConsole(); }

    void billRangeChecksAndTitles_data()
    {
        QTest::addColumn<QString>("from");
        QTest::addColumn<QString>("to");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("bills");
        dataRow("to below from", "5", "3", "Please Enter Valid Bill No", QStringList{});
        dataRow("from zero", "0", "3", "Please Enter the Bill No", QStringList{});
        dataRow("from empty", "", "3", "Please Enter the Bill No", QStringList{});
        dataRow("to not a number", "2", "abc", "Please Enter the Bill No", QStringList{});
        dataRow("single bill", "10", "10", "", QStringList{"10"});
        dataRow("range", "3", "6", "", QStringList{"3", "4", "5", "6"});
        dataRow("numbers compare as numbers", "9", "11", "", QStringList{"9", "10", "11"});
        dataRow("nothing in range", "100", "200", "No History Details Found", QStringList{});
    }
    void billRangeChecksAndTitles()
    {
        QFETCH(QString, from);
        QFETCH(QString, to);
        QFETCH(QString, message);
        QFETCH(QStringList, bills);
        fill(*m_db);
        FrmRptHistory w(*m_db);
        QCOMPARE(w.objectName(), QStringLiteral("frmrpthistory"));
        QCOMPARE(w.windowTitle(), QStringLiteral("History Details"));
        auto* fromBox = w.findChild<QLineEdit*>(QStringLiteral("txtbill_0"));
        auto* toBox = w.findChild<QLineEdit*>(QStringLiteral("txtbill_1"));
        QCOMPARE(fromBox->text(), QStringLiteral("1"));
        QCOMPARE(toBox->text(), QStringLiteral("1000"));
        QVERIFY(w.findChild<QRadioButton*>(QStringLiteral("Option_0"))->isChecked());
        fromBox->setText(from);
        toBox->setText(to);
        w.findChild<QPushButton*>(QStringLiteral("Cmdprint"))->click();
        if (!message.isEmpty()) {
            QCOMPARE(m_prompt->texts(), QStringList{message});
            QCOMPARE(m_prompt->asked().first().title, QStringLiteral("Message"));
            QCOMPARE(m_prompt->asked().first().buttons, Prompt::Buttons::Ok);
            QCOMPARE(Preview::presentedCount(), 0);
            return;
        }
        QVERIFY(m_prompt->asked().isEmpty());
        QCOMPARE(Preview::presentedCount(), 1);
        const ReportDocument doc = Preview::lastDocument();
        QCOMPARE(doc.title(), QStringLiteral("HISTORY DETAILS BETWEEN BILL NO From ") + from +
                                  QStringLiteral(" To ") + to);
        QCOMPARE(listedBills(doc), bills);
    }

    void terminalAndCategoryLists()
    {
        FrmRptHistory w(*m_db);
        auto* terminal = w.findChild<QComboBox*>(QStringLiteral("txtterminal"));
        auto* member = w.findChild<QComboBox*>(QStringLiteral("txtmember"));
        auto* print = w.findChild<QPushButton*>(QStringLiteral("Cmdprint"));

        // No history yet: the terminal list stays empty and Print asks for a terminal.
        w.findChild<QRadioButton*>(QStringLiteral("Option_1"))->click();
        QCOMPARE(terminal->count(), 0);
        print->click();
        QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("Please Select the Terminal")});

        fill(*m_db);
        w.findChild<QRadioButton*>(QStringLiteral("Option_0"))->click();
        w.findChild<QRadioButton*>(QStringLiteral("Option_1"))->click();
        QCOMPARE(terminal->count(), 3);
        // The list shows the last terminal added.
        QCOMPARE(terminal->currentText(), QStringLiteral("PC-0"));
        terminal->setCurrentIndex(terminal->findText(QStringLiteral("PC-1")));
        print->click();
        QCOMPARE(Preview::presentedCount(), 1);
        QCOMPARE(Preview::lastDocument().title(),
                 QStringLiteral("HISTORY DETAILS OF THE TERMNAL : PC-1"));
        QCOMPARE(listedBills(Preview::lastDocument()), (QStringList{"1", "4", "7", "10"}));

        // A terminal without rows any more: Print says why nothing is listed.
        QVERIFY(m_db->run(QStringLiteral("DELETE FROM history WHERE terminal = 'PC-1'")));
        print->click();
        QCOMPARE(Preview::presentedCount(), 1);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("No History Details Found"));

        w.findChild<QRadioButton*>(QStringLiteral("Option_2"))->click();
        QCOMPARE(member->count(), 2);
        member->setCurrentIndex(member->findText(QStringLiteral("Student")));
        print->click();
        QCOMPARE(Preview::presentedCount(), 2);
        QCOMPARE(Preview::lastDocument().title(),
                 QStringLiteral("HISTORY DETAILS OF THE USER : Student"));
        QCOMPARE(listedBills(Preview::lastDocument()), (QStringList{"2", "6", "8", "12"}));

        // The second member choice lists one member's sessions, or says there are none.
        auto* memberId = w.findChild<QComboBox*>(QStringLiteral("txtmemberid"));
        w.findChild<QRadioButton*>(QStringLiteral("Option_3"))->click();
        print->click();
        QCOMPARE(Preview::presentedCount(), 2);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("No Member Sessions in the History"));
        QVERIFY(
            m_db->run(QStringLiteral("UPDATE history SET memberid = 'M7' WHERE billno IN (3, 9)")));
        w.findChild<QRadioButton*>(QStringLiteral("Option_0"))->click();
        w.findChild<QRadioButton*>(QStringLiteral("Option_3"))->click();
        QCOMPARE(memberId->count(), 1);
        print->click();
        QCOMPARE(Preview::presentedCount(), 3);
        QCOMPARE(Preview::lastDocument().title(),
                 QStringLiteral("HISTORY DETAILS OF THE MEMBER : M7"));
        QCOMPARE(listedBills(Preview::lastDocument()), (QStringList{"3", "9"}));
    }

    void anEmptyChoiceSaysWhy()
    {
        QCOMPARE(HistoryReport::byCategory(*m_db, QString()).message,
                 QStringLiteral("Please Select the Usage Type"));
        fill(*m_db);
        QVERIFY(m_db->run(QStringLiteral("UPDATE history SET memberid = 'M7' WHERE billno = 3")));
        QCOMPARE(HistoryReport::byMember(*m_db, QString()).message,
                 QStringLiteral("Please Select the Member"));
    }

    void billReprint_data()
    {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("billLine");
        dataRow("existing bill", "7", "", "Bill No :7");
        dataRow("missing bill", "70", "Bill No Not found", "");
        dataRow("empty answer", "", "", "");
        dataRow("not a number", "abc", "Bill No Not found", "");
        dataRow("fraction of a bill number", "7.6", "Bill No Not found", "");
        dataRow("beyond 16 bits", "40000", "", "Bill No :40000");
    }
    void billReprint()
    {
        QFETCH(QString, answer);
        QFETCH(QString, message);
        QFETCH(QString, billLine);
        fill(*m_db);
        QVERIFY(m_db->run(QStringLiteral("UPDATE history SET billno = 40000 WHERE billno = 12")));
        FrmBillReprint w(*m_db);
        QCOMPARE(w.windowTitle(), QStringLiteral("Bill Reprint"));
        w.findChild<QLineEdit*>(QStringLiteral("txtbillno"))->setText(answer);
        w.findChild<QPushButton*>(QStringLiteral("cmdok"))->click();
        if (message.isEmpty()) {
            QVERIFY(m_prompt->asked().isEmpty());
        } else {
            QCOMPARE(m_prompt->texts(), QStringList{message});
            QCOMPARE(m_prompt->asked().first().icon, Prompt::Icon::Question);
            QCOMPARE(m_prompt->asked().first().title, QStringLiteral("Message"));
        }
        if (billLine.isEmpty()) {
            QCOMPARE(Preview::presentedCount(), 0);
        } else {
            QCOMPARE(Preview::presentedCount(), 1);
            QCOMPARE(Preview::lastDocument().tableRows(4).at(0).at(0), billLine);
        }
    }

    void cancelledReprintDoesNothing()
    {
        fill(*m_db);
        FrmBillReprint w(*m_db);
        w.findChild<QLineEdit*>(QStringLiteral("txtbillno"))->setText(QStringLiteral("7"));
        w.findChild<QPushButton*>(QStringLiteral("cmdcancel"))->click();
        QCOMPARE(Preview::presentedCount(), 0);
        QVERIFY(m_prompt->asked().isEmpty());
    }
};

QTEST_MAIN(TestHistoryReport)
#include "tst_historyreport.moc"
