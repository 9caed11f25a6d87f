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

#include <QComboBox>
#include <QDateEdit>
#include <QDateTimeEdit>
#include <QLineEdit>
#include <QLocale>
#include <QPushButton>
#include <QTest>

// The statement reads the rows the console itself writes: entries typed into a member's
// ledger and the lines a settled bill adds. An amount left out is blank, never "0".
namespace {

void addMember(Database& db, const QString& id, double ob)
{
    QVERIFY(db.run(QStringLiteral("INSERT INTO members (memberid, name, address1, address2, ob) "
                                  "VALUES (?, 'Asha Rao', '12 Hill St', 'Pune', ?)"),
                   {id, ob}));
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
    addMember(db, QStringLiteral("M1"), 100);
    addEntry(db, QStringLiteral("M1"), at(2, 1, 10), QStringLiteral("Advance"), "50");
    Clock::setFixed(at(2, 10, 18, 30));
    QVERIFY(BilledSession::settle(db, {QStringLiteral("M1"), {}, Money::fromWhole(20), {}}).ok);
    addEntry(db, QStringLiteral("M1"), at(3, 5, 9, 15), QStringLiteral("Received By Bill No 9"),
             "10");
    // Another member's entries never count.
    addMember(db, QStringLiteral("M2"), 5);
    addEntry(db, QStringLiteral("M2"), at(3, 5, 9, 15), QStringLiteral("Other"), "999");
}

QDateTime day(int y, int m, int d)
{
    return QDate(y, m, d).startOfDay();
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
        ConsoleSettings().setCafeName(QStringLiteral("Star Cafe"));
        example(*m_db);
        const auto member = CustomerStatement::findMember(*m_db, QStringLiteral("M1"));
        QVERIFY(member);
        const auto s = CustomerStatement::build(*m_db, *member, day(2026, 3, 1), day(2026, 3, 31));
        QCOMPARE(s.opening, Money::fromWhole(130));
        QCOMPARE(s.entries.size(), 1);
        QCOMPARE(s.entries[0].balance, Money::fromWhole(140));
        QCOMPARE(s.creditTotal, Money::fromWhole(10));
        QCOMPARE(s.debitTotal, Money::fromWhole(0));

        const ReportDocument doc = CustomerStatement::compose(s);
        QCOMPARE(doc.footer(), QStringLiteral("Page %d"));
        QCOMPARE(doc.marginLeft(), 500);
        const QList<ReportBlock>& b = doc.blocks();
        QCOMPARE(b.size(), 8);
        QCOMPARE(doc.tableRows(0).at(0), QStringList{QStringLiteral("Star Cafe")});
        QCOMPARE(doc.tableRows(1).at(0),
                 QStringList{QStringLiteral("Customer Transaction Report")});
        QCOMPARE(b[1].columns, (QList<ReportColumn>{{CellAlign::Center, 9000}}));
        QCOMPARE(b[2].kind, ReportBlock::Kind::Paragraph);
        QCOMPARE(doc.tableRows(3).at(0), (QStringList{"Member ID ", "M1"}));
        QCOMPARE(doc.tableRows(4).at(0), (QStringList{"Name      ", "Asha Rao"}));
        QCOMPARE(doc.tableRows(5).at(0), (QStringList{"Address   ", "12 Hill St, Pune"}));
        QCOMPARE(doc.tableRows(6).at(0), (QStringList{"Opening Balance ", "130"}));
        QCOMPARE(b[3].columns,
                 (QList<ReportColumn>{{CellAlign::Left, 2000}, {CellAlign::Left, 7000}}));
        QVERIFY(!doc.style(b[3].rows[0].style).bold);
        const ReportBlock& entries = b[7];
        QCOMPARE(entries.header,
                 (QStringList{"Date", "Particular ", " Credit", "Debit ", "Balance"}));
        QCOMPARE(entries.headerShade, ReportDocument::HeaderShade);
        QCOMPARE(entries.columns.size(), 5);
        QCOMPARE(doc.tableRows(7),
                 (QList<QStringList>{
                     {QLocale().toString(QDate(2026, 3, 5), QLocale::ShortFormat) + " 09:15:00",
                      "Received By Bill No 9", "10", "", "140"},
                     {"", "Total : ", "10", "0", ""}}));
        QCOMPARE(doc.style(entries.rows[0].style).border, TableBorder::All);
        QCOMPARE(doc.style(entries.rows[1].style).border, TableBorder::Below);

        // The settled bill's debit line has no credit, the ledger's advance no debit.
        const ReportDocument feb = CustomerStatement::compose(
            CustomerStatement::build(*m_db, *member, day(2026, 2, 1), day(2026, 2, 28)));
        QCOMPARE(feb.tableRows(7).at(0).mid(1), (QStringList{"Advance", "50", "", "150"}));
        QCOMPARE(feb.tableRows(7).at(1).mid(1), (QStringList{"By Bill No 1", "", "20", "130"}));
    }

    void periodBounds_data()
    {
        QTest::addColumn<QDateTime>("to");
        QTest::addColumn<QStringList>("parts");
        QTest::addColumn<QString>("opening");
        // Entries on 10 March at midnight and at 15:00, and on 11 March.
        dataRow("midnight of the To day is included", day(2026, 3, 10), QStringList{"midnight"},
                "100");
        dataRow("a later time on the To day needs a later To time",
                QDateTime(QDate(2026, 3, 10), QTime(15, 0)), QStringList{"midnight", "afternoon"},
                "100");
        dataRow("whole range", day(2026, 3, 11), QStringList{"midnight", "afternoon", "next day"},
                "100");
        dataRow("From later than To", day(2026, 3, 9), QStringList{}, "100");
    }
    void periodBounds()
    {
        QFETCH(QDateTime, to);
        QFETCH(QStringList, parts);
        addMember(*m_db, QStringLiteral("M1"), 100);
        addEntry(*m_db, "M1", at(3, 10, 0), "midnight", "1");
        addEntry(*m_db, "M1", at(3, 10, 15), "afternoon", "2");
        addEntry(*m_db, "M1", at(3, 11, 0), "next day", "4");
        const auto member = CustomerStatement::findMember(*m_db, QStringLiteral("M1"));
        const auto s = CustomerStatement::build(*m_db, *member, day(2026, 3, 10), to);
        QStringList got;
        for (const auto& e : s.entries) {
            got << e.part;
        }
        QCOMPARE(got, parts);
        QTEST(s.opening.toString(), "opening");
        const ReportDocument doc = CustomerStatement::compose(s);
        // Without entries: headings and the member table only, no entries table or totals.
        QCOMPARE(doc.blocks().size(), parts.isEmpty() ? 7 : 8);
    }

    void amountsStayExact()
    {
        addMember(*m_db, QStringLiteral("M1"), 0.25);
        addEntry(*m_db, "M1", at(3, 10, 10), "credit", "12.5");
        addEntry(*m_db, "M1", at(3, 10, 11), "both", "0.1", "0.3");
        const auto member = CustomerStatement::findMember(*m_db, QStringLiteral("M1"));
        const auto s = CustomerStatement::build(*m_db, *member, day(2026, 3, 1), day(2026, 3, 31));
        const ReportDocument doc = CustomerStatement::compose(s);
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
        QCOMPARE(w.objectName(), QStringLiteral("frmtranrepo"));
        QCOMPARE(w.windowTitle(), QStringLiteral("Customer Transactions Details"));
        auto* id = w.findChild<QComboBox*>(QStringLiteral("cmbfield"));
        auto* print = w.findChild<QPushButton*>(QStringLiteral("cmdprint"));
        auto* from = w.findChild<QDateEdit*>(QStringLiteral("Dt1"));
        auto* to = w.findChild<QDateTimeEdit*>(QStringLiteral("DT2"));
        QCOMPARE(id->count(), 2);
        QCOMPARE(from->date(), QDate(2026, 3, 20));
        QCOMPARE(to->dateTime(), QDateTime(QDate(2026, 3, 20), QTime(14, 0)));
        QVERIFY(!print->isEnabled());

        id->setEditText(QStringLiteral("nobody"));
        QTest::keyClick(id, Qt::Key_Return);
        QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("Customer ID Not Found")});
        QCOMPARE(m_prompt->asked().first().icon, Prompt::Icon::Question);
        QCOMPARE(m_prompt->asked().first().title, QStringLiteral("Message"));
        QVERIFY(!print->isEnabled());

        // Surrounding blanks do not matter.
        id->setEditText(QStringLiteral(" M1  "));
        QTest::keyClick(id, Qt::Key_Return);
        QCOMPARE(m_prompt->asked().size(), 1);
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("txtfield_0"))->text(),
                 QStringLiteral("Asha Rao"));
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("txtfield_1"))->text(),
                 QStringLiteral("12 Hill St"));
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("txtfield_2"))->text(),
                 QStringLiteral("Pune"));
        QVERIFY(print->isEnabled());

        from->setDate(QDate(2026, 3, 1));
        to->setDate(QDate(2026, 3, 31));
        print->click();
        QCOMPARE(Preview::presentedCount(), 1);
        const ReportDocument doc = Preview::lastDocument();
        QCOMPARE(doc.tableRows(6).at(0).at(1), QStringLiteral("130"));
        QCOMPARE(doc.tableRows(7).at(0).at(4), QStringLiteral("140"));

        // The To value keeps its time of day (14:00) when another day is picked: an entry
        // of the To day before it is listed, one after it is not.
        addEntry(*m_db, "M1", at(3, 31, 13, 59, 59), "before", "1");
        addEntry(*m_db, "M1", at(3, 31, 14, 0, 1), "after", "2");
        QCOMPARE(to->dateTime(), QDateTime(QDate(2026, 3, 31), QTime(14, 0)));
        print->click();
        const QList<QStringList> rows = Preview::lastDocument().tableRows(7);
        QCOMPARE(rows.size(), 3);
        QCOMPARE(rows.at(1).at(1), QStringLiteral("before"));
        QCOMPARE(rows.at(2).at(1), QStringLiteral("Total : "));

        // An unknown id afterwards empties the boxes and blocks Print again.
        id->setEditText(QStringLiteral("M9"));
        QTest::keyClick(id, Qt::Key_Return);
        QVERIFY(!print->isEnabled());
        QVERIFY(w.findChild<QLineEdit*>(QStringLiteral("txtfield_0"))->text().isEmpty());
    }
};

QTEST_MAIN(TestCustomerStatement)
#include "tst_customerstatement.moc"
