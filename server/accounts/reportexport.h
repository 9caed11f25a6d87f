// SPDX-License-Identifier: Apache-2.0
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

// The export list's action in three steps, so that a window can show a long export's
// progress while the file is written and have it gone before the outcome is told.
struct Target
{
    Kind kind = Kind::Pdf;
    QString path;
};
// Where `item` is written in `folder`. A file already there is replaced only when the
// operator agrees (No being the default); declined, the operator is told nothing was
// written. Empty when nothing is to be written.
std::optional<Target> target(const QString& item, const QString& folder);

struct Outcome
{
    Target target;
    bool ok = false;
    QString error;
};
// Writes the file, creating its folder when missing. Says nothing.
Outcome write(const ReportDocument& doc, const Target& target,
              const ReportWriter::Progress& progress = {});
// Tells the operator where the file went, or that and why it failed (a cancelled export
// says nothing). Returns the file written, or empty when nothing was written.
QString report(const Outcome& outcome);

// All three steps at once.
QString exportItem(const ReportDocument& doc, const QString& item, const QString& folder,
                   const ReportWriter::Progress& progress = {});

} // namespace ReportExport
