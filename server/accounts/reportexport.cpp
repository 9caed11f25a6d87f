// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/reportexport.h"

#include "common/errorlog.h"
#include "common/prompt.h"
#include "server/accounts/reportdocument.h"

#include <QDir>
#include <QFileInfo>
#include <QSaveFile>

QStringList ReportExport::itemTexts()
{
    return {QStringLiteral("Export To PDF"), QStringLiteral("Export To HTML"),
            QStringLiteral("Export To RTF"), QStringLiteral("Export To Text")};
}

std::optional<ReportExport::Kind> ReportExport::kindForItem(const QString& item)
{
    const QStringList items = itemTexts();
    const qsizetype i = items.indexOf(item);
    if (i < 0) {
        return std::nullopt;
    }
    return Kind(i);
}

QString ReportExport::fileName(Kind kind)
{
    switch (kind) {
    case Kind::Pdf:
        return QStringLiteral("Report.pdf");
    case Kind::Html:
        return QStringLiteral("Report.html");
    case Kind::Rtf:
        return QStringLiteral("Report.rtf");
    case Kind::Text:
        return QStringLiteral("Report.txt");
    }
    return {};
}

bool ReportExport::writeFile(const ReportDocument& doc, Kind kind, const QString& path,
                             QString* error, const ReportWriter::Progress& progress)
{
    QSaveFile file(path);
    if (!file.open(QIODevice::WriteOnly)) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    QString why;
    bool ok = false;
    switch (kind) {
    case Kind::Pdf:
        ok = ReportWriter::writePdf(doc, file, &why, progress);
        break;
    case Kind::Html:
        ok = ReportWriter::writeHtml(doc, file, &why);
        break;
    case Kind::Rtf:
        ok = ReportWriter::writeRtf(doc, file, &why);
        break;
    case Kind::Text:
        ok = ReportWriter::writeText(doc, file, &why);
        break;
    }
    if (!ok) {
        file.cancelWriting();
        if (error) {
            *error = why;
        }
        return false;
    }
    if (!file.commit()) {
        if (error) {
            *error = file.errorString();
        }
        return false;
    }
    return true;
}

std::optional<ReportExport::Target> ReportExport::target(const QString& item, const QString& folder)
{
    const auto kind = kindForItem(item);
    if (!kind) {
        return std::nullopt;
    }
    Target t{*kind, QDir(folder).filePath(fileName(*kind))};
    if (!Prompt::mayReplace(t.path, QStringLiteral("Export"),
                            QStringLiteral("Nothing was exported. The earlier file "))) {
        return std::nullopt;
    }
    return t;
}

ReportExport::Outcome ReportExport::write(const ReportDocument& doc, const Target& target,
                                          const ReportWriter::Progress& progress)
{
    Outcome out{target, false, {}};
    const QString folder = QFileInfo(target.path).path();
    if (!QDir().mkpath(folder)) {
        out.error =
            QStringLiteral("the folder %1 cannot be created").arg(QDir::toNativeSeparators(folder));
    } else {
        out.ok = writeFile(doc, target.kind, target.path, &out.error, progress);
    }
    return out;
}

QString ReportExport::report(const Outcome& outcome)
{
    if (!outcome.ok && outcome.error == ReportWriter::Cancelled) {
        return {};
    }
    const QString shown = QDir::toNativeSeparators(outcome.target.path);
    if (!outcome.ok) {
        ErrorLog::write(QStringLiteral("cmbexport_Click"),
                        shown + QStringLiteral(": ") + outcome.error);
        Prompt::message(QStringLiteral("The report could not be exported to ") + shown +
                            QStringLiteral(": ") + outcome.error,
                        QStringLiteral("Export Failed"), Prompt::Icon::Critical);
        return {};
    }
    QString text;
    switch (outcome.target.kind) {
    case Kind::Pdf:
        text = QStringLiteral("PDF file Saved to ");
        break;
    case Kind::Html:
        text = QStringLiteral("HTML document saved to ");
        break;
    case Kind::Rtf:
        text = QStringLiteral("RTF document saved to ");
        break;
    case Kind::Text:
        text = QStringLiteral("Text document saved to ");
        break;
    }
    Prompt::message(text + shown, QStringLiteral("Exported"), Prompt::Icon::Information);
    return outcome.target.path;
}

QString ReportExport::exportItem(const ReportDocument& doc, const QString& item,
                                 const QString& folder, const ReportWriter::Progress& progress)
{
    const auto t = target(item, folder);
    if (!t) {
        return {};
    }
    return report(write(doc, *t, progress));
}
