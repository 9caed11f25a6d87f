// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>
#include <QString>

#include <functional>

// Shutting down and restarting the workstation. A configured command takes the place of the
// system's own power control (for machines managed otherwise, and for tests): the environment
// variable VANTIROKIT_POWER_COMMAND, else the settings value PowerCommand under
// HKEY_LOCAL_MACHINE\SOFTWARE\Vantirokit\Platform. It runs through /bin/sh with the word
// "poweroff" or "reboot" as its last argument.
//
// A request never waits: the command runs as a child process and the system's power control is
// called over D-Bus without blocking, so the caller's event loop (and the lock screen it keeps)
// goes on while the request is slow or stuck.
namespace Power {

inline constexpr const char* CommandVariable = "VANTIROKIT_POWER_COMMAND";
inline constexpr const char* CommandValue = "PowerCommand";
// A command still running after this long has failed (and is killed).
inline constexpr int CommandTimeoutMs = 60 * 1000;
// The system's power control answers within this or has failed.
inline constexpr int BusTimeoutMs = 15 * 1000;
QString platformKey(); // HKEY_LOCAL_MACHINE\SOFTWARE\Vantirokit\Platform

enum class Action
{
    Shutdown,
    Reboot
};

// Starts the request and returns at once. `done` runs once, later, from the caller's event loop,
// with true when the request was accepted (the command ended with status 0, or the system's
// power control took the call); a failure is written to the error log before. The request
// belongs to `context`: destroyed with it, it is abandoned (a running command is killed) and
// `done` is not called. Returns the request object (a child of `context`).
QObject* request(Action action, QObject* context, std::function<void(bool accepted)> done = {});

// The command that replaces the system's power control; empty when none is configured.
QString overrideCommand();

} // namespace Power
