// SPDX-License-Identifier: Apache-2.0
#include "server/core/consoleoptions.h"

#include "common/linkauth.h"
#include "common/settingsstore.h"

quint16 ConsoleOptions::portFromText(const QString& text)
{
    bool ok = false;
    const uint v = text.trimmed().toUInt(&ok);
    if (!ok || v > 65535) {
        return DefaultPort;
    }
    return quint16(v);
}

ConsoleOptions ConsoleOptions::load(const SettingsStore& store)
{
    ConsoleOptions o;
    const QString port = store.readValue(RegKey::Options, QStringLiteral("port"));
    if (port != SettingsStore::Error) {
        o.port = portFromText(port);
    }
    o.runMinimized =
        store.readValue(RegKey::Options, QStringLiteral("RunMinimized")) == QStringLiteral("1");
    o.lockDateTime =
        store.readValue(RegKey::Options, QStringLiteral("lockdatetime")) == QStringLiteral("1");
    o.linkKey =
        LinkAuth::keyFromSetting(store.readValue(RegKey::Options, QStringLiteral("linkkey")));
    return o;
}
