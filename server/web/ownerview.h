// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"

#include <QDateTime>
#include <QList>
#include <QString>

class Database;
class LiveSessions;

// What the owner's page shows at one moment, every figure already in its exact money text:
// the workstations, what the cafe took today so far hour by hour, and the last closed shifts.
struct OwnerSnapshot
{
    struct Station
    {
        QString name;
        QString state; // "Free", "In session" or "Disconnected"
        QString user;  // the usage category of a session
        QString elapsed;
        QString charge;
    };
    struct Hour
    {
        int hour = 0;
        Money billed;
        QString text;
    };
    struct ShiftRow
    {
        QString closed;
        QString closedBy;
        int bills = 0;
        QString billed;
        QString expected;
        QString counted;
        QString difference;
    };

    QString cafeName;
    QDateTime at;
    QList<Station> stations;
    QString billedToday;
    QString receivedToday;
    int billsToday = 0;
    QList<Hour> hours;
    QString openShiftBilled;
    QList<ShiftRow> shifts;
};

namespace OwnerView {
constexpr int ShiftsShown = 5;

// Reads everything afresh; `live` is brought to now first.
OwnerSnapshot snapshot(Database& db, LiveSessions& live, int currencyDigits,
                       const QString& cafeName, const QDateTime& now);
} // namespace OwnerView
