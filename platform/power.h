#pragma once

#include <QString>

// Shutting down and restarting the workstation. A configured command takes the place of the
// system's own power control (for machines managed otherwise, and for tests): the environment
// variable VANTIROKIT_POWER_COMMAND, else the settings value PowerCommand under
// HKEY_LOCAL_MACHINE\SOFTWARE\Vantirokit\Platform. It runs through /bin/sh with the word
// "poweroff" or "reboot" as its last argument.
namespace Power {

inline constexpr const char* CommandVariable = "VANTIROKIT_POWER_COMMAND";
inline constexpr const char* CommandValue = "PowerCommand";
QString platformKey(); // HKEY_LOCAL_MACHINE\SOFTWARE\Vantirokit\Platform

// True when the request was accepted (the command ended with status 0, or the system's power
// control took the call). Failures are written to the error log.
bool shutdown();
bool reboot();

// The command that replaces the system's power control; empty when none is configured.
QString overrideCommand();

} // namespace Power
