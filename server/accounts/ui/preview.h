// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/accounts/reportdocument.h"

#include <QDialog>

#include <memory>

class QComboBox;
class QLabel;
class QPrinter;
class QPushButton;
class QScrollArea;

// The modal window every printed document passes through: pages on screen with page
// navigation and zoom, printing through the system's print dialog, and the export list
// `cmbexport` that writes the document as PDF, HTML, RTF or text into the export folder.
class Preview : public QDialog
{
    Q_OBJECT
public:
    enum class Zoom
    {
        Actual,
        WholePage,
        PageWidth,
        TwoPages,
        Thumbnail
    };

    explicit Preview(ReportDocument doc, QWidget* parent = nullptr);
    ~Preview() override;

    // Shows the document modally and returns when the operator closes the window. When
    // showing is switched off (setSkipModal, or $VANTIROKIT_NO_PREVIEW set), the document is
    // only recorded, for checks without a screen.
    static void present(ReportDocument doc, QWidget* parent = nullptr);
    static void setSkipModal(bool skip);
    static bool skipsModal();
    // The document of the latest present() call, and how many calls there were.
    static ReportDocument lastDocument();
    static int presentedCount();
    static void resetRecord();

    const ReportDocument& document() const { return m_doc; }
    int pageCount() const;
    int currentPage() const { return m_page; } // 0-based
    void setCurrentPage(int page);
    Zoom zoom() const { return m_zoom; }
    void setZoom(Zoom zoom);
    // Screen pixels per twip at the current zoom.
    double scale() const;

    // Exports by the export list's item text; returns the file written or "".
    QString exportItem(const QString& item);
    // Paints every page (or the printer's chosen range) on the printer.
    bool printTo(QPrinter& printer);

protected:
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    class PageView;
    void print();
    void updatePageView();

    ReportDocument m_doc;
    std::unique_ptr<ReportPages> m_pages;
    int m_page = 0;
    Zoom m_zoom = Zoom::Actual;
    QComboBox* m_export = nullptr;
    QComboBox* m_zoomBox = nullptr;
    QLabel* m_pageLabel = nullptr;
    QPushButton* m_first = nullptr;
    QPushButton* m_prev = nullptr;
    QPushButton* m_next = nullptr;
    QPushButton* m_last = nullptr;
    QScrollArea* m_scroll = nullptr;
    PageView* m_view = nullptr;
};
