#pragma once

#include <QString>
#include <QStringList>

#include <optional>

class ReportDocument;

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
bool writeFile(const ReportDocument& doc, Kind kind, const QString& path, QString* error = nullptr);

// The export list's action: writes the kind named by `item` into `folder` (created when
// missing) and tells the operator where the file went, or that and why it failed. Returns
// the file written, or empty when nothing was written.
QString exportItem(const ReportDocument& doc, const QString& item, const QString& folder);

} // namespace ReportExport
