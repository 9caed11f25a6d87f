// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QHash>
#include <QList>
#include <QString>

// Keeps the records of refused connections to one a minute per address: a peer refused over
// and over (a flood, a workstation with the wrong key) is recorded the first time, then counted,
// and the count recorded once its minute is over. Times are milliseconds of a monotonic clock.
class RefusalThrottle
{
public:
    static constexpr qint64 WindowMs = 60000;
    // Addresses tracked at most; refusals from further addresses are counted together under
    // the empty address, so a flood from ever new addresses can neither grow the table nor
    // write more than this many records (and one for the rest) a minute.
    static constexpr qsizetype MaxAddresses = 100;

    struct Held
    {
        QString address;
        int count = 0;
    };

    // Whether a refusal from the address is to be recorded now (with `*heldBefore` refusals
    // counted since its last record), or only counted.
    bool admit(const QString& address, qint64 nowMs, int* heldBefore);
    // The counts whose minute is over, each to be recorded once; forgets addresses that were
    // quiet for a whole minute.
    QList<Held> due(qint64 nowMs);
    bool isEmpty() const { return m_entries.isEmpty(); }
    qsizetype size() const { return m_entries.size(); }

private:
    struct Entry
    {
        qint64 since = 0;
        int held = 0;
    };
    QHash<QString, Entry> m_entries;
};
