// SPDX-License-Identifier: Apache-2.0
#include "server/link/refusalthrottle.h"

bool RefusalThrottle::admit(const QString& address, qint64 nowMs, int* heldBefore)
{
    *heldBefore = 0;
    const QString key =
        m_entries.size() >= MaxAddresses && !m_entries.contains(address) ? QString() : address;
    auto it = m_entries.find(key);
    if (it == m_entries.end()) {
        m_entries.insert(key, Entry{nowMs, 0});
        return true;
    }
    if (nowMs - it->since < WindowMs) {
        ++it->held;
        return false;
    }
    *heldBefore = it->held;
    *it = Entry{nowMs, 0};
    return true;
}

QList<RefusalThrottle::Held> RefusalThrottle::due(qint64 nowMs)
{
    QList<Held> out;
    for (auto it = m_entries.begin(); it != m_entries.end();) {
        if (nowMs - it->since < WindowMs) {
            ++it;
        } else if (it->held > 0) {
            out.append({it.key(), it->held});
            *it = Entry{nowMs, 0};
            ++it;
        } else {
            it = m_entries.erase(it);
        }
    }
    return out;
}
