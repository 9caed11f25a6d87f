// SPDX-License-Identifier: Apache-2.0
#include "server/link/passwordthrottle.h"

#include <algorithm>

bool PasswordThrottle::allowed(const QString& address, const QDateTime& now) const
{
    return secondsLeft(address, now) == 0;
}

qint64 PasswordThrottle::secondsLeft(const QString& address, const QDateTime& now) const
{
    const auto it = m_entries.constFind(address);
    if (it == m_entries.cend() || !it->until.isValid() || it->until <= now) {
        return 0;
    }
    return std::max<qint64>(1, now.secsTo(it->until));
}

qint64 PasswordThrottle::record(const QString& address, bool right, const QDateTime& now)
{
    if (right) {
        m_entries.remove(address);
        return 0;
    }
    Entry& e = m_entries[address];
    ++e.wrong;
    if (e.wrong < FreeAttempts) {
        return 0;
    }
    // The fifth wrong password shuts out for the first delay, each further one for twice the
    // one before, up to the longest.
    qint64 delay = FirstDelaySeconds;
    for (int i = FreeAttempts; i < e.wrong && delay < LongestDelaySeconds; ++i) {
        delay *= 2;
    }
    delay = std::min(delay, LongestDelaySeconds);
    e.until = now.addSecs(delay);
    return delay;
}
