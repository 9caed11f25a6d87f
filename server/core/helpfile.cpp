// SPDX-License-Identifier: Apache-2.0
#include "server/core/helpfile.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>

namespace {

const QString StartPage = QStringLiteral("index.html");

// The start page at `path`, which may name the page itself or its folder.
QString startPageAt(const QString& path)
{
    QFileInfo info(path);
    if (info.isDir()) {
        info.setFile(QDir(path).filePath(StartPage));
    }
    if (!info.isFile() || !info.isReadable()) {
        return {};
    }
    return info.canonicalFilePath();
}

} // namespace

QString HelpFile::locate(const QString& programDir)
{
    const QString chosen = qEnvironmentVariable("VANTIROKIT_HELP");
    if (!chosen.isEmpty()) {
        return startPageAt(chosen);
    }
    if (programDir.isEmpty()) {
        return {};
    }
    // Cleaned as text: <prefix>/bin/.. is <prefix> as the installation laid it out.
    for (const QString& candidate :
         {QStringLiteral("/../share/vantirokit/help"), QStringLiteral("/help")}) {
        const QString page = startPageAt(QDir::cleanPath(programDir + candidate));
        if (!page.isEmpty()) {
            return page;
        }
    }
    return {};
}

QString HelpFile::locate()
{
    return locate(QCoreApplication::applicationDirPath());
}
