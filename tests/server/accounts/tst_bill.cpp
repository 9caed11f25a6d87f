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
#include "support/readback.h"

#include <QBuffer>
#include <QLocale>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

void addBill(Database& db, qint64 billno, const QVariant& charge, const QVariant& net,
             const QString& terminal = u"PC-01"_s, const QString& start = u"2026-03-07 19:05:00"_s,
             const QString& end = u"2026-03-07 20:35:09"_s)
{
    QVERIFY(db.run(u"INSERT INTO history (billno, sstart, send, terminal, cip, "
                   "\"user\", memberid, duration, charge, netamount, received) "
                   "VALUES (?, ?, ?, ?, '10.0.0.5', 'Regular', '', ' 1: 30: 9', ?, "
                   "?, 20)"_s,
                   {billno, start, end, terminal, charge, net}));
}

QStringList cellsOf(const ReportDocument& doc, int block, int row = 0)
{
    return doc.tableRows(block).value(row);
}

} // namespace

// Column widths, fonts and borders are the composer's constants and are not restated here;
// the texts and amounts on the paper are.
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
        s.setCafeName(u"Star Cafe"_s);
        s.setCafeAddress1(u"1 Main Road"_s);
        s.setCafeAddress2(u"Springfield"_s);
        addBill(*m_db, 7, 12.5, 30);
        QVERIFY(m_db->run(u"INSERT INTO jobwork_details (billno, Type, qty, amount) "
                          "VALUES (7, 'Print', 3, 7.5), (7, 'Scan', 1, 6), "
                          "(8, 'Other bill', 1, 99)"_s));

        PrintBill(*m_db, 7);
        QCOMPARE(Preview::presentedCount(), 1);
        const ReportDocument doc = Preview::lastDocument();
        QCOMPARE(doc.blocks().size(), 12);
        const QStringList headings{u"Star Cafe"_s, u"1 Main Road"_s, u"Springfield"_s, u" "_s};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(cellsOf(doc, i), QStringList{headings[i]});
        }
        QCOMPARE(cellsOf(doc, 4),
                 (QStringList{u"Bill No :7"_s,
                              u"Bill Date :"_s +
                                  QLocale().toString(QDate(2026, 3, 7), QLocale::ShortFormat)}));
        QCOMPARE(cellsOf(doc, 5),
                 (QStringList{u"Time Spent : 1: 30: 9"_s, u"Category :Regular"_s}));
        QCOMPARE(doc.blocks()[7].header, (QStringList{u"Details"_s, u"Quantity"_s, u"Amount"_s}));
        QCOMPARE(doc.tableRows(7), (QList<QStringList>{{"Time Spent ", " 1: 30: 9", "12.5"},
                                                       {"Print", "3", "7.5"},
                                                       {"Scan", "1", "6"}}));
        // The total is the exact sum 12.5 + 7.5 + 6, not a sum of rounded whole numbers.
        QCOMPARE(cellsOf(doc, 8), (QStringList{u"Total : "_s, u"26"_s}));
        QCOMPARE(cellsOf(doc, 9), (QStringList{u"Received :"_s, u"20"_s}));
        // The stored net amount is printed even where it differs from the total.
        QCOMPARE(cellsOf(doc, 10), (QStringList{u"Net Amount :"_s, u"30"_s}));
        QCOMPARE(cellsOf(doc, 11), (QStringList{u"Balance Due :"_s, u"10"_s}));
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
            QVERIFY(m_db->run(u"INSERT INTO jobwork_details VALUES (40000, 'Job', 1, ?)"_s, {j}));
        }
        const ReportDocument doc = ReportComposer::composeBill(*m_db, 40000);
        QCOMPARE(doc.tableRows(7).size(), jobs.size() + 1);
        QTEST(doc.tableRows(8).at(0).at(1), "total");
        QCOMPARE(doc.tableRows(4).at(0).at(0), u"Bill No :40000"_s);
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
        QVERIFY(
            m_db->run(u"INSERT INTO user_category (\"user\", Description) VALUES ('Std', '')"_s));
        QVERIFY(m_db->run(u"INSERT INTO online (name, ip, id) VALUES ('PC1', '127.0.0.1', 0)"_s));
        StartRequest start;
        start.terminal = u"PC1"_s;
        start.category = u"Std"_s;
        QVERIFY(SessionService(*m_db).start(start).ok);
        SettlementForm form(*m_db, 2);
        form.open();
        form.pick(u"PC1"_s);
        form.setAmount(amount);
        form.setOther(other);
        form.setReceived(received);
        const SettleResult bill = form.settle();
        QVERIFY(bill.ok);

        const ReportDocument doc = ReportComposer::composeBill(*m_db, bill.billno);
        const int last = int(doc.blocks().size()) - 1;
        const QString net = (Money::parse(amount) + Money::parse(other)).toString();
        QCOMPARE(cellsOf(doc, caption.isEmpty() ? last : last - 1),
                 (QStringList{u"Net Amount :"_s, net}));
        if (!caption.isEmpty()) {
            QCOMPARE(cellsOf(doc, last), (QStringList{caption, balance}));
        }

        QStringList forms{ReportPages(doc).pageTexts(0).join(QLatin1Char(' ')),
                          ReportWriter::toText(doc)};
        QBuffer html;
        QVERIFY(html.open(QIODevice::WriteOnly) && ReportWriter::writeHtml(doc, html));
        forms << QString::fromUtf8(html.data()).remove(QRegularExpression("<[^>]*>"));
        const QString rtf = m_home->file(u"bill.rtf"_s);
        QVERIFY(ReportExport::writeFile(doc, ReportExport::Kind::Rtf, rtf));
        forms << ReadBack::run("unrtf", {u"--text"_s, rtf});
        const QString pdf = m_home->file(u"bill.pdf"_s);
        QVERIFY(ReportExport::writeFile(doc, ReportExport::Kind::Pdf, pdf));
        forms << ReadBack::run("pdftotext", {u"-layout"_s, pdf, u"-"_s});
        const QRegularExpression line(QRegularExpression::escape(caption) + "\\s*" +
                                      QRegularExpression::escape(balance) + "(?![0-9.])");
        for (const QString& text : forms) {
            QVERIFY2(text.contains(u"Net Amount :"_s), qPrintable(text));
            if (caption.isEmpty()) {
                QVERIFY2(!text.contains(u"Balance Due"_s) && !text.contains(u"Change"_s),
                         qPrintable(text));
            } else {
                QVERIFY2(text.contains(line), qPrintable(text));
            }
        }
    }

    void historyListRowsAndTotal()
    {
        ConsoleSettings().setCafeName(u"Star Cafe"_s);
        addBill(*m_db, 1, 12.5, 12.5, u"PC-01"_s, u"2026-03-07 00:05:00"_s,
                u"2026-03-07 12:10:00"_s);
        addBill(*m_db, 2, 13.5, 13.5, u"PC-02"_s, u"2026-11-21 13:45:00"_s,
                u"2026-11-21 23:59:59"_s);
        addBill(*m_db, 3, 1, QVariant(), u"PC-03"_s);
        // Column names in another case, as another query may spell them.
        const auto rows = m_db->rows(u"SELECT billno AS BILLNO, sstart AS SSTART, send, terminal "
                                     "AS Terminal, \"user\" AS USER, "
                                     "netamount AS NETAMOUNT FROM history ORDER BY billno"_s);
        PrintHistoryList(*m_db, u"HISTORY DETAILS BETWEEN BILL NO From 1 To 3"_s, rows);
        const ReportDocument doc = Preview::lastDocument();
        QCOMPARE(doc.title(), u"HISTORY DETAILS BETWEEN BILL NO From 1 To 3"_s);
        QCOMPARE(doc.blocks().size(), 4);
        QCOMPARE(cellsOf(doc, 0), QStringList{u"Star Cafe"_s});
        QCOMPARE(doc.blocks()[2].header,
                 (QStringList{u"Bill No"_s, u"Start Session"_s, u" End Session "_s, u"Terminal "_s,
                              u"User "_s, u"Net Amount"_s}));
        QCOMPARE(doc.tableRows(2),
                 (QList<QStringList>{
                     {"1", "7-Mar 12:05 AM", "7-Mar 12:10 PM", "PC-01", "Regular", "12.5"},
                     {"2", "21-Nov 01:45 PM", "21-Nov 11:59 PM", "PC-02", "Regular", "13.5"},
                     {"3", "7-Mar 07:05 PM", "7-Mar 08:35 PM", "PC-03", "Regular", ""}}));
        // 12.5 + 13.5 is 26 exactly; the null amount adds nothing.
        QCOMPARE(cellsOf(doc, 3), (QStringList{u"Total : "_s, u"26"_s}));
    }
};

QTEST_MAIN(TestBill)
#include "tst_bill.moc"
