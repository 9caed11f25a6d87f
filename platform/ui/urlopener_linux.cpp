// SPDX-License-Identifier: Apache-2.0
#include "platform/ui/urlopener.h"

#include <QDesktopServices>
#include <QProcess>
#include <QStandardPaths>
#include <QUrl>

bool UrlOpener::openUrl(const QString& address)
{
    const QString text = address.trimmed();
    if (text.isEmpty()) {
        return false;
    }
    // "www.example.com" as staff type it becomes an http address.
    const QUrl url = QUrl::fromUserInput(text);
    if (!url.isValid() || url.scheme().isEmpty()) {
        return false;
    }
    return openUrl(url);
}

bool UrlOpener::openUrl(const QUrl& url)
{
    if (!url.isValid() || url.scheme().isEmpty()) {
        return false;
    }
    return QDesktopServices::openUrl(url);
}

bool UrlOpener::canShowPages()
{
    if (!qEnvironmentVariableIsEmpty("BROWSER") ||
        !QStandardPaths::findExecutable(QStringLiteral("x-www-browser")).isEmpty()) {
        return true;
    }
    // A desktop may name its browser only in its own list of programs for web pages.
    const QString query = QStandardPaths::findExecutable(QStringLiteral("xdg-mime"));
    if (query.isEmpty()) {
        return false;
    }
    QProcess p;
    p.start(query,
            {QStringLiteral("query"), QStringLiteral("default"), QStringLiteral("text/html")});
    if (!p.waitForFinished(3000)) {
        p.kill();
        p.waitForFinished();
        return false;
    }
    return p.exitCode() == 0 && !p.readAllStandardOutput().trimmed().isEmpty();
}
