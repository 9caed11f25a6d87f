// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QString>

class SettingsStore;

// The console's local options kept in the settings file (key Options): the listening port,
// starting in the tray, the date-and-time lock, and the link key the agents must prove (value
// "linkkey"; not set: the link is open to any agent, as it always was).
struct ConsoleOptions
{
    static constexpr quint16 DefaultPort = 2701;

    quint16 port = DefaultPort;
    bool runMinimized = false;
    bool lockDateTime = false;
    QByteArray linkKey;

    static ConsoleOptions load(const SettingsStore& store);
    // The port a stored text means: decimal digits within range, else the default.
    static quint16 portFromText(const QString& text);
};
