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
#include "support/datarow.h"
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

void addMember(Database& db, const QString& id, const QString& ob)
{
    MemberRows::addMember(db, id, u"Asha Rao"_s, ob, u"12 Hill St"_s, u"Pune"_s);
}

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

// The example account: ob 100, an advance of 50 and a bill of 20 in February, +10 in March.
void example(Database& db)
{
    addMember(db, u"M1"_s, u"100"_s);
    addEntry(db, u"M1"_s, at(2, 1, 10), u"Advance"_s, "50");
    Clock::setFixed(at(2, 10, 18, 30));
    QVERIFY(BilledSession::settle(db, {u"M1"_s, {}, Money::fromWhole(20), {}}).ok);
    addEntry(db, u"M1"_s, at(3, 5, 9, 15), u"Received By Bill No 9"_s, "10");
    // Another member's entries never count.
    addMember(db, u"M2"_s, u"5"_s);
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
        QVERIFY(CustomerStatement::findMember(*m_db, u"M1"_s));
        const auto s = statement(*m_db, day(3, 1), day(3, 31));
        QCOMPARE(s.opening, Money::fromWhole(130));
        QCOMPARE(s.entries.size(), 1);
        QCOMPARE(s.entries[0].balance, Money::fromWhole(140));

        // Widths, fonts and borders are the composer's constants: the texts are checked.
        const ReportDocument doc = CustomerStatement::compose(s);
        QCOMPARE(doc.blocks().size(), 8);
        QCOMPARE(doc.tableRows(0).at(0), QStringList{u"Star Cafe"_s});
        QCOMPARE(doc.tableRows(1).at(0), QStringList{u"Customer Transaction Report"_s});
        QCOMPARE(doc.tableRows(3).at(0), (QStringList{"Member ID ", "M1"}));
        QCOMPARE(doc.tableRows(4).at(0), (QStringList{"Name      ", "Asha Rao"}));
        QCOMPARE(doc.tableRows(5).at(0), (QStringList{"Address   ", "12 Hill St, Pune"}));
        QCOMPARE(doc.tableRows(6).at(0), (QStringList{"Opening Balance ", "130"}));
        QCOMPARE(doc.blocks()[7].header,
                 (QStringList{"Date", "Particular ", " Credit", "Debit ", "Balance"}));
        QCOMPARE(doc.tableRows(7),
                 (QList<QStringList>{
                     {QLocale().toString(QDate(2026, 3, 5), QLocale::ShortFormat) + " 09:15:00",
                      "Received By Bill No 9", "10", "", "140"},
                     {"", "Total : ", "10", "0", ""}}));

        // The settled bill's debit line has no credit, the ledger's advance no debit.
        const ReportDocument feb =
            CustomerStatement::compose(statement(*m_db, day(2, 1), day(2, 28)));
        QCOMPARE(feb.tableRows(7).at(0).mid(1), (QStringList{"Advance", "50", "", "150"}));
        QCOMPARE(feb.tableRows(7).at(1).mid(1), (QStringList{"By Bill No 1", "", "20", "130"}));
    }

    void periodBounds_data()
    {
        QTest::addColumn<QDateTime>("to");
        QTest::addColumn<QStringList>("parts");
        // Entries on 10 March at midnight and at 15:00, and on 11 March.
        dataRow("midnight of the To day is included", day(3, 10), QStringList{"midnight"});
        dataRow("a later time on the To day needs a later To time",
                QDateTime(QDate(2026, 3, 10), QTime(15, 0)), QStringList{"midnight", "afternoon"});
        dataRow("From later than To", day(3, 9), QStringList{});
    }
    void periodBounds()
    {
        QFETCH(QDateTime, to);
        QFETCH(QStringList, parts);
        addMember(*m_db, u"M1"_s, u"100"_s);
        addEntry(*m_db, "M1", at(3, 10, 0), "midnight", "1");
        addEntry(*m_db, "M1", at(3, 10, 15), "afternoon", "2");
        addEntry(*m_db, "M1", at(3, 11, 0), "next day", "4");
        const auto s = statement(*m_db, day(3, 10), to);
        QStringList got;
        for (const auto& e : s.entries) {
            got << e.part;
        }
        QCOMPARE(got, parts);
        QCOMPARE(s.opening.toString(), u"100"_s);
        const ReportDocument doc = CustomerStatement::compose(s);
        // Without entries: headings and the member table only, no entries table or totals.
        QCOMPARE(doc.blocks().size(), parts.isEmpty() ? 7 : 8);
    }

    void amountsStayExact()
    {
        addMember(*m_db, u"M1"_s, u"0.25"_s);
        addEntry(*m_db, "M1", at(3, 10, 10), "credit", "12.5");
        addEntry(*m_db, "M1", at(3, 10, 11), "both", "0.1", "0.3");
        const ReportDocument doc =
            CustomerStatement::compose(statement(*m_db, day(3, 1), day(3, 31)));
        QCOMPARE(doc.tableRows(7).at(0).mid(1), (QStringList{"credit", "12.5", "", "12.75"}));
        QCOMPARE(doc.tableRows(7).at(1).mid(1), (QStringList{"both", "0.1", "0.3", "12.55"}));
        QCOMPARE(doc.tableRows(7).at(2), (QStringList{"", "Total : ", "12.6", "0.3", ""}));
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
        QCOMPARE(to->dateTime(), QDateTime(QDate(2026, 3, 20), QTime(14, 0)));

        enterText(id, u"nobody"_s);
        QCOMPARE(m_prompt->texts(), QStringList{u"Customer ID Not Found"_s});
        QVERIFY(!print->isEnabled());

        // Surrounding blanks do not matter.
        enterText(id, u" M1  "_s);
        QCOMPARE(m_prompt->asked().size(), 1);
        QCOMPARE(child<QLineEdit>(w, u"txtfield_0"_s)->text(), u"Asha Rao"_s);

        from->setDate(QDate(2026, 3, 1));
        to->setDate(QDate(2026, 3, 31));
        print->click();
        QCOMPARE(Preview::presentedCount(), 1);
        const ReportDocument doc = Preview::lastDocument();
        QCOMPARE(doc.tableRows(6).at(0).at(1), u"130"_s);
        QCOMPARE(doc.tableRows(7).at(0).at(4), u"140"_s);

        // The To value keeps its time of day (14:00) when another day is picked: an entry
        // of the To day before it is listed, one after it is not.
        addEntry(*m_db, "M1", at(3, 31, 13, 59, 59), "before", "1");
        addEntry(*m_db, "M1", at(3, 31, 14, 0, 1), "after", "2");
        QCOMPARE(to->dateTime(), QDateTime(QDate(2026, 3, 31), QTime(14, 0)));
        print->click();
        const QList<QStringList> rows = Preview::lastDocument().tableRows(7);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(1).at(1), u"before"_s);

        // An unknown id afterwards blocks Print again.
        enterText(id, u"M9"_s);
        QVERIFY(!print->isEnabled());
    }
};

QTEST_MAIN(TestCustomerStatement)
#include "tst_customerstatement.moc"
