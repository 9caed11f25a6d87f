// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/reportdocument.h"

#include <QFont>
#include <QFontMetricsF>
#include <QGlyphRun>
#include <QIODevice>
#include <QPageSize>
#include <QPainter>
#include <QPdfWriter>
#include <QRawFont>
#include <QVarLengthArray>

#include <cmath>
#include <optional>
#include <vector>

// ---------------------------------------------------------------------------------------------
// Model

int ReportBlock::width() const
{
    int w = 0;
    for (const ReportColumn& c : columns) {
        w += c.width;
    }
    return w;
}

ReportDocument::ReportDocument()
{
    const QSizeF mm = QPageSize(QPageSize::A4).size(QPageSize::Millimeter);
    m_paper = QSizeF(std::round(mm.width() / 25.4 * Twips::PerInch),
                     std::round(mm.height() / 25.4 * Twips::PerInch));
    m_styles.append(m_current);
}

void ReportDocument::setMargins(int left, int top, int right, int bottom)
{
    m_marginLeft = qMax(0, left);
    m_marginTop = qMax(0, top);
    m_marginRight = qMax(0, right);
    m_marginBottom = qMax(0, bottom);
}

void ReportDocument::applyListPageSetup()
{
    m_footer = QStringLiteral("Page %d");
    setMargins(500, 500, 500, m_marginBottom);
}

QString ReportDocument::footerForPage(const QString& footer, int page)
{
    QString out = footer;
    out.replace(QStringLiteral("%d"), QString::number(page));
    return out;
}

std::optional<QList<ReportColumn>> ReportDocument::parseFormat(const QString& format)
{
    QList<ReportColumn> cols;
    const QStringList parts = format.split(QLatin1Char('|'));
    for (QString part : parts) {
        part = part.trimmed();
        if (part.isEmpty()) {
            continue; // a trailing "|"
        }
        ReportColumn c;
        const QChar first = part.at(0);
        if (first == QLatin1Char('<')) {
            c.align = CellAlign::Left;
            part.remove(0, 1);
        } else if (first == QLatin1Char('>')) {
            c.align = CellAlign::Right;
            part.remove(0, 1);
        } else if (first == QLatin1Char('^')) {
            c.align = CellAlign::Center;
            part.remove(0, 1);
        }
        bool ok = false;
        c.width = part.toInt(&ok);
        if (!ok || c.width <= 0) {
            return std::nullopt;
        }
        cols.append(c);
    }
    if (cols.isEmpty()) {
        return std::nullopt;
    }
    return cols;
}

QStringList ReportDocument::splitCells(const QString& text, int columns)
{
    QString t = text;
    while (t.endsWith(QLatin1Char('\n')) || t.endsWith(QLatin1Char('\r'))) {
        t.chop(1);
    }
    QStringList cells = t.split(QLatin1Char('|'));
    cells.resize(columns);
    return cells;
}

quint16 ReportDocument::styleIndex(const ReportStyle& s)
{
    const qsizetype i = m_styles.indexOf(s);
    if (i >= 0) {
        return quint16(i);
    }
    m_styles.append(s);
    return quint16(m_styles.size() - 1);
}

bool ReportDocument::addTable(const QString& format, const QString& header, const QString& body,
                              const QColor& headerShade, bool append)
{
    if (append && !m_blocks.isEmpty() && m_blocks.last().kind == ReportBlock::Kind::Table) {
        ReportBlock& b = m_blocks.last();
        b.rows.append(ReportRow{splitCells(body, int(b.columns.size())), styleIndex(m_current)});
        return true;
    }
    const auto cols = parseFormat(format);
    if (!cols) {
        return false;
    }
    return addTableRow(format, header, splitCells(body, int(cols->size())), headerShade, false);
}

bool ReportDocument::addTableRow(const QString& format, const QString& header,
                                 const QStringList& cells, const QColor& headerShade, bool append)
{
    const quint16 style = styleIndex(m_current);
    if (append && !m_blocks.isEmpty() && m_blocks.last().kind == ReportBlock::Kind::Table) {
        ReportBlock& b = m_blocks.last();
        QStringList row = cells;
        row.resize(b.columns.size());
        b.rows.append(ReportRow{row, style});
        return true;
    }
    const auto cols = parseFormat(format);
    if (!cols) {
        return false;
    }
    ReportBlock b;
    b.kind = ReportBlock::Kind::Table;
    b.columns = *cols;
    if (!header.isEmpty()) {
        b.header = splitCells(header, int(cols->size()));
        b.headerShade = headerShade;
    }
    b.headerStyle = style;
    QStringList row = cells;
    row.resize(cols->size());
    b.rows.append(ReportRow{row, style});
    m_blocks.append(b);
    return true;
}

void ReportDocument::addParagraph(const QString& text)
{
    ReportBlock b;
    b.kind = ReportBlock::Kind::Paragraph;
    b.text = text;
    b.style = styleIndex(m_current);
    m_blocks.append(b);
}

int ReportDocument::rowCount() const
{
    int n = 0;
    for (const ReportBlock& b : m_blocks) {
        n += int(b.rows.size());
    }
    return n;
}

QList<QStringList> ReportDocument::tableRows(int blockIndex) const
{
    QList<QStringList> out;
    if (blockIndex < 0 || blockIndex >= m_blocks.size()) {
        return out;
    }
    for (const ReportRow& r : m_blocks.at(blockIndex).rows) {
        out.append(r.cells);
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Page layout and painting

namespace {

constexpr double CellPadX = 60;  // twips
constexpr double CellPadY = 30;  // twips
constexpr double BorderPen = 10; // twips (half a point)

// A font with the glyphs and advances of the characters met so far, so that the many short
// texts of a long report are measured and drawn without running the text shaper for each.
// Texts with characters outside the simple range (combining marks, complex scripts, glyphs
// the font lacks) take the shaper's way.
struct FontInfo
{
    static constexpr char16_t CachedChars = 0x0300;

    QFont font;
    QFontMetricsF fm;
    QRawFont raw;
    double ascent;
    double lineHeight;
    double maxCharWidth;
    mutable std::vector<quint32> glyphs = std::vector<quint32>(CachedChars, 0);
    mutable std::vector<double> advances = std::vector<double>(CachedChars, 0);
    // 0 not looked up, 1 simple, 2 needs the shaper
    mutable std::vector<quint8> state = std::vector<quint8>(CachedChars, 0);

    explicit FontInfo(const ReportStyle& s)
        : font(makeFont(s)), fm(font), raw(QRawFont::fromFont(font))
    {
        ascent = fm.ascent();
        lineHeight = fm.height();
        maxCharWidth = fm.maxWidth();
    }

    static QFont makeFont(const ReportStyle& s)
    {
        QFont f(ReportDocument::DefaultFontFamily);
        f.setStyleHint(QFont::SansSerif);
        // Sizes are in twips so that the layout does not depend on the device.
        f.setPixelSize(qMax(1, int(std::lround(s.fontSize * Twips::PerPoint))));
        f.setBold(s.bold);
        f.setKerning(false);
        return f;
    }

    bool simpleChar(char16_t c) const
    {
        if (c >= CachedChars || !raw.isValid()) {
            return false;
        }
        if (state[c] == 0) {
            quint32 g = 0;
            int n = 1;
            const QChar ch(c);
            state[c] = 2;
            if (c >= 0x20 && raw.glyphIndexesForChars(&ch, 1, &g, &n) && n == 1 && g != 0) {
                QPointF adv;
                if (raw.advancesForGlyphIndexes(&g, &adv, 1)) {
                    glyphs[c] = g;
                    advances[c] = adv.x();
                    state[c] = 1;
                }
            }
        }
        return state[c] == 1;
    }

    bool simple(QStringView text) const
    {
        for (const QChar c : text) {
            if (!simpleChar(c.unicode())) {
                return false;
            }
        }
        return true;
    }

    double width(QStringView text) const
    {
        if (simple(text)) {
            double w = 0;
            for (const QChar c : text) {
                w += advances[c.unicode()];
            }
            return w;
        }
        return fm.horizontalAdvance(text.toString());
    }

    using GlyphIds = QVarLengthArray<quint32, 256>;
    using GlyphPositions = QVarLengthArray<QPointF, 256>;

    // Adds the glyphs of one simple line, baseline starting at `at`, to a run that is drawn
    // at once; false (nothing added) when the text needs the shaper.
    bool append(GlyphIds& ids, GlyphPositions& pos, const QPointF& at, QStringView text) const
    {
        if (!simple(text)) {
            return false;
        }
        double x = at.x();
        for (const QChar c : text) {
            ids.append(glyphs[c.unicode()]);
            pos.append(QPointF(x, at.y()));
            x += advances[c.unicode()];
        }
        return true;
    }

    void drawRun(QPainter& p, const GlyphIds& ids, const GlyphPositions& pos) const
    {
        if (ids.isEmpty()) {
            return;
        }
        QGlyphRun run;
        run.setRawFont(raw);
        run.setRawData(ids.constData(), pos.constData(), int(ids.size()));
        p.drawGlyphRun(QPointF(0, 0), run);
    }

    // Draws one line of text with its baseline starting at `at`.
    void draw(QPainter& p, const QPointF& at, const QString& text) const
    {
        if (text.isEmpty()) {
            return;
        }
        if (!simple(text)) {
            p.setFont(font);
            p.drawText(at, text);
            return;
        }
        QVarLengthArray<quint32, 64> ids;
        QVarLengthArray<QPointF, 64> pos;
        double x = 0;
        for (const QChar c : text) {
            ids.append(glyphs[c.unicode()]);
            pos.append(QPointF(x, 0));
            x += advances[c.unicode()];
        }
        QGlyphRun run;
        run.setRawFont(raw);
        run.setRawData(ids.constData(), pos.constData(), int(ids.size()));
        p.drawGlyphRun(at, run);
    }
};

// Greedy word wrap of one text into lines no wider than `width`.
QStringList wrapLines(const FontInfo& fi, const QString& text, double width)
{
    QStringList out;
    const QStringList paras = text.split(QLatin1Char('\n'));
    for (QString para : paras) {
        if (para.endsWith(QLatin1Char('\r'))) {
            para.chop(1);
        }
        if (fi.width(para) <= width) {
            out.append(para);
            continue;
        }
        QString line;
        const QStringList words = para.split(QLatin1Char(' '));
        for (int i = 0; i < words.size(); ++i) {
            const QString candidate =
                line.isEmpty() && i == 0 ? words[i] : line + QLatin1Char(' ') + words[i];
            if (fi.width(candidate) <= width) {
                line = candidate;
                continue;
            }
            if (!line.isEmpty()) {
                out.append(line);
                line.clear();
            }
            // A word wider than the cell is broken between characters.
            QString word = words[i];
            while (!word.isEmpty() && fi.width(word) > width) {
                int n = 1;
                while (n < word.size() && fi.width(QStringView(word).left(n + 1)) <= width) {
                    ++n;
                }
                out.append(word.left(n));
                word.remove(0, n);
            }
            line = word;
        }
        out.append(line);
    }
    return out;
}

int lineCount(const FontInfo& fi, const QString& text, double width)
{
    if (!text.contains(QLatin1Char('\n')) &&
        (text.size() * fi.maxCharWidth <= width || fi.width(text) <= width)) {
        return 1;
    }
    return int(wrapLines(fi, text, width).size());
}

} // namespace

struct ReportPages::Impl
{
    struct Item
    {
        int block;
        int row; // -1: header row; for paragraphs unused
        double y;
        double height;
    };
    std::vector<Item> items;
    std::vector<qsizetype> pageStarts; // index of each page's first item
    mutable std::vector<std::optional<FontInfo>> fonts;
    const ReportDocument* doc = nullptr;

    const FontInfo& font(int style) const
    {
        if (fonts.size() < size_t(doc->styles().size())) {
            fonts.resize(doc->styles().size());
        }
        auto& f = fonts[size_t(style)];
        if (!f) {
            f.emplace(doc->style(style));
        }
        return *f;
    }

    double rowHeight(const ReportBlock& b, const QStringList& cells, int style) const
    {
        const FontInfo& fi = font(style);
        int lines = 1;
        for (int c = 0; c < b.columns.size() && c < cells.size(); ++c) {
            const double w = b.columns[c].width - 2 * CellPadX;
            lines = qMax(lines, lineCount(fi, cells[c], w));
        }
        return lines * fi.lineHeight + 2 * CellPadY;
    }

    double paragraphHeight(const ReportBlock& b, double width) const
    {
        const FontInfo& fi = font(b.style);
        return lineCount(fi, b.text, width) * fi.lineHeight;
    }

    void layout()
    {
        const double top = doc->marginTop();
        const double bottom = doc->paperSize().height() - doc->marginBottom();
        const double contentWidth =
            doc->paperSize().width() - doc->marginLeft() - doc->marginRight();
        double y = top;
        pageStarts.push_back(0);
        auto newPage = [&] {
            pageStarts.push_back(qsizetype(items.size()));
            y = top;
        };
        auto fits = [&](double h) { return y + h <= bottom || y <= top; };

        const QList<ReportBlock>& blocks = doc->blocks();
        for (int bi = 0; bi < blocks.size(); ++bi) {
            const ReportBlock& b = blocks[bi];
            if (b.kind == ReportBlock::Kind::Paragraph) {
                const double h = paragraphHeight(b, contentWidth);
                if (!fits(h)) {
                    newPage();
                }
                items.push_back(Item{bi, 0, y, h});
                y += h;
                continue;
            }
            const bool hasHeader = !b.header.isEmpty();
            const double headerH = hasHeader ? rowHeight(b, b.header, b.headerStyle) : 0;
            for (int ri = 0; ri < b.rows.size(); ++ri) {
                const ReportRow& r = b.rows[ri];
                const double h = rowHeight(b, r.cells, r.style);
                const bool headerHere = hasHeader && (ri == 0 || y <= top);
                if (!fits(h + (headerHere ? headerH : 0))) {
                    newPage();
                }
                // The header opens the table and every page the table continues on.
                if (hasHeader && (ri == 0 || y <= top)) {
                    items.push_back(Item{bi, -1, y, headerH});
                    y += headerH;
                }
                items.push_back(Item{bi, ri, y, h});
                y += h;
            }
        }
    }

    qsizetype pageEnd(int page) const
    {
        return size_t(page + 1) < pageStarts.size() ? pageStarts[size_t(page + 1)]
                                                    : qsizetype(items.size());
    }
};

ReportPages::ReportPages(const ReportDocument& doc) : m_doc(doc), d(new Impl)
{
    d->doc = &m_doc;
    d->layout();
}

ReportPages::~ReportPages()
{
    delete d;
}

int ReportPages::pageCount() const
{
    return int(d->pageStarts.size());
}

void ReportPages::paintPage(QPainter& p, int page) const
{
    if (page < 0 || page >= pageCount()) {
        return;
    }
    const double left = m_doc.marginLeft();
    const double contentWidth = m_doc.paperSize().width() - left - m_doc.marginRight();
    QVarLengthArray<QLineF, 1024> lines;
    int currentStyle = -1;

    auto useFont = [&](int style) -> const FontInfo& {
        const FontInfo& fi = d->font(style);
        if (style != currentStyle) {
            p.setFont(fi.font);
            currentStyle = style;
        }
        return fi;
    };

    p.save();
    p.setPen(Qt::black);
    const QList<ReportBlock>& blocks = m_doc.blocks();
    for (qsizetype i = d->pageStarts[size_t(page)]; i < d->pageEnd(page); ++i) {
        const Impl::Item& it = d->items[size_t(i)];
        const ReportBlock& b = blocks[it.block];
        if (b.kind == ReportBlock::Kind::Paragraph) {
            const FontInfo& fi = useFont(b.style);
            const QStringList ls = wrapLines(fi, b.text, contentWidth);
            for (int l = 0; l < ls.size(); ++l) {
                fi.draw(p, QPointF(left, it.y + fi.ascent + l * fi.lineHeight), ls[l]);
            }
            continue;
        }
        const bool header = it.row < 0;
        const QStringList& cells = header ? b.header : b.rows[it.row].cells;
        const int style = header ? b.headerStyle : b.rows[it.row].style;
        const ReportStyle& st = m_doc.style(style);
        const FontInfo& fi = useFont(style);
        double x = left;
        // The cells of a row go to the device as one run of glyphs.
        FontInfo::GlyphIds ids;
        FontInfo::GlyphPositions pos;
        if (header && b.headerShade.isValid()) {
            p.fillRect(QRectF(left, it.y, b.width(), it.height), b.headerShade);
        }
        for (int c = 0; c < b.columns.size(); ++c) {
            const ReportColumn& col = b.columns[c];
            const double avail = col.width - 2 * CellPadX;
            const QString& text = c < cells.size() ? cells[c] : QString();
            if (!text.isEmpty()) {
                const bool simple =
                    !text.contains(QLatin1Char('\n')) &&
                    (col.align == CellAlign::Left ? text.size() * fi.maxCharWidth <= avail : false);
                QStringList ls;
                if (simple) {
                    ls.append(text);
                } else {
                    const double w = fi.width(text);
                    ls = (w <= avail && !text.contains(QLatin1Char('\n')))
                             ? QStringList{text}
                             : wrapLines(fi, text, avail);
                }
                for (int l = 0; l < ls.size(); ++l) {
                    double tx = x + CellPadX;
                    if (col.align != CellAlign::Left) {
                        const double w = fi.width(ls[l]);
                        tx = col.align == CellAlign::Right ? x + col.width - CellPadX - w
                                                           : x + (col.width - w) / 2;
                    }
                    const QPointF at(tx, it.y + CellPadY + fi.ascent + l * fi.lineHeight);
                    if (!fi.append(ids, pos, at, ls[l])) {
                        fi.draw(p, at, ls[l]);
                    }
                }
            }
            x += col.width;
        }
        fi.drawRun(p, ids, pos);
        const double right = left + b.width();
        const double bottomY = it.y + it.height;
        if (st.border == TableBorder::All) {
            lines.append(QLineF(left, it.y, right, it.y));
            lines.append(QLineF(left, bottomY, right, bottomY));
            double vx = left;
            lines.append(QLineF(vx, it.y, vx, bottomY));
            for (const ReportColumn& col : b.columns) {
                vx += col.width;
                lines.append(QLineF(vx, it.y, vx, bottomY));
            }
        } else if (st.border == TableBorder::Below) {
            lines.append(QLineF(left, bottomY, right, bottomY));
        }
    }
    if (!lines.isEmpty()) {
        QPen pen(Qt::black);
        pen.setWidthF(BorderPen);
        p.setPen(pen);
        p.drawLines(lines.constData(), int(lines.size()));
        p.setPen(Qt::black);
    }
    if (!m_doc.footer().isEmpty()) {
        const FontInfo& fi = useFont(0);
        const QString text = ReportDocument::footerForPage(m_doc.footer(), page + 1);
        const double w = fi.width(text);
        const double y = m_doc.paperSize().height() - m_doc.marginBottom() / 2.0;
        fi.draw(p, QPointF(left + (contentWidth - w) / 2, y), text);
    }
    p.restore();
}

QStringList ReportPages::pageTexts(int page) const
{
    QStringList out;
    if (page < 0 || page >= pageCount()) {
        return out;
    }
    const QList<ReportBlock>& blocks = m_doc.blocks();
    for (qsizetype i = d->pageStarts[size_t(page)]; i < d->pageEnd(page); ++i) {
        const Impl::Item& it = d->items[size_t(i)];
        const ReportBlock& b = blocks[it.block];
        if (b.kind == ReportBlock::Kind::Paragraph) {
            out.append(b.text);
        } else {
            out.append(it.row < 0 ? b.header : b.rows[it.row].cells);
        }
    }
    if (!m_doc.footer().isEmpty()) {
        out.append(ReportDocument::footerForPage(m_doc.footer(), page + 1));
    }
    return out;
}

// ---------------------------------------------------------------------------------------------
// Writers

namespace {

// Collects text and hands it to the device in large pieces.
class ChunkWriter
{
public:
    explicit ChunkWriter(QIODevice& out) : m_out(out) { m_buf.reserve(1 << 20); }

    ChunkWriter& operator<<(const QString& s)
    {
        m_buf += s;
        maybeFlush();
        return *this;
    }
    ChunkWriter& operator<<(QLatin1StringView s)
    {
        m_buf += s;
        maybeFlush();
        return *this;
    }
    ChunkWriter& operator<<(QChar c)
    {
        m_buf += c;
        return *this;
    }
    ChunkWriter& operator<<(int n)
    {
        m_buf += QString::number(n);
        return *this;
    }
    bool finish()
    {
        flush();
        return m_ok;
    }

private:
    void maybeFlush()
    {
        if (m_buf.size() > (1 << 19)) {
            flush();
        }
    }
    void flush()
    {
        if (m_buf.isEmpty()) {
            return;
        }
        const QByteArray bytes = m_buf.toUtf8();
        if (m_out.write(bytes) != bytes.size()) {
            m_ok = false;
        }
        m_buf.clear();
    }

    QIODevice& m_out;
    QString m_buf;
    bool m_ok = true;
};

bool failWith(QIODevice& out, QString* error)
{
    if (error) {
        *error = out.errorString();
    }
    return false;
}

QString points(double twips)
{
    return QString::number(twips / Twips::PerPoint, 'g', 6) + QStringLiteral("pt");
}

QString xmlText(const QString& s)
{
    QString out;
    out.reserve(s.size() + 8);
    for (const QChar c : s) {
        switch (c.unicode()) {
        case '&':
            out += QLatin1String("&amp;");
            break;
        case '<':
            out += QLatin1String("&lt;");
            break;
        case '>':
            out += QLatin1String("&gt;");
            break;
        case '"':
            out += QLatin1String("&quot;");
            break;
        case '\n':
            out += QLatin1String("<br/>");
            break;
        case '\r':
            break;
        default:
            // Control characters cannot appear in XML text.
            if (c.unicode() >= 0x20 || c == QLatin1Char('\t')) {
                out += c;
            }
        }
    }
    return out;
}

QLatin1StringView alignClass(CellAlign a)
{
    switch (a) {
    case CellAlign::Right:
        return QLatin1StringView("r");
    case CellAlign::Center:
        return QLatin1StringView("c");
    case CellAlign::Left:
        break;
    }
    return QLatin1StringView("l");
}

QString htmlRowAttributes(const ReportStyle& s)
{
    QStringList classes;
    if (s.bold) {
        classes << QStringLiteral("b");
    }
    if (s.border == TableBorder::All) {
        classes << QStringLiteral("a");
    } else if (s.border == TableBorder::Below) {
        classes << QStringLiteral("u");
    }
    QString attrs;
    if (!classes.isEmpty()) {
        attrs += QStringLiteral(" class=\"") + classes.join(QLatin1Char(' ')) + QLatin1Char('"');
    }
    if (s.fontSize != ReportStyle().fontSize) {
        attrs += QStringLiteral(" style=\"font-size:") + QString::number(s.fontSize) +
                 QStringLiteral("pt\"");
    }
    return attrs;
}

} // namespace

bool ReportWriter::writePdf(const ReportDocument& doc, QIODevice& out, QString* error,
                            const Progress& progress)
{
    QPdfWriter writer(&out);
    writer.setResolution(ReportPages::MaxDpi);
    writer.setPageSize(QPageSize(QPageSize::A4));
    writer.setPageMargins(QMarginsF(0, 0, 0, 0));
    writer.setTitle(doc.title());
    writer.setCreator(QStringLiteral("Vantirokit"));
    ReportPages pages(doc);
    QPainter p;
    if (!p.begin(&writer)) {
        if (error) {
            *error = QStringLiteral("The PDF file could not be started");
        }
        return false;
    }
    const double scale = double(ReportPages::MaxDpi) / Twips::PerInch;
    const int total = pages.pageCount();
    for (int i = 0; i < total; ++i) {
        if (progress && !progress(i, total)) {
            p.end();
            if (error) {
                *error = Cancelled;
            }
            return false;
        }
        if (i > 0 && !writer.newPage()) {
            p.end();
            return failWith(out, error);
        }
        p.save();
        p.scale(scale, scale);
        pages.paintPage(p, i);
        p.restore();
    }
    if (!p.end()) {
        return failWith(out, error);
    }
    return true;
}

bool ReportWriter::writeHtml(const ReportDocument& doc, QIODevice& out, QString* error)
{
    ChunkWriter w(out);
    w << QLatin1StringView("<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<!DOCTYPE html>\n"
                           "<html xmlns=\"http://www.w3.org/1999/xhtml\">\n<head>\n"
                           "<meta http-equiv=\"Content-Type\" content=\"text/html; "
                           "charset=UTF-8\"/>\n<title>")
      << xmlText(doc.title())
      << QLatin1StringView("</title>\n<style type=\"text/css\">\n"
                           "body{font-family:Arial,Helvetica,sans-serif;font-size:11.25pt}\n"
                           "table{border-collapse:collapse;table-layout:fixed;margin:0}\n"
                           "td,th{padding:1.5pt 3pt;vertical-align:top;font-weight:normal}\n"
                           ".l{text-align:left}\n.r{text-align:right}\n.c{text-align:center}\n"
                           "tr.b td,tr.b th{font-weight:bold}\n"
                           "tr.a td,tr.a th{border:0.5pt solid #000}\n"
                           "tr.u td,tr.u th{border-bottom:0.5pt solid #000}\n"
                           "p{margin:0}\n</style>\n</head>\n<body>\n");
    for (const ReportBlock& b : doc.blocks()) {
        if (b.kind == ReportBlock::Kind::Paragraph) {
            const QString attrs = htmlRowAttributes(doc.style(b.style));
            const QString text = xmlText(b.text);
            w << QLatin1StringView("<p") << attrs << QLatin1Char('>')
              << (text.trimmed().isEmpty() ? QStringLiteral("&#160;") : text)
              << QLatin1StringView("</p>\n");
            continue;
        }
        w << QLatin1StringView("<table style=\"width:") << points(b.width())
          << QLatin1StringView("\">\n<colgroup>");
        for (const ReportColumn& c : b.columns) {
            w << QLatin1StringView("<col style=\"width:") << points(c.width)
              << QLatin1StringView("\"/>");
        }
        w << QLatin1StringView("</colgroup>\n");
        if (!b.header.isEmpty()) {
            w << QLatin1StringView("<thead><tr") << htmlRowAttributes(doc.style(b.headerStyle))
              << QLatin1Char('>');
            const QString shade = b.headerShade.isValid()
                                      ? QStringLiteral(" style=\"background-color:") +
                                            b.headerShade.name(QColor::HexRgb).toUpper() +
                                            QLatin1Char('"')
                                      : QString();
            for (int c = 0; c < b.columns.size(); ++c) {
                w << QLatin1StringView("<th class=\"") << alignClass(b.columns[c].align)
                  << QLatin1Char('"') << shade << QLatin1Char('>') << xmlText(b.header.value(c))
                  << QLatin1StringView("</th>");
            }
            w << QLatin1StringView("</tr></thead>\n");
        }
        w << QLatin1StringView("<tbody>\n");
        int lastStyle = -1;
        QString attrs;
        for (const ReportRow& r : b.rows) {
            if (r.style != lastStyle) {
                attrs = htmlRowAttributes(doc.style(r.style));
                lastStyle = r.style;
            }
            w << QLatin1StringView("<tr") << attrs << QLatin1Char('>');
            for (int c = 0; c < b.columns.size(); ++c) {
                w << QLatin1StringView("<td class=\"") << alignClass(b.columns[c].align)
                  << QLatin1StringView("\">") << xmlText(r.cells.value(c))
                  << QLatin1StringView("</td>");
            }
            w << QLatin1StringView("</tr>\n");
        }
        w << QLatin1StringView("</tbody>\n</table>\n");
    }
    w << QLatin1StringView("</body>\n</html>\n");
    if (!w.finish()) {
        return failWith(out, error);
    }
    return true;
}

namespace {

QString rtfText(const QString& s)
{
    QString out;
    out.reserve(s.size() + 8);
    for (const QChar c : s) {
        const ushort u = c.unicode();
        if (u == '\\' || u == '{' || u == '}') {
            out += QLatin1Char('\\');
            out += c;
        } else if (u == '\n') {
            out += QLatin1String("\\line ");
        } else if (u == '\t') {
            out += QLatin1String("\\tab ");
        } else if (u < 0x20) {
            // other control characters are dropped
        } else if (u < 0x80) {
            out += c;
        } else {
            out += QLatin1String("\\u") + QString::number(qint16(u)) + QLatin1Char('?');
        }
    }
    return out;
}

QLatin1StringView rtfAlign(CellAlign a)
{
    switch (a) {
    case CellAlign::Right:
        return QLatin1StringView("\\qr");
    case CellAlign::Center:
        return QLatin1StringView("\\qc");
    case CellAlign::Left:
        break;
    }
    return QLatin1StringView("\\ql");
}

QString rtfCharFormat(const ReportStyle& s)
{
    QString f =
        QStringLiteral("\\f0\\fs") + QString::number(qMax(2, int(std::lround(s.fontSize * 2))));
    if (s.bold) {
        f += QStringLiteral("\\b");
    }
    return f + QLatin1Char(' ');
}

} // namespace

bool ReportWriter::writeRtf(const ReportDocument& doc, QIODevice& out, QString* error)
{
    ChunkWriter w(out);
    w << QLatin1StringView("{\\rtf1\\ansi\\ansicpg1252\\deff0\\uc1\n"
                           "{\\fonttbl{\\f0\\fswiss\\fcharset0 Arial;}}\n"
                           "{\\colortbl;\\red0\\green0\\blue0;\\red")
      << QString::number(ReportDocument::HeaderShade.red()) << QLatin1StringView("\\green")
      << QString::number(ReportDocument::HeaderShade.green()) << QLatin1StringView("\\blue")
      << QString::number(ReportDocument::HeaderShade.blue()) << QLatin1StringView(";}\n");
    if (!doc.title().isEmpty()) {
        w << QLatin1StringView("{\\info{\\title ") << rtfText(doc.title())
          << QLatin1StringView("}}\n");
    }
    w << QLatin1StringView("\\paperw") << int(doc.paperSize().width())
      << QLatin1StringView("\\paperh") << int(doc.paperSize().height())
      << QLatin1StringView("\\margl") << doc.marginLeft() << QLatin1StringView("\\margr")
      << doc.marginRight() << QLatin1StringView("\\margt") << doc.marginTop()
      << QLatin1StringView("\\margb") << doc.marginBottom() << QLatin1Char('\n');
    if (!doc.footer().isEmpty()) {
        const QStringList parts = doc.footer().split(QStringLiteral("%d"));
        w << QLatin1StringView("{\\footer\\pard\\qc ") << rtfCharFormat(ReportStyle());
        for (int i = 0; i < parts.size(); ++i) {
            if (i > 0) {
                w << QLatin1StringView("{\\field{\\*\\fldinst PAGE}{\\fldrslt 1}}");
            }
            w << rtfText(parts[i]);
        }
        w << QLatin1StringView("\\par}\n");
    }
    const QString borderAll =
        QStringLiteral("\\clbrdrt\\brdrs\\brdrw10\\clbrdrl\\brdrs\\brdrw10\\clbrdrb\\brdrs\\brdrw10"
                       "\\clbrdrr\\brdrs\\brdrw10");
    const QString borderBelow = QStringLiteral("\\clbrdrb\\brdrs\\brdrw10");
    for (const ReportBlock& b : doc.blocks()) {
        if (b.kind == ReportBlock::Kind::Paragraph) {
            w << QLatin1StringView("\\pard\\plain\\ql{") << rtfCharFormat(doc.style(b.style))
              << rtfText(b.text) << QLatin1StringView("}\\par\n");
            continue;
        }
        // Row definitions only change with the row's style, so they are built once per style.
        auto rowDefinition = [&](int style, bool header) {
            const ReportStyle& s = doc.style(style);
            QString def = QStringLiteral("\\trowd\\trgaph60\\trleft0");
            if (header) {
                def += QStringLiteral("\\trhdr");
            }
            int x = 0;
            for (const ReportColumn& c : b.columns) {
                if (header && b.headerShade.isValid()) {
                    def += QStringLiteral("\\clcbpat2");
                }
                if (s.border == TableBorder::All) {
                    def += borderAll;
                } else if (s.border == TableBorder::Below) {
                    def += borderBelow;
                }
                x += c.width;
                def += QStringLiteral("\\cellx") + QString::number(x);
            }
            return def + QLatin1Char('\n');
        };
        auto writeRow = [&](const QString& def, const ReportStyle& s, const QStringList& cells) {
            w << def;
            const QString cf = rtfCharFormat(s);
            for (int c = 0; c < b.columns.size(); ++c) {
                w << QLatin1StringView("\\pard\\plain\\intbl") << rtfAlign(b.columns[c].align)
                  << QLatin1Char('{') << cf << rtfText(cells.value(c))
                  << QLatin1StringView("}\\cell");
            }
            w << QLatin1StringView("\\row\n");
        };
        if (!b.header.isEmpty()) {
            writeRow(rowDefinition(b.headerStyle, true), doc.style(b.headerStyle), b.header);
        }
        int lastStyle = -1;
        QString def;
        for (const ReportRow& r : b.rows) {
            if (r.style != lastStyle) {
                def = rowDefinition(r.style, false);
                lastStyle = r.style;
            }
            writeRow(def, doc.style(r.style), r.cells);
        }
        w << QLatin1StringView("\\pard\\plain\n");
    }
    w << QLatin1StringView("}\n");
    if (!w.finish()) {
        return failWith(out, error);
    }
    return true;
}

namespace {

void appendTextRow(QString& out, const ReportBlock& b, const QStringList& cells)
{
    // Cells with several lines make the row as tall as the tallest cell.
    QList<QStringList> cellLines;
    int height = 1;
    for (int c = 0; c < b.columns.size(); ++c) {
        QStringList ls = cells.value(c).split(QLatin1Char('\n'));
        for (QString& l : ls) {
            if (l.endsWith(QLatin1Char('\r'))) {
                l.chop(1);
            }
        }
        height = qMax(height, int(ls.size()));
        cellLines.append(ls);
    }
    for (int l = 0; l < height; ++l) {
        QString line;
        for (int c = 0; c < b.columns.size(); ++c) {
            const ReportColumn& col = b.columns[c];
            const int width = qMax(1, col.width / ReportWriter::TextColumnTwips);
            const QString text = cellLines[c].value(l);
            if (c > 0) {
                line += QLatin1Char(' ');
            }
            const int pad = qMax(0, width - int(text.size()));
            switch (col.align) {
            case CellAlign::Left:
                line += text + QString(pad, QLatin1Char(' '));
                break;
            case CellAlign::Right:
                line += QString(pad, QLatin1Char(' ')) + text;
                break;
            case CellAlign::Center:
                line += QString(pad / 2, QLatin1Char(' ')) + text +
                        QString(pad - pad / 2, QLatin1Char(' '));
                break;
            }
        }
        while (line.endsWith(QLatin1Char(' '))) {
            line.chop(1);
        }
        out += line;
        out += QLatin1Char('\n');
    }
}

template <typename Sink> void writeTextTo(const ReportDocument& doc, Sink&& sink)
{
    QString out;
    for (const ReportBlock& b : doc.blocks()) {
        if (b.kind == ReportBlock::Kind::Paragraph) {
            QString text = b.text;
            while (text.endsWith(QLatin1Char(' '))) {
                text.chop(1);
            }
            out += text;
            out += QLatin1Char('\n');
        } else {
            if (!b.header.isEmpty()) {
                appendTextRow(out, b, b.header);
                int width = 0;
                for (const ReportColumn& c : b.columns) {
                    width += qMax(1, c.width / ReportWriter::TextColumnTwips);
                }
                width += int(b.columns.size()) - 1;
                out += QString(width, QLatin1Char('-'));
                out += QLatin1Char('\n');
            }
            for (const ReportRow& r : b.rows) {
                appendTextRow(out, b, r.cells);
                if (out.size() > (1 << 19)) {
                    sink(out);
                    out.clear();
                }
            }
        }
    }
    sink(out);
}

} // namespace

bool ReportWriter::writeText(const ReportDocument& doc, QIODevice& out, QString* error)
{
    bool ok = true;
    writeTextTo(doc, [&](const QString& chunk) {
        const QByteArray bytes = chunk.toUtf8();
        if (ok && out.write(bytes) != bytes.size()) {
            ok = false;
        }
    });
    if (!ok) {
        return failWith(out, error);
    }
    return true;
}

QString ReportWriter::toText(const ReportDocument& doc)
{
    QString all;
    writeTextTo(doc, [&](const QString& chunk) { all += chunk; });
    return all;
}
