// SPDX-License-Identifier: Apache-2.0
#include "platform/boottime.h"

#include <QFile>

#include <time.h>

qint64 BootTime::msecs()
{
    // CLOCK_MONOTONIC would stand still while the computer sleeps, and a wake-up would look
    // like the wall clock jumping forward.
    timespec ts = {};
    ::clock_gettime(CLOCK_BOOTTIME, &ts);
    return qint64(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

QString BootTime::bootId()
{
    QFile f(QStringLiteral("/proc/sys/kernel/random/boot_id"));
    if (!f.open(QIODevice::ReadOnly)) {
        return {};
    }
    return QString::fromLatin1(f.readAll()).trimmed();
}
