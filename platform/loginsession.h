// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QList>
#include <QObject>
#include <QString>

#include <functional>

// Ending the customer's login when a session ends: every process of each account logged in on
// the workstation's display, not only the windows, so nothing a customer started (a download,
// a program started to run on after logout) outlives the time that was paid for. Done by the
// system's login manager; the agent's own account and the administrator's are never ended.
// Off unless the settings value EndLoginSession under the Platform key
// (HKEY_LOCAL_MACHINE, SOFTWARE, Vantirokit, Platform) is "1": only a set-up where the agent
// runs under an account of its own, allowed to end logins (the package's set-up), turns it on.
//
// A configured command takes the place of the login manager (for machines managed otherwise,
// and for tests): the environment variable VANTIROKIT_END_LOGIN_COMMAND. It runs through
// /bin/sh with the display as its last argument.
namespace LoginSession {

inline constexpr const char* EndValue = "EndLoginSession";
inline constexpr const char* CommandVariable = "VANTIROKIT_END_LOGIN_COMMAND";
// Each call to the login manager answers within this or has failed.
inline constexpr int BusTimeoutMs = 15 * 1000;
// A command still running after this long has failed (and is killed).
inline constexpr int CommandTimeoutMs = 60 * 1000;

struct Session
{
    uint uid = 0;
    QString display; // the X display the session runs on, ":0"; empty for text logins
};

bool enabled();

// The accounts to end for the sessions found: those on the display, without the agent's own
// account and the administrator's, each once. Display names compare without a screen number.
QList<uint> accountsToEnd(const QList<Session>& sessions, const QString& display, uint ownUid);

// Starts ending the accounts logged in on the display (the agent's DISPLAY when empty) and
// returns at once: the caller's event loop (the lock's grab retries among it) goes on while the
// login manager is slow. `done` runs once, later, with true when every request was accepted or
// there was nobody to end; failures go to the error log. The request belongs to `context`:
// destroyed with it, it is abandoned and `done` is not called.
QObject* endOnDisplay(QObject* context, std::function<void(bool ok)> done = {},
                      const QString& display = {});

} // namespace LoginSession
