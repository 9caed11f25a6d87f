#include "server/core/ui/helpviewer.h"

#include "platform/ui/urlopener.h"
#include "server/core/helpfile.h"

#include <QUrl>

bool HelpViewer::available()
{
    return !HelpFile::locate().isEmpty();
}

bool HelpViewer::show()
{
    const QString page = HelpFile::locate();
    if (page.isEmpty()) {
        return false;
    }
    return UrlOpener::openUrl(QUrl::fromLocalFile(page));
}
