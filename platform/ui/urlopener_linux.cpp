#include "platform/ui/urlopener.h"

#include <QDesktopServices>
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
