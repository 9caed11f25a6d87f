// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "server/accounts/memberledger.h"
#include "server/accounts/ui/frmcusttran.h"
#include "server/core/database.h"
#include "server/core/ui/gridcelleditor.h"
#include "support/consolefixture.h"
#include "support/datarow.h"
#include "support/memberrows.h"
#include "support/refusedwrites.h"

#include <QComboBox>
#include <QDateEdit>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestLedger : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    void addEntry(const QString& date, const QString& part, const QString& credit,
                  const QString& debit)
    {
        MemberRows::addEntry(*m_db, u"M1"_s, date, part, credit, debit);
    }
    QStringList stored()
    {
        QStringList out;
        for (const QSqlRecord& r : m_db->rows(u"SELECT Date, part, credit, debit FROM transactions "
                                              "WHERE memberid = 'M1' ORDER BY rowid"_s)) {
            out << QStringList{r.value(0).toString(), r.value(1).toString(),
                               Money::fromVariant(r.value(2)).toString(),
                               Money::fromVariant(r.value(3)).toString()}
                       .join(u'|');
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
    void openFor(FrmCustTran& w, const QString& id = u"M1"_s)
    {
        w.show();
        enterText(child<QComboBox>(w, u"cmbfield"_s), id);
    }
    QPushButton* button(QWidget& w, int i)
    {
        return child<QPushButton>(w, u"Cmdbtn_"_s + QString::number(i));
    }

private Q_SLOTS:
    void init()
    {
        openConsole();
        MemberRows::addMember(*m_db, u"M1"_s, u"Asha"_s, u"100"_s, u"Main Road"_s);
        Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(18, 30)));
    }
    void cleanup() { closeConsole(); }

    void balancesOnLoadAndAfterEdits()
    {
        addEntry(u"2026-12-01 10:00:00"_s, u"Received By Bill No 4"_s, u"50"_s, u"0"_s);
        addEntry(u"2026-12-02 11:00:00"_s, u"By Bill No 4"_s, u"0"_s, u"30"_s);
        FrmCustTran w(*m_db);
        openFor(w);
        auto* grid = child<QTableWidget>(w, u"mms"_s);
        QCOMPARE(child<QLineEdit>(w, u"txtob"_s)->text(), u"100"_s);
        QCOMPARE(child<QLineEdit>(w, u"txtfield_0"_s)->text(), u"Asha"_s);
        // Written in the plain number form, as the reports print amounts: no leading blank.
        QCOMPARE(balances(grid), QStringList({u"150"_s, u"120"_s}));
        QCOMPARE(grid->item(0, 0)->text(), u"01/12/2026"_s);

        // A key on the credit cell starts the editor with that key; Enter commits.
        grid->setFocus();
        grid->setCurrentCell(0, 2);
        QTest::keyClick(grid, '6');
        QLineEdit* editor = w.cellEditor()->textEditor();
        QVERIFY(editor->isVisible());
        QTest::keyClicks(editor, u"0x.5."_s); // x and a second point are not typed
        QTest::keyClick(editor, Qt::Key_Return);
        QCOMPARE(grid->item(0, 2)->text(), u"60.5"_s);
        QCOMPARE(balances(grid), QStringList({u"160.5"_s, u"130.5"_s}));

        // Below zero the balance carries its sign.
        w.cellEditor()->open(1, 3, u"200"_s);
        w.cellEditor()->commit();
        QCOMPARE(balances(grid), QStringList({u"160.5"_s, u"-39.5"_s}));

        // The picker changes the day of an entry and keeps its time of day.
        QVERIFY(w.cellEditor()->open(0, 0));
        w.cellEditor()->datePicker()->setDate(QDate(2026, 12, 3));
        QVERIFY(w.cellEditor()->commit());
        QCOMPARE(grid->item(0, 0)->text(), u"03/12/2026"_s);
        QCOMPARE(w.ledger().row(0).date, QDateTime(QDate(2026, 12, 3), QTime(10, 0)));
    }

    void aCreditWithTwoPointsCountsAsItsLeadingNumber()
    {
        MemberLedger ledger(*m_db);
        QVERIFY(ledger.load(u"M1 "_s));
        ledger.setText(0, MemberLedger::CreditColumn, u"10.5.2"_s);
        QCOMPARE(ledger.balance(0), Money::parse(u"110.5"));
        ledger.setText(0, MemberLedger::DateColumn, u"03/12/2026"_s);
        ScriptedPrompt prompt;
        QVERIFY(ledger.save());
        QCOMPARE(stored(), QStringList({u"2026-12-03 00:00:00||10.5|0"_s}));
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
        openFor(w);
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
            QCOMPARE(m_prompt->lastText(), u"Do you want to Save"_s);
            QCOMPARE(stored(), QStringList({u"2026-12-06 18:30:00|tea|0|5"_s}));
            QVERIFY(!ledger.isLoaded());
        } else {
            QCOMPARE(m_prompt->lastText(), u"Please Delete Empty Records"_s);
            QCOMPARE(m_prompt->asked().last().title, u"Not Saved"_s);
            QVERIFY(stored().isEmpty());
            QVERIFY(ledger.isLoaded());
        }
    }

    void newAndDeleteEditTheWorkingCopyOnly()
    {
        addEntry(u"2026-12-01 10:00:00"_s, u"a"_s, u"50"_s, u"0"_s);
        addEntry(u"2026-12-02 10:00:00"_s, u"b"_s, u"0"_s, u"30"_s);
        FrmCustTran w(*m_db);
        openFor(w);
        auto* grid = child<QTableWidget>(w, u"mms"_s);
        QTest::mouseClick(button(w, 0), Qt::LeftButton);
        QCOMPARE(m_prompt->lastText(), u"Do you want to Add New Entry"_s);
        QCOMPARE(grid->rowCount(), 3);
        QCOMPARE(grid->item(2, 0)->text(), u"06/12/2026"_s);
        grid->setCurrentCell(0, 1);
        QTest::mouseClick(button(w, 1), Qt::LeftButton);
        QCOMPARE(m_prompt->lastText(), u"Do you want to Delete Entry"_s);
        QCOMPARE(grid->rowCount(), 2);
        QCOMPARE(balances(grid).first(), u"70"_s);
        QCOMPARE(stored().size(), 2);

        // Deleting every row and saving removes all the member's entries.
        w.ledger().removeRow(0);
        w.ledger().removeRow(0);
        QVERIFY(w.ledger().save());
        QVERIFY(stored().isEmpty());
    }

    void aFailedSaveLeavesTheOldLedger()
    {
        addEntry(u"2026-12-01 10:00:00"_s, u"a"_s, u"50"_s, u"0"_s);
        addEntry(u"2026-12-02 10:00:00"_s, u"b"_s, u"0"_s, u"30"_s);
        const QStringList before = stored();
        // The database refuses one of the rows half-way through the save.
        QVERIFY(refuseWrites(*m_db, u"INSERT"_s, u"transactions"_s, u"refused"_s,
                             u"NEW.part = 'boom'"_s));
        MemberLedger ledger(*m_db);
        QVERIFY(ledger.load(u"M1"_s));
        ledger.setText(0, MemberLedger::CreditColumn, u"75"_s);
        const int row = ledger.addRow();
        ledger.setText(row, MemberLedger::PartColumn, u"boom"_s);
        ledger.setText(row, MemberLedger::CreditColumn, u"5"_s);
        QVERIFY(!ledger.save());
        QCOMPARE(stored(), before);
        QCOMPARE(m_prompt->asked().last().title, u"Not Saved"_s);
        // The edits are still there to correct and save again.
        QVERIFY(ledger.isLoaded());
        ledger.setText(row, MemberLedger::PartColumn, u"tea"_s);
        QVERIFY(ledger.save());
        QCOMPARE(stored().size(), 3);
        QCOMPARE(stored().first(), u"2026-12-01 10:00:00|a|75|0"_s);
    }

    void entriesOfTheSessionEndComeBackUnchanged()
    {
        addEntry(u"2026-12-01 10:15:42"_s, u"Received By Bill No 7"_s, u"12.25"_s, u"0"_s);
        addEntry(u"2026-12-01 10:15:42"_s, u"By Bill No 7"_s, u"0"_s, u"12.25"_s);
        const QStringList before = stored();
        MemberLedger ledger(*m_db);
        QVERIFY(ledger.load(u"M1"_s));
        QVERIFY(ledger.save());
        QCOMPARE(stored(), before);
    }

    void anEntryWrittenMeanwhileIsNotWiped()
    {
        MemberLedger ledger(*m_db);
        QVERIFY(ledger.load(u"M1"_s));
        ledger.setDate(0, Clock::now());
        ledger.setText(0, MemberLedger::CreditColumn, u"50"_s);
        // A prepaid session ends in the background while the ledger is open.
        addEntry(u"2026-12-06 18:00:00"_s, u"By Bill No 9"_s, u"0"_s, u"4"_s);
        const QStringList before = stored();
        QVERIFY(!ledger.save());
        QCOMPARE(stored(), before);
        QCOMPARE(m_prompt->asked().last().title, u"Not Saved"_s);
        QCOMPARE(ledger.cellText(0, MemberLedger::PartColumn), u"By Bill No 9"_s);
    }

    void anUnknownIdIsReported()
    {
        FrmCustTran w(*m_db);
        openFor(w, u"X9"_s);
        QCOMPARE(m_prompt->lastText(), u"Customer ID Not Found"_s);
        for (int i = 0; i < 3; ++i) {
            QVERIFY(!button(w, i)->isEnabled());
        }
    }
};

QTEST_MAIN(TestLedger)
#include "tst_ledger.moc"
