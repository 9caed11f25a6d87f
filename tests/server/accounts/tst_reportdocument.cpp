// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/consolesettings.h"
#include "server/accounts/reportdocument.h"
#include "server/accounts/reportexport.h"
#include "server/accounts/ui/preview.h"
#include "support/consolefixture.h"
#include "support/readback.h"
#include "support/shownbox.h"

#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QPrinter>
#include <QProgressDialog>
#include <QRegularExpression>
#include <QTest>

using namespace Qt::StringLiterals;

namespace {

// A small document using every feature the reports use.
ReportDocument sampleDocument()
{
    ReportDocument doc;
    doc.applyListPageSetup();
    doc.setTitle(u"Sample & <Title>"_s);
    doc.setBold(true);
    doc.setFontSize(12);
    doc.addTable(u"^6000"_s, QString(), u"Star Cafe"_s);
    doc.setFontSize(10);
    doc.setBold(false);
    doc.addParagraph(u" "_s);
    doc.setTableBorder(TableBorder::All);
    doc.addTable(u"3000|>1500|>1500"_s, u"Details|Quantity|Amount|"_s,
                 u"Time Spent |1:30:00|12.5"_s, ReportDocument::HeaderShade);
    doc.addTable(QString(), QString(), u"Print A4 {x}|3|7.5"_s, {}, true);
    doc.addTableRow(QString(), QString(), {u"Café | Scan"_s, u"1"_s, u"2"_s}, {}, true);
    doc.setTableBorder(TableBorder::None);
    doc.addTable(u">4500|>1500"_s, QString(), u"Total : |22"_s);
    return doc;
}

// `rows` numbered rows under a repeated "No|Name" header: a list of several pages.
ReportDocument numberedRows(int rows)
{
    ReportDocument doc;
    doc.applyListPageSetup();
    doc.setTableBorder(TableBorder::All);
    for (int i = 1; i <= rows; ++i) {
        doc.addTable(u">1000|<3000"_s, u"No|Name|"_s, u"%1|row %1"_s.arg(i),
                     ReportDocument::HeaderShade, i > 1);
    }
    return doc;
}

// A document of one line of text.
ReportDocument oneLine(const QString& text)
{
    ReportDocument doc;
    doc.addTable(u"<3000"_s, QString(), text);
    return doc;
}

} // namespace

class TestReportDocument : public QObject, public ConsoleFixture
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

    void tablesAppendKeepTheirStyleAndLayOutAsText()
    {
        const ReportDocument doc = sampleDocument();
        // Missing cells are empty, surplus ones dropped, a trailing line feed ends the row.
        ReportDocument d2;
        d2.addTable(u"<2000|<7000"_s, QString(), u"Member ID |M1\n"_s);
        d2.addTable(u"<2000|<7000"_s, QString(), u"only"_s);
        d2.addTable(u"<2000"_s, QString(), u"a|b|c"_s);
        QCOMPARE(d2.tableRows(0).at(0), (QStringList{u"Member ID "_s, u"M1"_s}));
        QCOMPARE(d2.tableRows(1).at(0), (QStringList{u"only"_s, QString()}));
        QCOMPARE(d2.tableRows(2).at(0), QStringList{u"a"_s});
        // A format that is not widths adds nothing.
        for (const char* bad : {">abc|>1500", "", "<0"}) {
            QVERIFY2(!d2.addTable(QString::fromLatin1(bad), QString(), u"y"_s), bad);
        }
        QCOMPARE(d2.blocks().size(), 3);

        // As text, columns are width / 120 characters (50, then 25, 12 and 12, then 37 and 12),
        // separated by one blank, aligned as their format says; trailing blanks dropped.
        const auto sp = [](int n) { return QString(n, QLatin1Char(' ')); };
        const QString expected =
            sp(20) + "Star Cafe\n" + "\n" + "Details" + sp(23) + "Quantity" + sp(7) + "Amount\n" +
            QString(51, QLatin1Char('-')) + "\n" + "Time Spent " + sp(20) + "1:30:00" + sp(9) +
            "12.5\n" + "Print A4 {x}" + sp(25) + "3" + sp(10) + "7.5\n" + "Café | Scan" + sp(26) +
            "1" + sp(12) + "2\n" + sp(29) + "Total : " + sp(11) + "22\n";
        QCOMPARE(ReportWriter::toText(doc), expected);
    }

    void pagesBreakAndRepeatTheHeader()
    {
        const ReportDocument doc = numberedRows(300);
        ReportPages pages(doc);
        QVERIFY2(pages.pageCount() >= 4, qPrintable(QString::number(pages.pageCount())));
        QStringList all;
        for (int p = 0; p < pages.pageCount(); ++p) {
            const QStringList t = pages.pageTexts(p);
            QCOMPARE(t.first(), u"No"_s);
            QCOMPARE(t.last(), u"Page %1"_s.arg(p + 1));
            all += t;
        }
        // Every row appears exactly once, in order.
        QStringList rows;
        for (int i = 1; i <= 300; ++i) {
            rows << u"row %1"_s.arg(i);
        }
        QCOMPARE(all.filter(QRegularExpression(u"^row "_s)), rows);
    }

    void exportsReadBack()
    {
        const ReportDocument doc = sampleDocument();
        const QString folder = m_home->file(u"exports/nested"_s); // made by the export

        for (const QString& item : ReportExport::itemTexts()) {
            const QString file = ReportExport::exportItem(doc, item, folder);
            QVERIFY2(!file.isEmpty(), qPrintable(m_prompt->lastText()));
        }
        QCOMPARE(m_prompt->texts(),
                 (QStringList{u"PDF file Saved to "_s + folder + "/Report.pdf",
                              u"HTML document saved to "_s + folder + "/Report.html",
                              u"RTF document saved to "_s + folder + "/Report.rtf",
                              u"Text document saved to "_s + folder + "/Report.txt"}));
        QCOMPARE(m_prompt->asked().last().title, u"Exported"_s);

        // Text: exactly the plain-text form.
        QCOMPARE(QString::fromUtf8(ReadBack::bytes(folder + "/Report.txt")),
                 ReportWriter::toText(doc));

        // HTML: the title escaped, a "|" inside a cell kept.
        const QByteArray html = ReadBack::bytes(folder + "/Report.html");
        QVERIFY(html.contains("<title>Sample &amp; &lt;Title&gt;</title>"));
        QVERIFY(html.contains("Café | Scan"));

        // RTF and PDF as independent readers get them (the amounts in every form are the
        // bill test's): braces are RTF's own marks, the accent needs the PDF's font.
        const QString rtf = ReadBack::run("unrtf", {u"--text"_s, folder + "/Report.rtf"});
        QVERIFY2(rtf.simplified().contains(u"Print A4 {x}"_s), qPrintable(rtf));
        const QString pdf =
            ReadBack::run("pdftotext", {u"-layout"_s, folder + "/Report.pdf", u"-"_s});
        QVERIFY2(pdf.contains(u"Café | Scan"_s) && pdf.contains(u"Page 1"_s), qPrintable(pdf));
    }

    // An earlier export is replaced only when the operator says so; declined, nothing is
    // written and nothing is said to be saved. Every kind is written the same way.
    void anEarlierExportIsReplacedOnlyWhenAllowed()
    {
        const QString item = u"Export To PDF"_s;
        const ReportDocument second = oneLine(u"second"_s);
        const QString folder = m_home->path();
        const QString path = ReportExport::exportItem(oneLine(u"first export"_s), item, folder);
        const QByteArray earlier = ReadBack::bytes(path);
        m_prompt->clear();

        m_prompt->answerNext(Prompt::Answer::No);
        QVERIFY(ReportExport::exportItem(second, item, folder).isEmpty());
        QCOMPARE(
            m_prompt->texts(),
            (QStringList{u"The file "_s + path + u" already exists. Do you want to replace it?"_s,
                         u"Nothing was exported. The earlier file "_s + path +
                             u" is left as it was."_s}));
        QCOMPARE(m_prompt->asked().first().buttons, Prompt::Buttons::YesNoDefaultNo);
        QCOMPARE(ReadBack::bytes(path), earlier);
        QCOMPARE(QDir(folder).entryList({u"Report*"_s}, QDir::Files | QDir::Hidden),
                 QStringList{QFileInfo(path).fileName()});

        m_prompt->clear();
        m_prompt->answerNext(Prompt::Answer::Yes);
        QCOMPARE(ReportExport::exportItem(second, item, folder), path);
        QVERIFY(m_prompt->lastText().endsWith(u" to "_s + path));
        QVERIFY(ReadBack::bytes(path) != earlier);
    }

    // A long PDF tells its pages as it goes; stopped part-way it leaves the earlier export
    // whole, no half file beside it, and no message.
    void cancelledExportLeavesNoHalfFile()
    {
        const ReportDocument big = numberedRows(400);
        const QString folder = m_home->file(u"exports"_s);
        QList<int> seen;
        int firstDone = -1;
        const QString path =
            ReportExport::exportItem(big, u"Export To PDF"_s, folder, [&](int done, int all) {
                if (seen.isEmpty()) {
                    firstDone = done;
                }
                seen.append(all - done);
                return true;
            });
        QCOMPARE(path, folder + u"/Report.pdf"_s);
        // Told page by page: from all of them to go down to the last one.
        QVERIFY(seen.size() >= 3);
        QCOMPARE(firstDone, 0);
        QCOMPARE(seen.first(), seen.size());
        QCOMPARE(seen.last(), 1);
        const QByteArray earlier = ReadBack::bytes(path);
        m_prompt->clear();

        ReportDocument other = big;
        other.addTable(u"<3000"_s, QString(), u"one more row"_s);
        int calls = 0;
        QString error;
        QVERIFY(!ReportExport::writeFile(other, ReportExport::Kind::Pdf, path, &error,
                                         [&](int, int) { return ++calls < 2; }));
        QCOMPARE(error, ReportWriter::Cancelled);
        QCOMPARE(calls, 2);
        QCOMPARE(ReadBack::bytes(path), earlier);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{u"Report.pdf"_s});

        // Through the export list: nothing said, nothing logged, nothing written.
        QFile::remove(path);
        QVERIFY(ReportExport::exportItem(other, u"Export To PDF"_s, folder, [](int, int) {
                    return false;
                }).isEmpty());
        QVERIFY(m_prompt->asked().isEmpty());
        QVERIFY(!QFile::exists(path));
        QVERIFY(QDir(folder).entryList(QDir::Files | QDir::Hidden).isEmpty());
        QVERIFY(!m_home->errorLog().contains(QLatin1String("cmbexport_Click")));
    }

    void failedExportSaysSo()
    {
        // The export folder's path is taken by a file, so nothing can be written there.
        QVERIFY(QFile(m_home->file(u"blocked"_s)).open(QIODevice::WriteOnly));
        const QString file = ReportExport::exportItem(sampleDocument(), u"Export To PDF"_s,
                                                      m_home->file(u"blocked"_s));
        QVERIFY(file.isEmpty());
        QCOMPARE(m_prompt->asked().size(), 1);
        QVERIFY(m_prompt->lastText().contains(QLatin1String("could not be exported")));
        QCOMPARE(m_prompt->asked().first().icon, Prompt::Icon::Critical);
        QVERIFY(m_home->errorLog().contains(QLatin1String("cmbexport_Click")));
    }

    // The cashier reads the result and presses Enter: the export's progress is gone by then,
    // so nothing covers the message and the Enter closes it instead of exporting again.
    // The export goes into the configured folder, created when missing.
    void previewExportEndsItsProgressBeforeTheResult()
    {
        ConsoleSettings().setExportFolder(m_home->file(u"reports"_s));
        Preview preview(sampleDocument());
        QCOMPARE(preview.windowTitle(), u"Preview"_s);
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        auto* list = child<QComboBox>(preview, u"cmbexport"_s);
        list->setCurrentIndex(0);
        list->setFocus();

        const ShownBox::Read read = ShownBox::read(
            [&] {
                Q_EMIT list->activated(0);
                QTest::qWait(300);
            },
            800, m_prompt.get());
        QCOMPARE(read.texts,
                 QStringList{u"PDF file Saved to "_s + m_home->file(u"reports/Report.pdf"_s)});
        QVERIFY(!read.covered);
        for (QWidget* w : QApplication::topLevelWidgets()) {
            QVERIFY(qobject_cast<QProgressDialog*>(w) == nullptr || !w->isVisible());
        }
        // Enter in the list exports the shown item again.
        list->setCurrentIndex(1);
        QTest::keyClick(list, Qt::Key_Return);
        QCOMPARE(m_prompt->lastText(),
                 u"HTML document saved to "_s + m_home->file(u"reports/Report.html"_s));
    }

    void printingGoesThroughThePainterPages()
    {
        Preview preview(sampleDocument());
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_home->file(u"printed.pdf"_s));
        QVERIFY(preview.printTo(printer));
        const QString text = ReadBack::run("pdftotext", {m_home->file(u"printed.pdf"_s), u"-"_s});
        QVERIFY2(text.contains(u"Print A4 {x}"_s) && text.contains(u"Page 1"_s), qPrintable(text));
    }
};

QTEST_MAIN(TestReportDocument)
#include "tst_reportdocument.moc"
