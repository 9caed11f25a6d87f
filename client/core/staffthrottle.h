// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDateTime>

class AgentSettings;

// Holds back guessing of the staff password at the workstation, by the rule the console applies
// to session passwords: the first four wrong passwords cost nothing; the fifth shuts the window
// out for 30 seconds and each further one for twice as long as the one before, up to 15
// minutes; the right password starts the count afresh. The count and the end of the shut-out
// are kept in the agent's settings (values "wrong" and "until" of the password key), so ending
// the agent does not wipe them.
class StaffThrottle
{
public:
    static constexpr int FreeAttempts = 5;
    static constexpr qint64 FirstDelaySeconds = 30;
    static constexpr qint64 LongestDelaySeconds = 15 * 60;

    explicit StaffThrottle(AgentSettings& settings);

    // Seconds before a password may be compared again (0: now). Never more than the longest
    // delay: after the clock was set back the shut-out is cut to end that long from now, so it
    // cannot last for days.
    qint64 secondsLeft(const QDateTime& now);
    // Records the outcome of a comparison; returns the seconds now shut out for (0: none).
    qint64 record(bool right, const QDateTime& now);
    // The delay the given count of wrong passwords earns (0 below FreeAttempts).
    static qint64 delayAfter(int wrong);

private:
    AgentSettings& m_settings;
};
