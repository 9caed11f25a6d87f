// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "support/testhome.h"

#include <QFile>
#include <QtTest>

// The settings file of a console started in `home`, written anew: the link listens on `port`
// (0: any free one), and `extra` adds lines of the same form.
inline void writeConsoleSettings(const TestHome& home, quint16 port = 0,
                                 const QByteArray& extra = {})
{
    QFile f(home.file(QStringLiteral("vantirokit.conf")));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n\"port\"=\"" +
            QByteArray::number(port) + "\"\n" + extra);
}
