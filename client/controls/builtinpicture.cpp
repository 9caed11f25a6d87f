// SPDX-License-Identifier: Apache-2.0
#include "client/controls/builtinpicture.h"

// The resource lives in a static library: pull it in explicitly (outside any namespace).
static void initArtworkResource()
{
    Q_INIT_RESOURCE(artwork);
}

QPixmap builtInLockPicture()
{
    static const bool loaded = [] {
        initArtworkResource();
        return true;
    }();
    Q_UNUSED(loaded);
    return QPixmap(QStringLiteral(":/artwork/lockpicture.png"));
}
