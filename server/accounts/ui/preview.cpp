// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/ui/preview.h"

#include "server/accounts/consolesettings.h"
#include "server/accounts/reportexport.h"

#include <QApplication>
#include <QComboBox>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QPainter>
#include <QPrintDialog>
#include <QPrinter>
#include <QProgressDialog>
#include <QPushButton>
#include <QScrollArea>
#include <QScrollBar>
#include <QVBoxLayout>

namespace {

bool s_skip = false;
int s_count = 0;
ReportDocument& recorded()
{
    static ReportDocument doc;
    return doc;
}

constexpr int PageGap = 12; // pixels between and around the pages on screen

} // namespace

// The pages on screen, painted with the same code as the printer and the PDF.
class Preview::PageView : public QWidget
{
public:
    explicit PageView(Preview* owner) : QWidget(owner), m_owner(owner)
    {
        setObjectName(QStringLiteral("Vp"));
        setAutoFillBackground(true);
        QPalette pal = palette();
        pal.setColor(QPalette::Window, QColor(0x80, 0x80, 0x80));
        setPalette(pal);
    }

    int shownPages() const
    {
        const int left = m_owner->pageCount() - m_owner->currentPage();
        switch (m_owner->zoom()) {
        case Zoom::TwoPages:
            return qMin(2, left);
        case Zoom::Thumbnail: {
            const QSizeF page = pagePixels();
            const int across = qMax(1, int((m_owner->m_scroll->viewport()->width() - PageGap) /
                                           (page.width() + PageGap)));
            return qMin(across, left);
        }
        default:
            return qMin(1, left);
        }
    }

    QSizeF pagePixels() const
    {
        const QSizeF twips = m_owner->m_doc.paperSize();
        return twips * m_owner->scale();
    }

    void relayout()
    {
        const QSizeF page = pagePixels();
        const int n = qMax(1, shownPages());
        resize(int(n * (page.width() + PageGap) + PageGap), int(page.height() + 2 * PageGap));
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter p(this);
        p.setRenderHint(QPainter::Antialiasing);
        p.setRenderHint(QPainter::TextAntialiasing);
        const QSizeF page = pagePixels();
        const double s = m_owner->scale();
        for (int i = 0; i < shownPages(); ++i) {
            const QRectF r(PageGap + i * (page.width() + PageGap), PageGap, page.width(),
                           page.height());
            p.fillRect(r.translated(3, 3), QColor(0x40, 0x40, 0x40));
            p.fillRect(r, Qt::white);
            p.save();
            p.translate(r.topLeft());
            p.scale(s, s);
            m_owner->m_pages->paintPage(p, m_owner->currentPage() + i);
            p.restore();
        }
    }

private:
    Preview* m_owner;
};

Preview::Preview(ReportDocument doc, QWidget* parent) : QDialog(parent), m_doc(std::move(doc))
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    setObjectName(QStringLiteral("Preview"));
    setWindowTitle(QStringLiteral("Preview"));
    setWindowIcon(parent ? parent->window()->windowIcon() : QApplication::windowIcon());
    m_pages = std::make_unique<ReportPages>(m_doc);

    auto* top = new QVBoxLayout(this);
    top->setContentsMargins(0, 0, 0, 0);
    top->setSpacing(2);

    m_export = new QComboBox(this);
    m_export->setObjectName(QStringLiteral("cmbexport"));
    m_export->addItems(ReportExport::itemTexts());
    m_export->setCurrentIndex(-1);
    m_export->setPlaceholderText(QStringLiteral("Export"));
    m_export->installEventFilter(this);
    connect(m_export, &QComboBox::activated, this,
            [this](int index) { exportItem(m_export->itemText(index)); });

    auto* bar = new QHBoxLayout;
    bar->setContentsMargins(4, 4, 4, 0);
    bar->addWidget(m_export);
    auto button = [&](const QString& name, const QString& text, const QString& tip) {
        auto* b = new QPushButton(text, this);
        b->setObjectName(name);
        b->setToolTip(tip);
        b->setAutoDefault(false);
        bar->addWidget(b);
        return b;
    };
    m_first =
        button(QStringLiteral("cmdfirst"), QStringLiteral("|<"), QStringLiteral("First page"));
    m_prev =
        button(QStringLiteral("cmdprev"), QStringLiteral("<"), QStringLiteral("Previous page"));
    m_pageLabel = new QLabel(this);
    m_pageLabel->setObjectName(QStringLiteral("lblpage"));
    bar->addWidget(m_pageLabel);
    m_next = button(QStringLiteral("cmdnext"), QStringLiteral(">"), QStringLiteral("Next page"));
    m_last = button(QStringLiteral("cmdlast"), QStringLiteral(">|"), QStringLiteral("Last page"));
    m_zoomBox = new QComboBox(this);
    m_zoomBox->setObjectName(QStringLiteral("cmbzoom"));
    m_zoomBox->addItems({QStringLiteral("100 %"), QStringLiteral("Whole Page"),
                         QStringLiteral("Page Width"), QStringLiteral("Two Pages"),
                         QStringLiteral("Thumbnail")});
    bar->addWidget(m_zoomBox);
    QPushButton* printButton =
        button(QStringLiteral("cmdprint"), QStringLiteral("&Print..."), QStringLiteral("Print"));
    bar->addStretch(1);
    top->addLayout(bar);

    m_scroll = new QScrollArea(this);
    m_scroll->setObjectName(QStringLiteral("scrollpages"));
    m_scroll->setAlignment(Qt::AlignHCenter | Qt::AlignTop);
    m_scroll->setBackgroundRole(QPalette::Dark);
    m_view = new PageView(this);
    m_scroll->setWidget(m_view);
    top->addWidget(m_scroll, 1);

    connect(m_first, &QPushButton::clicked, this, [this] { setCurrentPage(0); });
    connect(m_prev, &QPushButton::clicked, this, [this] { setCurrentPage(m_page - 1); });
    connect(m_next, &QPushButton::clicked, this, [this] { setCurrentPage(m_page + 1); });
    connect(m_last, &QPushButton::clicked, this, [this] { setCurrentPage(pageCount() - 1); });
    connect(m_zoomBox, &QComboBox::activated, this, [this](int index) { setZoom(Zoom(index)); });
    connect(printButton, &QPushButton::clicked, this, &Preview::print);

    resize(900, 700);
    updatePageView();
    QApplication::restoreOverrideCursor();
}

Preview::~Preview() = default;

void Preview::present(ReportDocument doc, QWidget* parent)
{
    ++s_count;
    if (skipsModal()) {
        recorded() = std::move(doc);
        return;
    }
    Preview p(std::move(doc), parent);
    p.exec();
}

void Preview::setSkipModal(bool skip)
{
    s_skip = skip;
}

bool Preview::skipsModal()
{
    return s_skip || qEnvironmentVariableIsSet("VANTIROKIT_NO_PREVIEW");
}

ReportDocument Preview::lastDocument()
{
    return recorded();
}

int Preview::presentedCount()
{
    return s_count;
}

void Preview::resetRecord()
{
    s_count = 0;
    recorded() = ReportDocument();
}

int Preview::pageCount() const
{
    return m_pages->pageCount();
}

void Preview::setCurrentPage(int page)
{
    m_page = qBound(0, page, pageCount() - 1);
    updatePageView();
}

void Preview::setZoom(Zoom zoom)
{
    m_zoom = zoom;
    m_zoomBox->setCurrentIndex(int(zoom));
    updatePageView();
}

double Preview::scale() const
{
    const double actual = double(logicalDpiX()) / Twips::PerInch;
    const QSizeF paper = m_doc.paperSize();
    const QSize room = m_scroll->viewport()->size() - QSize(2 * PageGap, 2 * PageGap);
    switch (m_zoom) {
    case Zoom::Actual:
        return actual;
    case Zoom::WholePage:
        return qMax(0.005, qMin(room.width() / paper.width(), room.height() / paper.height()));
    case Zoom::PageWidth:
        // Leave room for the vertical scroll bar.
        return qMax(0.005, (room.width() - m_scroll->verticalScrollBar()->sizeHint().width()) /
                               paper.width());
    case Zoom::TwoPages:
        return qMax(0.005, qMin((room.width() - PageGap) / 2.0 / paper.width(),
                                room.height() / paper.height()));
    case Zoom::Thumbnail:
        return actual * 0.2;
    }
    return actual;
}

void Preview::updatePageView()
{
    const int n = pageCount();
    m_pageLabel->setText(QStringLiteral("Page %1 of %2").arg(m_page + 1).arg(n));
    m_first->setEnabled(m_page > 0);
    m_prev->setEnabled(m_page > 0);
    m_next->setEnabled(m_page + 1 < n);
    m_last->setEnabled(m_page + 1 < n);
    m_view->relayout();
}

void Preview::resizeEvent(QResizeEvent* event)
{
    QDialog::resizeEvent(event);
    // The pages are laid out again at full size whenever the window changes size.
    if (m_zoomBox) {
        setZoom(Zoom::Actual);
    }
}

bool Preview::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_export && event->type() == QEvent::KeyPress) {
        const auto* key = static_cast<QKeyEvent*>(event);
        if (key->key() == Qt::Key_Tab || key->key() == Qt::Key_Return ||
            key->key() == Qt::Key_Enter) {
            if (m_export->currentIndex() >= 0) {
                exportItem(m_export->currentText());
            }
            return key->key() != Qt::Key_Tab ? true : QDialog::eventFilter(watched, event);
        }
    }
    return QDialog::eventFilter(watched, event);
}

QString Preview::exportItem(const QString& item)
{
    QApplication::setOverrideCursor(Qt::WaitCursor);
    const ConsoleSettings settings;
    const QString folder = settings.exportFolder();
    QApplication::restoreOverrideCursor();
    const auto target = ReportExport::target(item, folder);
    if (!target) {
        return {};
    }
    ReportExport::Outcome outcome;
    {
        // Long PDFs show their pages going by and can be cancelled: the file is written under
        // a temporary name, so a cancel leaves no half file and an earlier export as it was.
        // The window is made only once pages are written and is gone before the outcome is
        // told: its delayed showing would otherwise rise over the message and take its keys.
        std::unique_ptr<QProgressDialog> progress;
        outcome = ReportExport::write(m_doc, *target, [this, &progress](int done, int total) {
            if (!progress) {
                progress =
                    std::make_unique<QProgressDialog>(QStringLiteral("Exporting the report..."),
                                                      QStringLiteral("Cancel"), 0, total, this);
                progress->setObjectName(QStringLiteral("exportprogress"));
                progress->setWindowTitle(QStringLiteral("Export"));
                progress->setWindowModality(Qt::WindowModal);
                progress->setMinimumDuration(500);
                progress->setAutoClose(false);
                progress->setAutoReset(false);
            }
            progress->setMaximum(total);
            progress->setLabelText(
                QStringLiteral("Exporting page %1 of %2...").arg(done + 1).arg(total));
            progress->setValue(done);
            return !progress->wasCanceled();
        });
    }
    return ReportExport::report(outcome);
}

bool Preview::printTo(QPrinter& printer)
{
    printer.setResolution(ReportPages::MaxDpi);
    printer.setFullPage(true);
    printer.setPageSize(QPageSize(QPageSize::A4));
    printer.setPageOrientation(QPageLayout::Portrait);
    printer.setDocName(m_doc.title().isEmpty() ? QStringLiteral("Report") : m_doc.title());
    int first = 0;
    int last = pageCount() - 1;
    if (printer.printRange() == QPrinter::PageRange && printer.fromPage() > 0) {
        first = qBound(0, printer.fromPage() - 1, last);
        last = qBound(first, printer.toPage() > 0 ? printer.toPage() - 1 : last, last);
    } else if (printer.printRange() == QPrinter::CurrentPage) {
        first = last = m_page;
    }
    QPainter p;
    if (!p.begin(&printer)) {
        return false;
    }
    QProgressDialog progress(QString(), QStringLiteral("Cancel"), first, last + 1, this);
    progress.setWindowTitle(QStringLiteral("Printing..."));
    progress.setMinimumDuration(500);
    const double s = double(printer.resolution()) / Twips::PerInch;
    for (int i = first; i <= last; ++i) {
        progress.setLabelText(QStringLiteral("Now printing Page %1 of %2\non the %3")
                                  .arg(i + 1)
                                  .arg(pageCount())
                                  .arg(printer.printerName()));
        progress.setValue(i);
        if (progress.wasCanceled()) {
            printer.abort();
            return false;
        }
        if (i > first) {
            printer.newPage();
        }
        p.save();
        p.scale(s, s);
        m_pages->paintPage(p, i);
        p.restore();
    }
    progress.setValue(last + 1);
    return p.end();
}

void Preview::print()
{
    QPrinter printer(QPrinter::HighResolution);
    printer.setFromTo(1, pageCount());
    QPrintDialog dialog(&printer, this);
    dialog.setMinMax(1, pageCount());
    dialog.setOption(QAbstractPrintDialog::PrintCurrentPage, true);
    if (dialog.exec() != QDialog::Accepted) {
        return;
    }
    printTo(printer);
}
