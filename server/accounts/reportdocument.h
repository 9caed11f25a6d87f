// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QColor>
#include <QList>
#include <QSizeF>
#include <QString>
#include <QStringList>

#include <functional>
#include <optional>

class QIODevice;
class QPainter;

// Lengths in the report model are twips: 1440 to the inch, 20 to the point.
namespace Twips {
inline constexpr int PerInch = 1440;
inline constexpr int PerPoint = 20;
} // namespace Twips

enum class CellAlign : quint8
{
    Left,
    Right,
    Center
};
// None: no lines; All: lines around every cell; Below: one line under each cell.
enum class TableBorder : quint8
{
    None,
    All,
    Below
};

struct ReportColumn
{
    CellAlign align = CellAlign::Left;
    int width = 0; // twips
    bool operator==(const ReportColumn&) const = default;
};

// The text attributes in force when a row or paragraph was added.
struct ReportStyle
{
    bool bold = false;
    double fontSize = 11.25; // points
    TableBorder border = TableBorder::None;
    bool operator==(const ReportStyle&) const = default;
};

struct ReportRow
{
    QStringList cells; // exactly one per column
    quint16 style = 0; // index into ReportDocument::styles()
};

struct ReportBlock
{
    enum class Kind : quint8
    {
        Table,
        Paragraph
    };
    Kind kind = Kind::Table;
    // Table
    QList<ReportColumn> columns;
    QStringList header; // empty: no header row
    QColor headerShade; // invalid: not shaded
    quint16 headerStyle = 0;
    QList<ReportRow> rows;
    // Paragraph
    QString text;
    quint16 style = 0;

    int width() const;
};

// A paged document made of tables and paragraphs, composed the way a report is written:
// page settings first, then text attributes switched between the tables. Every renderer
// (the painted pages of the preview, the printer and the PDF, and the HTML, RTF and text
// writers) works from this one model.
class ReportDocument
{
public:
    static inline const QColor HeaderShade = QColor(0xD0, 0xD0, 0xD0);
    static inline const QString DefaultFontFamily = QStringLiteral("Arial");

    ReportDocument();

    // Page setup. The paper is A4 portrait; margins default to one inch.
    QSizeF paperSize() const { return m_paper; } // twips
    int marginLeft() const { return m_marginLeft; }
    int marginTop() const { return m_marginTop; }
    int marginRight() const { return m_marginRight; }
    int marginBottom() const { return m_marginBottom; }
    void setMargins(int left, int top, int right, int bottom);
    // Footer text printed on every page, "%d" standing for the page number; empty for none.
    QString footer() const { return m_footer; }
    void setFooter(const QString& text) { m_footer = text; }
    QString title() const { return m_title; }
    void setTitle(const QString& text) { m_title = text; }
    // The page setup of list reports: footer "Page %d" and 500-twip margins at the left, top
    // and right (the bottom keeps room for the footer).
    void applyListPageSetup();
    static QString footerForPage(const QString& footer, int page);

    // Attributes that apply to the tables and paragraphs added after them.
    void setTableBorder(TableBorder border) { m_current.border = border; }
    void setBold(bool bold) { m_current.bold = bold; }
    void setFontSize(double points) { m_current.fontSize = points; }
    const ReportStyle& currentStyle() const { return m_current; }

    // Parses a table format such as "<3000|>1500|^900"; nullopt when it is malformed.
    static std::optional<QList<ReportColumn>> parseFormat(const QString& format);

    // Adds one table row. `header` and `body` hold their cells separated by "|" (a trailing
    // "|" and a trailing line feed end the row). With `append` the body row joins the table
    // started by the previous call, keeping its format and its header; without a previous
    // table it starts one. False when the format is malformed (nothing is added).
    bool addTable(const QString& format, const QString& header, const QString& body,
                  const QColor& headerShade = {}, bool append = false);
    // The same with the body's cells given one by one, so that a "|" inside a value stays
    // in its cell.
    bool addTableRow(const QString& format, const QString& header, const QStringList& cells,
                     const QColor& headerShade = {}, bool append = false);
    void addParagraph(const QString& text);

    bool isEmpty() const { return m_blocks.isEmpty(); }
    const QList<ReportBlock>& blocks() const { return m_blocks; }
    const QList<ReportStyle>& styles() const { return m_styles; }
    const ReportStyle& style(int index) const { return m_styles.at(index); }
    int rowCount() const;

    // The cells of every table row in order (headers excluded), for checks and searches.
    QList<QStringList> tableRows(int blockIndex) const;

private:
    quint16 styleIndex(const ReportStyle& s);
    static QStringList splitCells(const QString& text, int columns);

    QSizeF m_paper;
    int m_marginLeft = Twips::PerInch;
    int m_marginTop = Twips::PerInch;
    int m_marginRight = Twips::PerInch;
    int m_marginBottom = Twips::PerInch;
    QString m_footer;
    QString m_title;
    ReportStyle m_current;
    QList<ReportStyle> m_styles;
    QList<ReportBlock> m_blocks;
};

// Pages of a document laid out once, in twips, independent of the device; painted the same
// way on screen, on a printer and into a PDF.
class ReportPages
{
public:
    // Painting resolution used for printers and PDF files.
    static constexpr int MaxDpi = 300;

    explicit ReportPages(const ReportDocument& doc);
    ~ReportPages();
    ReportPages(const ReportPages&) = delete;
    ReportPages& operator=(const ReportPages&) = delete;

    const ReportDocument& document() const { return m_doc; }
    int pageCount() const;
    QSizeF pageSize() const { return m_doc.paperSize(); }
    // Paints one page (0-based) with the painter's coordinates in twips from the paper's
    // top-left corner; the caller scales the painter to its device.
    void paintPage(QPainter& painter, int page) const;
    // The texts of one page in reading order (cells and paragraph lines, then the footer).
    QStringList pageTexts(int page) const;

private:
    struct Impl;
    const ReportDocument& m_doc;
    Impl* d;
};

namespace ReportWriter {
// Told how many of how many pages are done; returning false stops the writing.
using Progress = std::function<bool(int done, int total)>;
// The reason a writer gives when its progress callback stopped it.
inline const QString Cancelled = QStringLiteral("Cancelled");
// Each returns false with a reason when the device cannot be written.
bool writePdf(const ReportDocument& doc, QIODevice& out, QString* error = nullptr,
              const Progress& progress = {});
bool writeHtml(const ReportDocument& doc, QIODevice& out, QString* error = nullptr);
bool writeRtf(const ReportDocument& doc, QIODevice& out, QString* error = nullptr);
bool writeText(const ReportDocument& doc, QIODevice& out, QString* error = nullptr);
// The plain-text form as one string (what writeText writes, as UTF-8).
QString toText(const ReportDocument& doc);
// Twips per character column of the plain-text form.
inline constexpr int TextColumnTwips = 120;
} // namespace ReportWriter
