#include "server/accounts/consolesettings.h"
#include "server/accounts/reportcomposer.h"
#include "server/accounts/ui/preview.h"
#include "server/accounts/ui/printing.h"
#include "server/core/database.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QLocale>
#include <QTest>

namespace {

void addBill(Database& db, qint64 billno, const QVariant& charge, const QVariant& net,
             const QString& terminal = QStringLiteral("PC-01"),
             const QString& start = QStringLiteral("2026-03-07 19:05:00"),
             const QString& end = QStringLiteral("2026-03-07 20:35:09"))
{
    QVERIFY(db.run(QStringLiteral("INSERT INTO history (billno, sstart, send, terminal, cip, "
                                  "user, memberid, duration, charge, netamount, received) "
                                  "VALUES (?, ?, ?, ?, '10.0.0.5', 'Regular', '', ' 1: 30: 9', ?, "
                                  "?, 20)"),
                   {billno, start, end, terminal, charge, net}));
}

QStringList cellsOf(const ReportDocument& doc, int block, int row)
{
    return doc.tableRows(block).value(row);
}

} // namespace

class TestBill : public QObject, public ConsoleFixture
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

    void billLayout()
    {
        ConsoleSettings s;
        s.setCafeName(QStringLiteral("Star Cafe"));
        s.setCafeAddress1(QStringLiteral("1 Main Road"));
        s.setCafeAddress2(QStringLiteral("Springfield"));
        addBill(*m_db, 7, 12.5, 30);
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO jobwork_details (billno, Type, qty, amount) "
                                         "VALUES (7, 'Print', 3, 7.5), (7, 'Scan', 1, 6), "
                                         "(8, 'Other bill', 1, 99)")));

        PrintBill(*m_db, 7);
        QCOMPARE(Preview::presentedCount(), 1);
        const ReportDocument doc = Preview::lastDocument();
        const QList<ReportBlock>& b = doc.blocks();
        QCOMPARE(b.size(), 11);
        const QStringList headings{QStringLiteral("Star Cafe"), QStringLiteral("1 Main Road"),
                                   QStringLiteral("Springfield"), QStringLiteral(" ")};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(b[i].columns, (QList<ReportColumn>{{CellAlign::Center, 6000}}));
            QCOMPARE(cellsOf(doc, i, 0), QStringList{headings[i]});
            QVERIFY(doc.style(b[i].rows[0].style).bold);
            QCOMPARE(doc.style(b[i].rows[0].style).border, TableBorder::None);
        }
        QCOMPARE(cellsOf(doc, 4, 0),
                 (QStringList{QStringLiteral("Bill No :7"),
                              QStringLiteral("Bill Date :") +
                                  QLocale().toString(QDate(2026, 3, 7), QLocale::ShortFormat)}));
        QVERIFY(doc.style(b[4].rows[0].style).bold);
        QCOMPARE(cellsOf(doc, 5, 0), (QStringList{QStringLiteral("Time Spent : 1: 30: 9"),
                                                  QStringLiteral("Category :Regular")}));
        QVERIFY(!doc.style(b[5].rows[0].style).bold);
        QCOMPARE(b[6].kind, ReportBlock::Kind::Paragraph);

        const ReportBlock& detail = b[7];
        QCOMPARE(detail.columns,
                 (QList<ReportColumn>{
                     {CellAlign::Left, 3000}, {CellAlign::Right, 1500}, {CellAlign::Right, 1500}}));
        QCOMPARE(detail.header, (QStringList{QStringLiteral("Details"), QStringLiteral("Quantity"),
                                             QStringLiteral("Amount")}));
        QCOMPARE(detail.headerShade, ReportDocument::HeaderShade);
        QCOMPARE(doc.tableRows(7),
                 (QList<QStringList>{
                     {QStringLiteral("Time Spent "), QStringLiteral(" 1: 30: 9"),
                      QStringLiteral("12.5")},
                     {QStringLiteral("Print"), QStringLiteral("3"), QStringLiteral("7.5")},
                     {QStringLiteral("Scan"), QStringLiteral("1"), QStringLiteral("6")}}));
        QCOMPARE(doc.style(detail.rows[0].style).border, TableBorder::All);
        // The total is the exact sum 12.5 + 7.5 + 6, not a sum of rounded whole numbers.
        QCOMPARE(cellsOf(doc, 8, 0),
                 (QStringList{QStringLiteral("Total : "), QStringLiteral("26")}));
        QCOMPARE(b[8].columns,
                 (QList<ReportColumn>{{CellAlign::Right, 4500}, {CellAlign::Right, 1500}}));
        QCOMPARE(cellsOf(doc, 9, 0),
                 (QStringList{QStringLiteral("Received :"), QStringLiteral("20")}));
        // The stored net amount is printed even where it differs from the total.
        QCOMPARE(cellsOf(doc, 10, 0),
                 (QStringList{QStringLiteral("Net Amount :"), QStringLiteral("30")}));
        QVERIFY(doc.footer().isEmpty());
    }

    void billTotals_data()
    {
        QTest::addColumn<QVariant>("charge");
        QTest::addColumn<QVariantList>("jobs");
        QTest::addColumn<QString>("total");
        dataRow("charge alone keeps its half", QVariant(12.5), QVariantList{}, "12.5");
        dataRow("halves add exactly", QVariant(12.5), QVariantList{13.5}, "26");
        dataRow("beyond 16 bits", QVariant(30000.0), QVariantList{30000.0, 10000.25}, "70000.25");
        dataRow("null charge", QVariant(), QVariantList{2.25}, "2.25");
    }
    void billTotals()
    {
        QFETCH(QVariant, charge);
        QFETCH(QVariantList, jobs);
        addBill(*m_db, 40000, charge, 1);
        for (const QVariant& j : jobs) {
            QVERIFY(m_db->run(
                QStringLiteral("INSERT INTO jobwork_details VALUES (40000, 'Job', 1, ?)"), {j}));
        }
        const ReportDocument doc = ReportComposer::composeBill(*m_db, 40000);
        QCOMPARE(doc.tableRows(7).size(), jobs.size() + 1);
        QTEST(doc.tableRows(8).at(0).at(1), "total");
        QCOMPARE(doc.tableRows(4).at(0).at(0), QStringLiteral("Bill No :40000"));
    }

    void unknownBillStillOpensAnEmptyPreview()
    {
        PrintBill(*m_db, 99);
        QCOMPARE(Preview::presentedCount(), 1);
        QVERIFY(Preview::lastDocument().isEmpty());
    }

    void historyListRowsAndTotal()
    {
        ConsoleSettings().setCafeName(QStringLiteral("Star Cafe"));
        addBill(*m_db, 1, 12.5, 12.5, QStringLiteral("PC-01"),
                QStringLiteral("2026-03-07 00:05:00"), QStringLiteral("2026-03-07 12:10:00"));
        addBill(*m_db, 2, 13.5, 13.5, QStringLiteral("PC-02"),
                QStringLiteral("2026-11-21 13:45:00"), QStringLiteral("2026-11-21 23:59:59"));
        addBill(*m_db, 3, 1, QVariant(), QStringLiteral("PC-03"));
        // Column names in another case, as another query may spell them.
        const auto rows = m_db->rows(QStringLiteral(
            "SELECT billno AS BILLNO, sstart AS SSTART, send, terminal AS Terminal, user AS USER, "
            "netamount AS NETAMOUNT FROM history ORDER BY billno"));
        PrintHistoryList(*m_db, QStringLiteral("HISTORY DETAILS BETWEEN BILL NO From 1 To 3"),
                         rows);
        const ReportDocument doc = Preview::lastDocument();
        QCOMPARE(doc.footer(), QStringLiteral("Page %d"));
        QCOMPARE(doc.marginLeft(), 500);
        QCOMPARE(doc.marginTop(), 500);
        QCOMPARE(doc.marginRight(), 500);
        QCOMPARE(doc.title(), QStringLiteral("HISTORY DETAILS BETWEEN BILL NO From 1 To 3"));
        const QList<ReportBlock>& b = doc.blocks();
        QCOMPARE(b.size(), 4);
        QCOMPARE(doc.tableRows(0).at(0), QStringList{QStringLiteral("Star Cafe")});
        QCOMPARE(doc.style(b[0].rows[0].style).fontSize, 12.0);
        QCOMPARE(doc.tableRows(1).at(0).at(0), doc.title());
        QCOMPARE(doc.style(b[1].rows[0].style).fontSize, 10.0);
        QVERIFY(doc.style(b[1].rows[0].style).bold);
        QCOMPARE(b[2].header,
                 (QStringList{QStringLiteral("Bill No"), QStringLiteral("Start Session"),
                              QStringLiteral(" End Session "), QStringLiteral("Terminal "),
                              QStringLiteral("User "), QStringLiteral("Net Amount")}));
        QCOMPARE(b[2].columns.size(), 6);
        QCOMPARE(doc.tableRows(2),
                 (QList<QStringList>{
                     {"1", "7-Mar 12:05 AM", "7-Mar 12:10 PM", "PC-01", "Regular", "12.5"},
                     {"2", "21-Nov 01:45 PM", "21-Nov 11:59 PM", "PC-02", "Regular", "13.5"},
                     {"3", "7-Mar 07:05 PM", "7-Mar 08:35 PM", "PC-03", "Regular", ""}}));
        QVERIFY(!doc.style(b[2].rows[0].style).bold);
        QCOMPARE(doc.style(b[2].rows[0].style).border, TableBorder::All);
        // 12.5 + 13.5 is 26 exactly; the null amount adds nothing.
        QCOMPARE(doc.tableRows(3).at(0),
                 (QStringList{QStringLiteral("Total : "), QStringLiteral("26")}));
        QCOMPARE(b[3].columns,
                 (QList<ReportColumn>{{CellAlign::Right, 9000}, {CellAlign::Right, 1500}}));
    }
};

QTEST_MAIN(TestBill)
#include "tst_bill.moc"
