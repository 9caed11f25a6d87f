#pragma once

#include "server/accounts/reportdocument.h"

#include <QString>
#include <QStringList>

#include <optional>

// Writing a composed report to a file of one of four kinds, as the preview's export list
// offers them.
namespace ReportExport {

enum class Kind
{
    Pdf,
    Html,
    Rtf,
    Text
};

// The items of the export list, in order: "Export To PDF", "Export To HTML",
// "Export To RTF", "Export To Text".
QStringList itemTexts();
std::optional<Kind> kindForItem(const QString& item);
// "Report.pdf", "Report.html", "Report.rtf", "Report.txt".
QString fileName(Kind kind);

// Writes the document to `path` (replacing a previous file only once the new one is
// complete). False with a reason when it cannot.
// A PDF reports its pages to `progress`, which may stop it (the error is then
// ReportWriter::Cancelled and no file is written or replaced).
bool writeFile(const ReportDocument& doc, Kind kind, const QString& path, QString* error = nullptr,
               const ReportWriter::Progress& progress = {});

// The export list's action: writes the kind named by `item` into `folder` (created when
// missing) and tells the operator where the file went, or that and why it failed. Returns
// the file written, or empty when nothing was written.
// A cancelled export says nothing.
QString exportItem(const ReportDocument& doc, const QString& item, const QString& folder,
                   const ReportWriter::Progress& progress = {});

} // namespace ReportExport
