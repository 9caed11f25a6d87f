// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/consolesettings.h"
#include "server/accounts/reportdocument.h"
#include "server/accounts/reportexport.h"
#include "server/accounts/ui/preview.h"
#include "support/consolefixture.h"
#include "support/shownbox.h"

#include <QBuffer>
#include <QComboBox>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QImage>
#include <QLabel>
#include <QPainter>
#include <QPrinter>
#include <QProcess>
#include <QProgressDialog>
#include <QPushButton>
#include <QStandardPaths>
#include <QTest>
#include <QXmlStreamReader>

namespace {

// A small document using every feature the reports use.
ReportDocument sampleDocument()
{
    ReportDocument doc;
    doc.applyListPageSetup();
    doc.setTitle(QStringLiteral("Sample & <Title>"));
    doc.setBold(true);
    doc.setFontSize(12);
    doc.addTable(QStringLiteral("^6000"), QString(), QStringLiteral("Star Cafe"));
    doc.setFontSize(10);
    doc.setBold(false);
    doc.addParagraph(QStringLiteral(" "));
    doc.setTableBorder(TableBorder::All);
    doc.addTable(QStringLiteral("3000|>1500|>1500"), QStringLiteral("Details|Quantity|Amount|"),
                 QStringLiteral("Time Spent |1:30:00|12.5"), ReportDocument::HeaderShade);
    doc.addTable(QString(), QString(), QStringLiteral("Print A4 {x}|3|7.5"), {}, true);
    doc.addTableRow(QString(), QString(),
                    {QStringLiteral("Café | Scan"), QStringLiteral("1"), QStringLiteral("2")}, {},
                    true);
    doc.setTableBorder(TableBorder::None);
    doc.addTable(QStringLiteral(">4500|>1500"), QString(), QStringLiteral("Total : |22"));
    return doc;
}

QString tool(const char* name)
{
    return QStandardPaths::findExecutable(QString::fromLatin1(name));
}

QString runTool(const QString& program, const QStringList& args)
{
    QProcess p;
    p.start(program, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        return QStringLiteral("<failed: %1>").arg(QString::fromLocal8Bit(p.readAllStandardError()));
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

QString readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

QString squeeze(QString s)
{
    return s.simplified();
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

    void parseFormat_data()
    {
        QTest::addColumn<QString>("format");
        QTest::addColumn<int>("columns");
        QTest::addColumn<int>("secondWidth");
        QTest::addColumn<int>("secondAlign");
        QTest::newRow("left right") << "<3000|>3000" << 2 << 3000 << int(CellAlign::Right);
        QTest::newRow("no char is left") << "3000|1500|>1500" << 3 << 1500 << int(CellAlign::Left);
        QTest::newRow("centred") << "^6000|^900" << 2 << 900 << int(CellAlign::Center);
        QTest::newRow("trailing bar") << ">9000|>1500|" << 2 << 1500 << int(CellAlign::Right);
        QTest::newRow("bad width") << ">abc|>1500" << -1 << 0 << 0;
        QTest::newRow("empty") << "" << -1 << 0 << 0;
        QTest::newRow("zero width") << "<0" << -1 << 0 << 0;
    }
    void parseFormat()
    {
        QFETCH(QString, format);
        QFETCH(int, columns);
        const auto cols = ReportDocument::parseFormat(format);
        if (columns < 0) {
            QVERIFY(!cols);
            return;
        }
        QVERIFY(cols);
        QCOMPARE(cols->size(), columns);
        QTEST(cols->at(1).width, "secondWidth");
        QTEST(int(cols->at(1).align), "secondAlign");
    }

    void tablesAppendAndKeepTheirStyle()
    {
        const ReportDocument doc = sampleDocument();
        QCOMPARE(doc.blocks().size(), 4);
        const ReportBlock& detail = doc.blocks().at(2);
        QCOMPARE(detail.header, (QStringList{QStringLiteral("Details"), QStringLiteral("Quantity"),
                                             QStringLiteral("Amount")}));
        QCOMPARE(detail.headerShade, QColor(0xD0, 0xD0, 0xD0));
        QCOMPARE(detail.rows.size(), 3);
        QCOMPARE(detail.rows.at(1).cells,
                 (QStringList{QStringLiteral("Print A4 {x}"), QStringLiteral("3"),
                              QStringLiteral("7.5")}));
        // A "|" inside a value given cell by cell stays in its cell.
        QCOMPARE(detail.rows.at(2).cells.at(0), QStringLiteral("Café | Scan"));
        QCOMPARE(doc.style(detail.rows.at(0).style).border, TableBorder::All);
        QCOMPARE(doc.style(doc.blocks().at(0).rows.at(0).style).bold, true);
        QCOMPARE(doc.style(doc.blocks().at(0).rows.at(0).style).fontSize, 12.0);
        QCOMPARE(doc.style(doc.blocks().at(3).rows.at(0).style).border, TableBorder::None);
        // Missing cells are empty, surplus ones dropped, a trailing line feed ends the row.
        ReportDocument d2;
        d2.addTable(QStringLiteral("<2000|<7000"), QString(), QStringLiteral("Member ID |M1\n"));
        d2.addTable(QStringLiteral("<2000|<7000"), QString(), QStringLiteral("only"));
        d2.addTable(QStringLiteral("<2000"), QString(), QStringLiteral("a|b|c"));
        QCOMPARE(d2.tableRows(0).at(0),
                 (QStringList{QStringLiteral("Member ID "), QStringLiteral("M1")}));
        QCOMPARE(d2.tableRows(1).at(0), (QStringList{QStringLiteral("only"), QString()}));
        QCOMPARE(d2.tableRows(2).at(0), QStringList{QStringLiteral("a")});
        QVERIFY(!d2.addTable(QStringLiteral("x"), QString(), QStringLiteral("y")));
        QCOMPARE(d2.blocks().size(), 3);
    }

    void pagesBreakRepeatHeaderAndNumberFooter()
    {
        ReportDocument doc;
        doc.applyListPageSetup();
        doc.setTableBorder(TableBorder::All);
        for (int i = 1; i <= 300; ++i) {
            doc.addTable(QStringLiteral(">1000|<3000"), QStringLiteral("No|Name|"),
                         QStringLiteral("%1|row %1").arg(i), ReportDocument::HeaderShade, i > 1);
        }
        ReportPages pages(doc);
        QVERIFY2(pages.pageCount() >= 4, qPrintable(QString::number(pages.pageCount())));
        QStringList all;
        for (int p = 0; p < pages.pageCount(); ++p) {
            const QStringList t = pages.pageTexts(p);
            QCOMPARE(t.first(), QStringLiteral("No"));
            QCOMPARE(t.last(), QStringLiteral("Page %1").arg(p + 1));
            all += t;
        }
        // Every row appears exactly once, in order.
        int expected = 1;
        for (const QString& s : all) {
            if (s.startsWith(QLatin1String("row "))) {
                QCOMPARE(s, QStringLiteral("row %1").arg(expected++));
            }
        }
        QCOMPARE(expected, 301);
        // The same painter code draws on an image without trouble.
        QImage img(200, 300, QImage::Format_RGB32);
        img.fill(Qt::white);
        QPainter painter(&img);
        painter.scale(200.0 / doc.paperSize().width(), 300.0 / doc.paperSize().height());
        pages.paintPage(painter, 1);
        painter.end();
        QVERIFY(img.pixel(10, 10) != 0);
    }

    void longCellTextWrapsInsteadOfOverflowing()
    {
        ReportDocument doc;
        doc.addTable(QStringLiteral("<1500|<1500"), QString(),
                     QStringLiteral("a very long particular text that cannot fit|x"));
        doc.addTable(QStringLiteral("<1500|<1500"), QString(), QStringLiteral("short|x"));
        ReportPages pages(doc);
        QCOMPARE(pages.pageCount(), 1);
        QCOMPARE(ReportWriter::toText(doc).count(QLatin1String("a very long particular text")), 1);
    }

    void textWriterLaysColumnsOut()
    {
        const QString text = ReportWriter::toText(sampleDocument());
        // Columns are width / 120 characters (50, then 25, 12 and 12, then 37 and 12),
        // separated by one blank, aligned as their format says; trailing blanks dropped.
        const auto sp = [](int n) { return QString(n, QLatin1Char(' ')); };
        const QString expected =
            sp(20) + "Star Cafe\n" + "\n" + "Details" + sp(23) + "Quantity" + sp(7) + "Amount\n" +
            QString(51, QLatin1Char('-')) + "\n" + "Time Spent " + sp(20) + "1:30:00" + sp(9) +
            "12.5\n" + "Print A4 {x}" + sp(25) + "3" + sp(10) + "7.5\n" + "Café | Scan" + sp(26) +
            "1" + sp(12) + "2\n" + sp(29) + "Total : " + sp(11) + "22\n";
        QCOMPARE(text, expected);
    }

    void exportsReadBack()
    {
        const ReportDocument doc = sampleDocument();
        const QString folder = m_home->file(QStringLiteral("exports/nested"));
        QVERIFY(!QDir(folder).exists());

        for (const QString& item : ReportExport::itemTexts()) {
            const QString file = ReportExport::exportItem(doc, item, folder);
            QVERIFY2(!file.isEmpty(), qPrintable(m_prompt->lastText()));
            QVERIFY(QFile::exists(file));
        }
        QCOMPARE(m_prompt->texts(),
                 (QStringList{QStringLiteral("PDF file Saved to ") + folder + "/Report.pdf",
                              QStringLiteral("HTML document saved to ") + folder + "/Report.html",
                              QStringLiteral("RTF document saved to ") + folder + "/Report.rtf",
                              QStringLiteral("Text document saved to ") + folder + "/Report.txt"}));
        for (const auto& a : m_prompt->asked()) {
            QCOMPARE(a.title, QStringLiteral("Exported"));
            QCOMPARE(a.icon, Prompt::Icon::Information);
        }

        // Text: exactly the plain-text form.
        QCOMPARE(readFile(folder + "/Report.txt"), ReportWriter::toText(doc));

        // HTML: well-formed, with the cells, the shaded header and the escaped title.
        {
            QFile f(folder + "/Report.html");
            QVERIFY(f.open(QIODevice::ReadOnly));
            QXmlStreamReader xml(&f);
            QStringList cells;
            QStringList headers;
            QString title;
            QString headerStyle;
            while (!xml.atEnd()) {
                if (xml.readNext() != QXmlStreamReader::StartElement) {
                    continue;
                }
                if (xml.name() == QLatin1String("td")) {
                    cells << xml.readElementText(QXmlStreamReader::IncludeChildElements);
                } else if (xml.name() == QLatin1String("th")) {
                    headerStyle = xml.attributes().value(QLatin1String("style")).toString();
                    headers << xml.readElementText();
                } else if (xml.name() == QLatin1String("title")) {
                    title = xml.readElementText();
                }
            }
            QVERIFY2(!xml.hasError(), qPrintable(xml.errorString()));
            QCOMPARE(title, QStringLiteral("Sample & <Title>"));
            QCOMPARE(headers, (QStringList{QStringLiteral("Details"), QStringLiteral("Quantity"),
                                           QStringLiteral("Amount")}));
            QVERIFY(headerStyle.contains(QLatin1String("#D0D0D0")));
            QVERIFY(cells.contains(QStringLiteral("Café | Scan")));
            QVERIFY(cells.contains(QStringLiteral("Print A4 {x}")));
            QCOMPARE(cells.mid(cells.indexOf(QStringLiteral("Total : ")), 2),
                     (QStringList{QStringLiteral("Total : "), QStringLiteral("22")}));
        }

        // RTF: read by an independent reader.
        const QString unrtf = tool("unrtf");
        if (unrtf.isEmpty()) {
            qWarning("unrtf is not installed (package unrtf): the RTF export is not read back");
        } else {
            const QString text =
                squeeze(runTool(unrtf, {QStringLiteral("--text"), folder + "/Report.rtf"}));
            for (const char* s : {"Star Cafe", "Details", "Quantity", "Time Spent", "1:30:00",
                                  "12.5", "Print A4 {x}", "Total :", "22"}) {
                QVERIFY2(text.contains(QLatin1String(s)),
                         qPrintable(QLatin1String(s) + " in " + text));
            }
        }

        // PDF: its text as a PDF reader extracts it.
        const QString pdftotext = tool("pdftotext");
        if (pdftotext.isEmpty()) {
            QSKIP("pdftotext is not installed (package poppler-utils): the PDF is not read back");
        }
        const QString text = runTool(
            pdftotext, {QStringLiteral("-layout"), folder + "/Report.pdf", QStringLiteral("-")});
        for (const char* s : {"Star Cafe", "Details", "Quantity", "Amount", "Time Spent", "1:30:00",
                              "12.5", "Print A4 {x}", "Total :", "22", "Page 1"}) {
            QVERIFY2(text.contains(QLatin1String(s)), qPrintable(QLatin1String(s) + " in " + text));
        }
        QVERIFY(text.contains(QStringLiteral("Café | Scan")));
    }

    void shapedAndWrappedTextReachesThePdf()
    {
        const QString pdftotext = tool("pdftotext");
        if (pdftotext.isEmpty()) {
            QSKIP("pdftotext is not installed (package poppler-utils)");
        }
        ReportDocument doc;
        // Greek and a combining accent take the text shaper's way; the long word is broken.
        doc.addTable(QStringLiteral("<3000|>3000"), QString(),
                     QStringLiteral("Ελλάδα Café|nai\u0308ve"));
        doc.addTable(QStringLiteral("<1200"), QString(),
                     QStringLiteral("averyveryverylongword and more"));
        const QString file = m_home->file(QStringLiteral("shaped.pdf"));
        QVERIFY(ReportExport::writeFile(doc, ReportExport::Kind::Pdf, file));
        const QString text = runTool(pdftotext, {file, QStringLiteral("-")});
        QVERIFY2(text.contains(QStringLiteral("Ελλάδα Café")), qPrintable(text));
        QVERIFY2(text.normalized(QString::NormalizationForm_C).contains(QStringLiteral("naïve")),
                 qPrintable(text));
        QVERIFY2(!text.contains(QLatin1String("averyveryverylongword")), qPrintable(text));
        QVERIFY(QString(text)
                    .remove(QLatin1Char('\n'))
                    .contains(QLatin1String("averyveryverylongword")));
    }

    // An earlier export is replaced only when the operator says so; declined, nothing is
    // written and nothing is said to be saved.
    void anEarlierExportIsReplacedOnlyWhenAllowed_data()
    {
        QTest::addColumn<QString>("item");
        for (const QString& item : ReportExport::itemTexts()) {
            QTest::newRow(qPrintable(item)) << item;
        }
    }
    void anEarlierExportIsReplacedOnlyWhenAllowed()
    {
        QFETCH(QString, item);
        ReportDocument first;
        first.addTable(QStringLiteral("<3000"), QString(), QStringLiteral("first export"));
        ReportDocument second;
        second.addTable(QStringLiteral("<3000"), QString(), QStringLiteral("second"));
        const QString folder = m_home->path();
        const QString path = ReportExport::exportItem(first, item, folder);
        QVERIFY(!path.isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray earlier = file.readAll();
        file.close();
        m_prompt->clear();

        m_prompt->answerNext(Prompt::Answer::No);
        QVERIFY(ReportExport::exportItem(second, item, folder).isEmpty());
        QCOMPARE(m_prompt->texts(),
                 (QStringList{QStringLiteral("The file ") + path +
                                  QStringLiteral(" already exists. Do you want to replace it?"),
                              QStringLiteral("Nothing was exported. The earlier file ") + path +
                                  QStringLiteral(" is left as it was.")}));
        QCOMPARE(m_prompt->asked().first().buttons, Prompt::Buttons::YesNoDefaultNo);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), earlier);
        file.close();
        QCOMPARE(QDir(folder).entryList({QStringLiteral("Report*")}, QDir::Files | QDir::Hidden),
                 QStringList{QFileInfo(path).fileName()});

        m_prompt->clear();
        m_prompt->answerNext(Prompt::Answer::Yes);
        QCOMPARE(ReportExport::exportItem(second, item, folder), path);
        QVERIFY(m_prompt->lastText().endsWith(QStringLiteral(" to ") + path));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QVERIFY(file.readAll() != earlier);
    }

    // A long PDF tells its pages as it goes; stopped part-way it leaves the earlier export
    // whole, no half file beside it, and no message.
    void cancelledExportLeavesNoHalfFile()
    {
        ReportDocument big;
        big.applyListPageSetup();
        for (int i = 0; i < 400; ++i) {
            big.addTable(QStringLiteral("<3000|>1500"), QString(),
                         QStringLiteral("row %1|%2").arg(i).arg(i * 10));
        }
        const QString folder = m_home->file(QStringLiteral("exports"));
        QList<int> seen;
        int total = 0;
        const QString path = ReportExport::exportItem(big, QStringLiteral("Export To PDF"), folder,
                                                      [&](int done, int all) {
                                                          seen.append(done);
                                                          total = all;
                                                          return true;
                                                      });
        QCOMPARE(path, folder + QStringLiteral("/Report.pdf"));
        QVERIFY2(total >= 3, qPrintable(QString::number(total)));
        QCOMPARE(seen.size(), total);
        QCOMPARE(seen.first(), 0);
        QCOMPARE(seen.last(), total - 1);
        QFile done(path);
        QVERIFY(done.open(QIODevice::ReadOnly));
        const QByteArray earlier = done.readAll();
        done.close();
        m_prompt->clear();

        ReportDocument other = big;
        other.addTable(QStringLiteral("<3000"), QString(), QStringLiteral("one more row"));
        int calls = 0;
        QString error;
        QVERIFY(!ReportExport::writeFile(other, ReportExport::Kind::Pdf, path, &error,
                                         [&](int, int) { return ++calls < 2; }));
        QCOMPARE(error, ReportWriter::Cancelled);
        QCOMPARE(calls, 2);
        QVERIFY(done.open(QIODevice::ReadOnly));
        QCOMPARE(done.readAll(), earlier);
        done.close();
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden),
                 QStringList{QStringLiteral("Report.pdf")});

        // Through the export list: nothing said, nothing logged, nothing written.
        QFile::remove(path);
        QVERIFY(
            ReportExport::exportItem(other, QStringLiteral("Export To PDF"), folder, [](int, int) {
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
        QFile blocker(m_home->file(QStringLiteral("blocked")));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        const QString file =
            ReportExport::exportItem(sampleDocument(), QStringLiteral("Export To PDF"),
                                     m_home->file(QStringLiteral("blocked")));
        QVERIFY(file.isEmpty());
        QCOMPARE(m_prompt->asked().size(), 1);
        QVERIFY(!m_prompt->lastText().contains(QLatin1String("Saved to")));
        QVERIFY(m_prompt->lastText().contains(QLatin1String("could not be exported")));
        QCOMPARE(m_prompt->asked().first().icon, Prompt::Icon::Critical);
        QVERIFY(m_home->errorLog().contains(QLatin1String("cmbexport_Click")));
        // Unknown items do nothing.
        QVERIFY(ReportExport::exportItem(sampleDocument(), QStringLiteral("Export"), m_home->path())
                    .isEmpty());
        QCOMPARE(m_prompt->asked().size(), 1);
    }

    void consoleSettingsRoundTripAndDefaults()
    {
        ConsoleSettings s;
        QCOMPARE(s.cafeName(), QString());
        QCOMPARE(s.cafeAddress1(), QString());
        QCOMPARE(s.exportFolder(), QDir::tempPath());
        s.setCafeName(QStringLiteral("Star Cafe "));
        s.setCafeAddress1(QStringLiteral("1 Main Road"));
        s.setCafeAddress2(QStringLiteral("Springfield"));
        s.setExportFolder(m_home->file(QStringLiteral("out")));
        const ConsoleSettings again;
        QCOMPARE(again.cafeName(), QStringLiteral("Star Cafe "));
        QCOMPARE(again.cafeAddress1(), QStringLiteral("1 Main Road"));
        QCOMPARE(again.cafeAddress2(), QStringLiteral("Springfield"));
        QCOMPARE(again.exportFolder(), m_home->file(QStringLiteral("out")));
    }

    void previewWindowNavigatesAndExports()
    {
        ConsoleSettings().setExportFolder(m_home->file(QStringLiteral("reports")));
        ReportDocument doc;
        doc.applyListPageSetup();
        for (int i = 1; i <= 200; ++i) {
            doc.addTable(QStringLiteral(">1000|<3000"), QStringLiteral("No|Name|"),
                         QStringLiteral("%1|row %1").arg(i), ReportDocument::HeaderShade, i > 1);
        }
        Preview preview(doc);
        QCOMPARE(preview.objectName(), QStringLiteral("Preview"));
        QCOMPARE(preview.windowTitle(), QStringLiteral("Preview"));
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        const int pages = preview.pageCount();
        QVERIFY(pages > 1);
        auto* label = preview.findChild<QLabel*>(QStringLiteral("lblpage"));
        QCOMPARE(label->text(), QStringLiteral("Page 1 of %1").arg(pages));
        preview.findChild<QPushButton*>(QStringLiteral("cmdnext"))->click();
        QCOMPARE(preview.currentPage(), 1);
        preview.findChild<QPushButton*>(QStringLiteral("cmdlast"))->click();
        QCOMPARE(preview.currentPage(), pages - 1);
        QVERIFY(!preview.findChild<QPushButton*>(QStringLiteral("cmdnext"))->isEnabled());
        preview.findChild<QPushButton*>(QStringLiteral("cmdfirst"))->click();
        QCOMPARE(preview.currentPage(), 0);

        const double actual = preview.scale();
        preview.setZoom(Preview::Zoom::WholePage);
        QVERIFY(preview.scale() * doc.paperSize().height() <= preview.height());
        preview.setZoom(Preview::Zoom::Thumbnail);
        QVERIFY(preview.scale() < actual);
        preview.resize(preview.width() + 40, preview.height() + 40);
        QTRY_COMPARE(preview.zoom(), Preview::Zoom::Actual);

        auto* box = preview.findChild<QComboBox*>(QStringLiteral("cmbexport"));
        QVERIFY(box);
        QCOMPARE(box->count(), 4);
        QCOMPARE(box->itemText(1), QStringLiteral("Export To HTML"));
        // Picking an item exports at once into the configured folder, created when missing.
        box->setCurrentIndex(3);
        Q_EMIT box->activated(3);
        const QString txt = m_home->file(QStringLiteral("reports/Report.txt"));
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Text document saved to ") + txt);
        QVERIFY(readFile(txt).contains(QLatin1String("row 200")));
        // Enter in the list exports the shown item again.
        box->setCurrentIndex(1);
        box->setFocus();
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("HTML document saved to ") +
                                           m_home->file(QStringLiteral("reports/Report.html")));
    }

    // The cashier reads the result and presses Enter: the export's progress is gone by then,
    // so nothing covers the message and the Enter closes it instead of exporting again.
    void previewExportEndsItsProgressBeforeTheResult()
    {
        ConsoleSettings().setExportFolder(m_home->file(QStringLiteral("reports")));
        Preview preview(sampleDocument());
        preview.show();
        QVERIFY(QTest::qWaitForWindowExposed(&preview));
        auto* list = child<QComboBox>(preview, QStringLiteral("cmbexport"));
        list->setCurrentIndex(0);
        list->setFocus();

        const ShownBox::Read read = ShownBox::read(
            [&] {
                Q_EMIT list->activated(0);
                QTest::qWait(300);
            },
            800, m_prompt.get());
        QCOMPARE(read.texts, QStringList{QStringLiteral("PDF file Saved to ") +
                                         m_home->file(QStringLiteral("reports/Report.pdf"))});
        QVERIFY(!read.covered);
        for (QWidget* w : QApplication::topLevelWidgets()) {
            QVERIFY(qobject_cast<QProgressDialog*>(w) == nullptr || !w->isVisible());
        }
    }

    void printingGoesThroughThePainterPages()
    {
        const QString pdftotext = tool("pdftotext");
        if (pdftotext.isEmpty()) {
            QSKIP("pdftotext is not installed (package poppler-utils)");
        }
        Preview preview(sampleDocument());
        QPrinter printer(QPrinter::HighResolution);
        printer.setOutputFormat(QPrinter::PdfFormat);
        printer.setOutputFileName(m_home->file(QStringLiteral("printed.pdf")));
        QVERIFY(preview.printTo(printer));
        QCOMPARE(printer.resolution(), ReportPages::MaxDpi);
        const QString text =
            runTool(pdftotext, {m_home->file(QStringLiteral("printed.pdf")), QStringLiteral("-")});
        QVERIFY2(text.contains(QLatin1String("Print A4 {x}")), qPrintable(text));
        QVERIFY(text.contains(QLatin1String("Page 1")));
    }

    void presentRecordsWhenShowingIsSwitchedOff()
    {
        ReportDocument doc;
        doc.addTable(QStringLiteral("<3000"), QString(), QStringLiteral("recorded"));
        Preview::present(doc);
        QCOMPARE(Preview::presentedCount(), 1);
        QCOMPARE(Preview::lastDocument().tableRows(0).at(0).at(0), QStringLiteral("recorded"));
    }
};

QTEST_MAIN(TestReportDocument)
#include "tst_reportdocument.moc"
