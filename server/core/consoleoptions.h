#pragma once

#include <QString>

class SettingsStore;

// The console's local options kept in the settings file (key Options): the listening port,
// starting in the tray, and the date-and-time lock.
struct ConsoleOptions
{
    static constexpr quint16 DefaultPort = 2701;

    quint16 port = DefaultPort;
    bool runMinimized = false;
    bool lockDateTime = false;

    static ConsoleOptions load(const SettingsStore& store);
    // The port a stored text means: decimal digits within range, else the default.
    static quint16 portFromText(const QString& text);
};
