// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDateTime>
#include <QHash>
#include <QString>

// Holds back session-password guessing from a workstation. The first few wrong passwords cost
// nothing; after that each wrong one shuts the workstation out of further checks for a while,
// twice as long as the time before, and a check asked for meanwhile is refused unseen. Kept by
// the workstation's address, so reconnecting the agent does not wipe the count; a right password
// starts the count afresh.
class PasswordThrottle
{
public:
    static constexpr int FreeAttempts = 5;
    static constexpr qint64 FirstDelaySeconds = 30;
    static constexpr qint64 LongestDelaySeconds = 15 * 60;

    // True when a check from that address may be made now.
    bool allowed(const QString& address, const QDateTime& now) const;
    // Records the outcome of a check that was made; returns the seconds the address is now shut
    // out for (0 when it is not).
    qint64 record(const QString& address, bool right, const QDateTime& now);
    // Seconds left before the address may check again (0 when it may).
    qint64 secondsLeft(const QString& address, const QDateTime& now) const;

private:
    struct Entry
    {
        int wrong = 0;
        QDateTime until;
    };
    QHash<QString, Entry> m_entries;
};
