// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/consolesettings.h"
#include "server/accounts/reportcomposer.h"
#include "server/accounts/reportexport.h"
#include "server/accounts/ui/preview.h"
#include "server/accounts/ui/printing.h"
#include "server/core/database.h"
#include "server/sessions/sessionservice.h"
#include "server/sessions/settlementform.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QBuffer>
#include <QLocale>
#include <QProcess>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

namespace {

void addBill(Database& db, qint64 billno, const QVariant& charge, const QVariant& net,
             const QString& terminal = QStringLiteral("PC-01"),
             const QString& start = QStringLiteral("2026-03-07 19:05:00"),
             const QString& end = QStringLiteral("2026-03-07 20:35:09"))
{
    QVERIFY(db.run(QStringLiteral("INSERT INTO history (billno, sstart, send, terminal, cip, "
                                  "\"user\", memberid, duration, charge, netamount, received) "
                                  "VALUES (?, ?, ?, ?, '10.0.0.5', 'Regular', '', ' 1: 30: 9', ?, "
                                  "?, 20)"),
                   {billno, start, end, terminal, charge, net}));
}

QStringList cellsOf(const ReportDocument& doc, int block, int row)
{
    return doc.tableRows(block).value(row);
}

// The text a reader gets out of a file that a program turns into text.
QString readBack(const char* program, const QStringList& args)
{
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program));
    if (path.isEmpty()) {
        qWarning("%s is not installed: its form of the bill is not read back", program);
        return {};
    }
    QProcess p;
    p.start(path, args);
    p.waitForFinished(60000);
    return QString::fromUtf8(p.readAllStandardOutput());
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
        QCOMPARE(b.size(), 12);
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
        QCOMPARE(cellsOf(doc, 11, 0),
                 (QStringList{QStringLiteral("Balance Due :"), QStringLiteral("10")}));
        QCOMPARE(b[11].columns, b[10].columns);
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

    // The bill says what the customer still owes or gets back, the net amount less the
    // received amount, exactly, in every form it takes: the painted pages of the preview, the
    // printer and the PDF, and the HTML, RTF and text exports.
    void balanceLineInEveryForm_data()
    {
        QTest::addColumn<QString>("amount");
        QTest::addColumn<QString>("other");
        QTest::addColumn<QString>("received");
        QTest::addColumn<QString>("caption"); // "" when nothing is left between them
        QTest::addColumn<QString>("balance");
        dataRow("still owes", "35", "7.5", "20", "Balance Due :", "22.5");
        dataRow("paid more", "35", "0", "50", "Change :", "15");
        dataRow("tenths add up exactly", "0.1", "0.2", "0.3", "", "");
        dataRow("a cent short", "12.35", "0.01", "12.35", "Balance Due :", "0.01");
        dataRow("large amounts", "70000000000.25", "0", "70000000000.5", "Change :", "0.25");
    }
    void balanceLineInEveryForm()
    {
        QFETCH(QString, amount);
        QFETCH(QString, other);
        QFETCH(QString, received);
        QFETCH(QString, caption);
        QFETCH(QString, balance);
        QVERIFY(m_db->run("INSERT INTO user_category (\"user\", Description) VALUES ('Std', '')"));
        QVERIFY(m_db->run("INSERT INTO online (name, ip, id) VALUES ('PC1', '127.0.0.1', 0)"));
        StartRequest start;
        start.terminal = QStringLiteral("PC1");
        start.category = QStringLiteral("Std");
        QVERIFY(SessionService(*m_db).start(start).ok);
        SettlementForm form(*m_db, 2);
        form.open();
        form.pick(QStringLiteral("PC1"));
        form.setAmount(amount);
        form.setOther(other);
        form.setReceived(received);
        const SettleResult bill = form.settle();
        QVERIFY(bill.ok);

        const ReportDocument doc = ReportComposer::composeBill(*m_db, bill.billno);
        const int last = int(doc.blocks().size()) - 1;
        const QString net = (Money::parse(amount) + Money::parse(other)).toString();
        QCOMPARE(cellsOf(doc, caption.isEmpty() ? last : last - 1, 0),
                 (QStringList{QStringLiteral("Net Amount :"), net}));
        if (!caption.isEmpty()) {
            QCOMPARE(cellsOf(doc, last, 0), (QStringList{caption, balance}));
        }

        QStringList forms;
        const ReportPages pages(doc);
        forms << pages.pageTexts(0).join(QLatin1Char(' '));
        forms << ReportWriter::toText(doc);
        QBuffer html;
        QVERIFY(html.open(QIODevice::WriteOnly) && ReportWriter::writeHtml(doc, html));
        forms << QString::fromUtf8(html.data()).remove(QRegularExpression("<[^>]*>"));
        const QString rtf = m_home->file(QStringLiteral("bill.rtf"));
        QVERIFY(ReportExport::writeFile(doc, ReportExport::Kind::Rtf, rtf));
        forms << readBack("unrtf", {QStringLiteral("--text"), rtf});
        const QString pdf = m_home->file(QStringLiteral("bill.pdf"));
        QVERIFY(ReportExport::writeFile(doc, ReportExport::Kind::Pdf, pdf));
        forms << readBack("pdftotext", {QStringLiteral("-layout"), pdf, QStringLiteral("-")});
        const QRegularExpression line(QRegularExpression::escape(caption) + "\\s*" +
                                      QRegularExpression::escape(balance) + "(?![0-9.])");
        for (const QString& text : forms) {
            if (text.isEmpty()) {
                continue; // a reader that is not installed
            }
            QVERIFY2(text.contains(QStringLiteral("Net Amount :")), qPrintable(text));
            if (caption.isEmpty()) {
                QVERIFY2(!text.contains(QStringLiteral("Balance Due")) &&
                             !text.contains(QStringLiteral("Change")),
                         qPrintable(text));
            } else {
                QVERIFY2(text.contains(line), qPrintable(text));
            }
        }
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
        const auto rows =
            m_db->rows(QStringLiteral("SELECT billno AS BILLNO, sstart AS SSTART, send, terminal "
                                      "AS Terminal, \"user\" AS USER, "
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
