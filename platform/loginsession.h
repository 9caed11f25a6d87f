#pragma once

#include <QList>
#include <QString>

// Ending the customer's login when a session ends: every process of each account logged in on
// the workstation's display, not only the windows, so nothing a customer started (a download,
// a program started to run on after logout) outlives the time that was paid for. Done by the
// system's login manager; the agent's own account and the administrator's are never ended.
// Off unless the settings value EndLoginSession under the Platform key
// (HKEY_LOCAL_MACHINE, SOFTWARE, Vantirokit, Platform) is "1": only a set-up where the agent
// runs under an account of its own, allowed to end logins (the package's set-up), turns it on.
namespace LoginSession {

inline constexpr const char* EndValue = "EndLoginSession";

struct Session
{
    uint uid = 0;
    QString display; // the X display the session runs on, ":0"; empty for text logins
};

bool enabled();

// The accounts to end for the sessions found: those on the display, without the agent's own
// account and the administrator's, each once. Display names compare without a screen number.
QList<uint> accountsToEnd(const QList<Session>& sessions, const QString& display, uint ownUid);

// Ends the accounts logged in on the display (the agent's DISPLAY when empty). True when every
// request was accepted or there was nobody to end; failures go to the error log.
bool endOnDisplay(const QString& display = {});

} // namespace LoginSession
