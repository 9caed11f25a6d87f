// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "server/accounts/consolesettings.h"
#include "server/accounts/customerstatement.h"
#include "server/accounts/memberledger.h"
#include "server/accounts/ui/frmtranrepo.h"
#include "server/accounts/ui/preview.h"
#include "server/core/database.h"
#include "support/billedsession.h"
#include "support/consolefixture.h"
#include "support/memberrows.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

using namespace Qt::StringLiterals;

// The statement reads the rows the console itself writes: entries typed into a member's
// ledger and the lines a settled bill adds. An amount left out is blank, never "0".
namespace {

// An entry typed into the member's ledger at `when` and saved.
void addEntry(Database& db, const QString& id, const QDateTime& when, const QString& part,
              const QString& credit, const QString& debit = {})
{
    Clock::setFixed(when);
    MemberLedger ledger(db);
    QVERIFY(ledger.load(id));
    const int r = ledger.row(0).date.isValid() ? ledger.addRow() : 0;
    ledger.setDate(r, when);
    ledger.setText(r, MemberLedger::PartColumn, part);
    ledger.setText(r, MemberLedger::CreditColumn, credit);
    ledger.setText(r, MemberLedger::DebitColumn, debit);
    QVERIFY(ledger.save());
}

QDateTime at(int m, int d, int h, int min = 0, int s = 0)
{
    return QDateTime(QDate(2026, m, d), QTime(h, min, s));
}

// The example account: ob 100.25, an advance of 50 and a bill of 20 in February, +10 and an
// entry of both a credit and a debit in March.
void example(Database& db)
{
    MemberRows::addMember(db, u"M1"_s, u"Asha Rao"_s, u"100.25"_s, u"12 Hill St"_s, u"Pune"_s);
    addEntry(db, u"M1"_s, at(2, 1, 10), u"Advance"_s, "50");
    Clock::setFixed(at(2, 10, 18, 30));
    QVERIFY(BilledSession::settle(db, {u"M1"_s, {}, Money::fromWhole(20), {}}).ok);
    addEntry(db, u"M1"_s, at(3, 5, 9, 15), u"Received By Bill No 9"_s, "10");
    addEntry(db, u"M1"_s, at(3, 6, 10), u"both"_s, "0.1", "0.3");
    // Another member's entries never count.
    MemberRows::addMember(db, u"M2"_s, u"Ravi"_s, u"5"_s);
    addEntry(db, u"M2"_s, at(3, 5, 9, 15), u"Other"_s, "999");
}

QDateTime day(int m, int d)
{
    return QDate(2026, m, d).startOfDay();
}

CustomerStatement::Statement statement(Database& db, const QDateTime& from, const QDateTime& to)
{
    return CustomerStatement::build(db, *CustomerStatement::findMember(db, u"M1"_s), from, to);
}

} // namespace

class TestCustomerStatement : public QObject, public ConsoleFixture
{
    Q_OBJECT
private Q_SLOTS:
    void initTestCase() { QLocale::setDefault(QLocale::c()); }
    void init()
    {
        openConsole();
        Preview::setSkipModal(true);
        Preview::resetRecord();
    }
    void cleanup() { closeConsole(); }

    void openingBalanceAndRunningBalance()
    {
        ConsoleSettings().setCafeName(u"Star Cafe"_s);
        example(*m_db);
        // Widths, fonts and borders are the composer's constants: the texts are checked.
        const ReportDocument doc =
            CustomerStatement::compose(statement(*m_db, day(3, 1), day(3, 31)));
        QCOMPARE(doc.tableRows(0).at(0), QStringList{u"Star Cafe"_s});
        QCOMPARE(doc.tableRows(1).at(0), QStringList{u"Customer Transaction Report"_s});
        QCOMPARE(doc.tableRows(3).at(0), (QStringList{"Member ID ", "M1"}));
        QCOMPARE(doc.tableRows(4).at(0), (QStringList{"Name      ", "Asha Rao"}));
        QCOMPARE(doc.tableRows(5).at(0), (QStringList{"Address   ", "12 Hill St, Pune"}));
        QCOMPARE(doc.tableRows(6).at(0), (QStringList{"Opening Balance ", "130.25"}));
        QCOMPARE(doc.blocks()[7].header,
                 (QStringList{"Date", "Particular ", " Credit", "Debit ", "Balance"}));
        QCOMPARE(
            doc.tableRows(7).at(0),
            (QStringList{QLocale().toString(QDate(2026, 3, 5), QLocale::ShortFormat) + " 09:15:00",
                         "Received By Bill No 9", "10", "", "140.25"}));
        // Amounts stay exact.
        QCOMPARE(doc.tableRows(7).at(1).mid(1), (QStringList{"both", "0.1", "0.3", "140.05"}));
        QCOMPARE(doc.tableRows(7).at(2), (QStringList{"", "Total : ", "10.1", "0.3", ""}));

        // The settled bill's debit line has no credit, the ledger's advance no debit.
        const ReportDocument feb =
            CustomerStatement::compose(statement(*m_db, day(2, 1), day(2, 28)));
        QCOMPARE(feb.tableRows(7).at(0).mid(1), (QStringList{"Advance", "50", "", "150.25"}));
        QCOMPARE(feb.tableRows(7).at(1).mid(1), (QStringList{"By Bill No 1", "", "20", "130.25"}));
    }

    // Midnight of the To day is included, a later time on it is not (the window's To carries
    // a time of day); From later than To lists nothing: no entries table or totals.
    void periodBounds()
    {
        MemberRows::addMember(*m_db, u"M1"_s, u"Asha Rao"_s, u"100"_s);
        addEntry(*m_db, "M1", at(3, 10, 0), "midnight", "1");
        addEntry(*m_db, "M1", at(3, 10, 15), "afternoon", "2");
        const auto s = statement(*m_db, day(3, 10), day(3, 10));
        QCOMPARE(s.entries.size(), 1);
        QCOMPARE(s.entries.at(0).part, u"midnight"_s);
        const auto none = statement(*m_db, day(3, 10), day(3, 9));
        QVERIFY(none.entries.isEmpty());
        QCOMPARE(CustomerStatement::compose(none).blocks().size(), 7);
    }

    void windowLooksUpAndPrints()
    {
        example(*m_db);
        m_prompt->clear();
        Clock::setFixed(QDateTime(QDate(2026, 3, 20), QTime(14, 0)));
        FrmTranRepo w(*m_db);
        QCOMPARE(w.windowTitle(), u"Customer Transactions Details"_s);
        auto* id = child<QComboBox>(w, u"cmbfield"_s);
        auto* print = child<QPushButton>(w, u"cmdprint"_s);
        auto* from = child<QDateEdit>(w, u"Dt1"_s);
        auto* to = child<QDateTimeEdit>(w, u"DT2"_s);

        enterText(id, u"nobody"_s);
        QCOMPARE(m_prompt->texts(), QStringList{u"Customer ID Not Found"_s});

        // Surrounding blanks do not matter.
        enterText(id, u" M1  "_s);
        QCOMPARE(child<QLineEdit>(w, u"txtfield_0"_s)->text(), u"Asha Rao"_s);

        from->setDate(QDate(2026, 3, 1));
        to->setDate(QDate(2026, 3, 31));
        print->click();
        QCOMPARE(Preview::presentedCount(), 1);
        QCOMPARE(Preview::lastDocument().tableRows(7).at(0).at(4), u"140.25"_s);

        // The To value keeps its time of day (14:00) when another day is picked: an entry
        // of the To day before it is listed, one after it is not.
        addEntry(*m_db, "M1", at(3, 31, 13, 59, 59), "before", "1");
        addEntry(*m_db, "M1", at(3, 31, 14, 0, 1), "after", "2");
        QCOMPARE(to->dateTime(), QDateTime(QDate(2026, 3, 31), QTime(14, 0)));
        print->click();
        const QList<QStringList> rows = Preview::lastDocument().tableRows(7);
        QCOMPARE(rows.size(), 4);
        QCOMPARE(rows.at(2).at(1), u"before"_s);
    }
};

QTEST_MAIN(TestCustomerStatement)
#include "tst_customerstatement.moc"
