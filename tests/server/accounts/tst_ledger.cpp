// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "server/accounts/memberledger.h"
#include "server/accounts/ui/frmcusttran.h"
#include "server/core/database.h"
#include "server/core/ui/gridcelleditor.h"
#include "support/consolefixture.h"
#include "support/datarow.h"
#include "support/refusedwrites.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

#include <memory>

class TestLedger : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    void addEntry(const QString& date, const QString& part, double credit, double debit)
    {
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO transactions (memberid, Date, part, "
                                         "credit, debit) VALUES ('M1', ?, ?, ?, ?)"),
                          {date, part, credit, debit}));
    }
    QStringList stored()
    {
        QStringList out;
        for (const QSqlRecord& r :
             m_db->rows(QStringLiteral("SELECT Date, part, credit, debit FROM transactions "
                                       "WHERE memberid = 'M1' ORDER BY rowid"))) {
            out << r.value(0).toString() + QLatin1Char('|') + r.value(1).toString() +
                       QLatin1Char('|') + Money::fromVariant(r.value(2)).toString() +
                       QLatin1Char('|') + Money::fromVariant(r.value(3)).toString();
        }
        return out;
    }
    QStringList balances(QTableWidget* grid)
    {
        QStringList out;
        for (int r = 0; r < grid->rowCount(); ++r) {
            out << grid->item(r, 4)->text();
        }
        return out;
    }
    void loadInWindow(FrmCustTran& w)
    {
        auto* ids = w.findChild<QComboBox*>(QStringLiteral("cmbfield"));
        QVERIFY(ids);
        ids->setEditText(QStringLiteral("M1"));
        QTest::keyClick(ids, Qt::Key_Return);
    }
    QPushButton* button(QWidget& w, int i)
    {
        return w.findChild<QPushButton*>(QStringLiteral("Cmdbtn_") + QString::number(i));
    }

private Q_SLOTS:
    void init()
    {
        openConsole();
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO members (memberid, name, address1, ob) "
                                         "VALUES ('M1', 'Asha', 'Main Road', 100)")));
        Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(18, 30)));
    }
    void cleanup() { closeConsole(); }

    void balancesOnLoadAndAfterEdits()
    {
        addEntry(QStringLiteral("2026-12-01 10:00:00"), QStringLiteral("Received By Bill No 4"), 50,
                 0);
        addEntry(QStringLiteral("2026-12-02 11:00:00"), QStringLiteral("By Bill No 4"), 0, 30);
        FrmCustTran w(*m_db);
        w.show();
        loadInWindow(w);
        auto* grid = w.findChild<QTableWidget*>(QStringLiteral("mms"));
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("txtob"))->text(), QStringLiteral("100"));
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("txtfield_0"))->text(),
                 QStringLiteral("Asha"));
        // Written in the plain number form, as the reports print amounts: no leading blank.
        QCOMPARE(balances(grid), QStringList({QStringLiteral("150"), QStringLiteral("120")}));
        QCOMPARE(grid->currentRow(), 1);
        QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("01/12/2026"));

        // A key on the credit cell starts the editor with that key; Enter commits.
        grid->setFocus();
        grid->setCurrentCell(0, 2);
        QTest::keyClick(grid, '6');
        QLineEdit* editor = w.cellEditor()->textEditor();
        QVERIFY(editor->isVisible());
        QTest::keyClicks(editor, QStringLiteral("0x.5.")); // x and a second point are not typed
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(grid->item(0, 2)->text(), QStringLiteral("60.5"));
        QCOMPARE(balances(grid), QStringList({QStringLiteral("160.5"), QStringLiteral("130.5")}));

        // Below zero the balance carries its sign.
        w.cellEditor()->open(1, 3, QStringLiteral("200"));
        w.cellEditor()->commit();
        QCOMPARE(balances(grid), QStringList({QStringLiteral("160.5"), QStringLiteral("-39.5")}));

        // The picker changes the day of an entry and keeps its time of day.
        QVERIFY(w.cellEditor()->open(0, 0));
        QCOMPARE(w.cellEditor()->datePicker()->objectName(), QStringLiteral("dtpick"));
        w.cellEditor()->datePicker()->setDate(QDate(2026, 12, 3));
        QVERIFY(w.cellEditor()->commit());
        QCOMPARE(grid->item(0, 0)->text(), QStringLiteral("03/12/2026"));
        QCOMPARE(w.ledger().row(0).date, QDateTime(QDate(2026, 12, 3), QTime(10, 0)));
    }

    void aCreditWithTwoPointsCountsAsItsLeadingNumber()
    {
        MemberLedger ledger(*m_db);
        QVERIFY(ledger.load(QStringLiteral("M1 ")));
        ledger.setText(0, MemberLedger::CreditColumn, QStringLiteral("10.5.2"));
        QCOMPARE(ledger.balance(0), Money::parse(u"110.5"));
        ledger.setText(0, MemberLedger::DateColumn, QStringLiteral("03/12/2026"));
        ScriptedPrompt prompt;
        QVERIFY(ledger.save());
        QCOMPARE(stored(), QStringList({QStringLiteral("2026-12-03 00:00:00||10.5|0")}));
    }

    void emptyRowsBlockSave_data()
    {
        QTest::addColumn<QString>("part");
        QTest::addColumn<QString>("credit");
        QTest::addColumn<QString>("debit");
        QTest::addColumn<bool>("dated");
        QTest::addColumn<bool>("saves");
        dataRow("untouched row", "", "", "", false, false);
        dataRow("particular only", "tea", "", "", true, false);
        dataRow("no date", "tea", "5", "", false, false);
        dataRow("debit only", "tea", "", "5", true, true);
    }
    void emptyRowsBlockSave()
    {
        QFETCH(QString, part);
        QFETCH(QString, credit);
        QFETCH(QString, debit);
        QFETCH(bool, dated);
        QFETCH(bool, saves);
        FrmCustTran w(*m_db);
        w.show();
        loadInWindow(w);
        MemberLedger& ledger = w.ledger();
        QCOMPARE(ledger.rowCount(), 1);
        if (dated) {
            ledger.setDate(0, Clock::now());
        }
        ledger.setText(0, MemberLedger::PartColumn, part);
        ledger.setText(0, MemberLedger::CreditColumn, credit);
        ledger.setText(0, MemberLedger::DebitColumn, debit);
        QTest::mouseClick(button(w, 2), Qt::LeftButton);
        if (saves) {
            QCOMPARE(m_prompt->lastText(), QStringLiteral("Do you want to Save"));
            QCOMPARE(stored(), QStringList({QStringLiteral("2026-12-06 18:30:00|tea|0|5")}));
            QVERIFY(!ledger.isLoaded());
            QVERIFY(!button(w, 2)->isEnabled());
        } else {
            QCOMPARE(m_prompt->lastText(), QStringLiteral("Please Delete Empty Records"));
            QCOMPARE(m_prompt->asked().last().title, QStringLiteral("Not Saved"));
            QCOMPARE(m_prompt->asked().last().icon, Prompt::Icon::Critical);
            QVERIFY(stored().isEmpty());
            QVERIFY(ledger.isLoaded());
        }
    }

    void newAndDeleteEditTheWorkingCopyOnly()
    {
        addEntry(QStringLiteral("2026-12-01 10:00:00"), QStringLiteral("a"), 50, 0);
        addEntry(QStringLiteral("2026-12-02 10:00:00"), QStringLiteral("b"), 0, 30);
        FrmCustTran w(*m_db);
        w.show();
        loadInWindow(w);
        auto* grid = w.findChild<QTableWidget*>(QStringLiteral("mms"));
        QTest::mouseClick(button(w, 0), Qt::LeftButton);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Do you want to Add New Entry"));
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(grid->currentRow(), 2);
        QCOMPARE(grid->item(2, 0)->text(), QStringLiteral("06/12/2026"));
        grid->setCurrentCell(0, 1);
        QTest::mouseClick(button(w, 1), Qt::LeftButton);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Do you want to Delete Entry"));
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(balances(grid).first(), QStringLiteral("70"));
        QCOMPARE(stored().size(), 2);

        // Deleting every row and saving removes all the member's entries.
        w.ledger().removeRow(0);
        w.ledger().removeRow(0);
        QVERIFY(w.ledger().save());
        QVERIFY(stored().isEmpty());
    }

    void aFailedSaveLeavesTheOldLedger()
    {
        addEntry(QStringLiteral("2026-12-01 10:00:00"), QStringLiteral("a"), 50, 0);
        addEntry(QStringLiteral("2026-12-02 10:00:00"), QStringLiteral("b"), 0, 30);
        const QStringList before = stored();
        // The database refuses one of the rows half-way through the save.
        QVERIFY(refuseWrites(*m_db, QStringLiteral("INSERT"), QStringLiteral("transactions"),
                             QStringLiteral("refused"), QStringLiteral("NEW.part = 'boom'")));
        MemberLedger ledger(*m_db);
        QVERIFY(ledger.load(QStringLiteral("M1")));
        ledger.setText(0, MemberLedger::CreditColumn, QStringLiteral("75"));
        const int row = ledger.addRow();
        ledger.setText(row, MemberLedger::PartColumn, QStringLiteral("boom"));
        ledger.setText(row, MemberLedger::CreditColumn, QStringLiteral("5"));
        QVERIFY(!ledger.save());
        QCOMPARE(stored(), before);
        QCOMPARE(m_prompt->asked().last().title, QStringLiteral("Not Saved"));
        // The edits are still there to correct and save again.
        QVERIFY(ledger.isLoaded());
        ledger.setText(row, MemberLedger::PartColumn, QStringLiteral("tea"));
        QVERIFY(ledger.save());
        QCOMPARE(stored().size(), 3);
        QCOMPARE(stored().first(), QStringLiteral("2026-12-01 10:00:00|a|75|0"));
    }

    void entriesOfTheSessionEndComeBackUnchanged()
    {
        addEntry(QStringLiteral("2026-12-01 10:15:42"), QStringLiteral("Received By Bill No 7"),
                 12.25, 0);
        addEntry(QStringLiteral("2026-12-01 10:15:42"), QStringLiteral("By Bill No 7"), 0, 12.25);
        const QStringList before = stored();
        MemberLedger ledger(*m_db);
        QVERIFY(ledger.load(QStringLiteral("M1")));
        QVERIFY(ledger.save());
        QCOMPARE(stored(), before);
    }

    void anEntryWrittenMeanwhileIsNotWiped()
    {
        MemberLedger ledger(*m_db);
        QVERIFY(ledger.load(QStringLiteral("M1")));
        ledger.setDate(0, Clock::now());
        ledger.setText(0, MemberLedger::CreditColumn, QStringLiteral("50"));
        // A prepaid session ends in the background while the ledger is open.
        addEntry(QStringLiteral("2026-12-06 18:00:00"), QStringLiteral("By Bill No 9"), 0, 4);
        const QStringList before = stored();
        QVERIFY(!ledger.save());
        QCOMPARE(stored(), before);
        QCOMPARE(m_prompt->asked().last().title, QStringLiteral("Not Saved"));
        QCOMPARE(ledger.cellText(0, MemberLedger::PartColumn), QStringLiteral("By Bill No 9"));
    }

    void anUnknownIdIsReported()
    {
        FrmCustTran w(*m_db);
        w.show();
        auto* ids = w.findChild<QComboBox*>(QStringLiteral("cmbfield"));
        ids->setEditText(QStringLiteral("X9"));
        QTest::keyClick(ids, Qt::Key_Return);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Customer ID Not Found"));
        QCOMPARE(m_prompt->asked().size(), 1);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!button(w, i)->isEnabled());
        }
    }
};

QTEST_MAIN(TestLedger)
#include "tst_ledger.moc"
