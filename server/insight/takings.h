// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QMap>
#include <QString>
#include <QStringList>

#include <array>

class Database;

// What the cafe took, read from the bills and the member ledger for the owner's picture.
//
// A bill counts at its end (history.send; its start when it has none), in the hour or day that
// holds that moment. Bills without a number (maintenance) bill nothing. A bill paid from a
// ticket is left out: its money was counted when the ticket was sold. Every figure is exact:
// amounts are summed in ten-thousandths by the database, never as floating point.
namespace Takings {

// One hour of a day or one day of a month.
struct Bucket
{
    QDateTime start;                     // the first moment of the hour or the day
    QMap<QString, Money> timeByCategory; // bills' charge by usage category (history.user)
    Money jobWork;                       // the job work on time bills (otheramt)
    Money tickets;    // ticket sales (the net amount of bills on terminal "Tickets")
    Money adjustment; // net amounts entered by hand: net - charge - job work of time bills
    Money topUps;     // member top-ups (ledger credit lines "Top-up")
    Money received;   // money over the counter: bills' received amounts plus the top-ups
    int bills = 0;    // bills counted (ticket sales included)

    Money time() const; // the sum of timeByCategory
    // Everything billed: the sum of the bills' net amounts, the history report's "Total".
    Money billed() const { return time() + jobWork + tickets + adjustment; }
    Bucket& operator+=(const Bucket& o);
};

struct Period
{
    QDateTime from;         // first moment included
    QDateTime to;           // first moment after the period
    QList<Bucket> buckets;  // every hour (day) or every day (month) in order, empty ones too
    Bucket total;           // the sum of the buckets, start = from
    QStringList categories; // every category with time in the period, in name order
};

// The terminal name ticket sales are billed on.
inline const QString TicketsTerminal = QStringLiteral("Tickets");

// Per hour of one day.
Period day(Database& db, const QDate& day);
// Per day of the month that holds `anyDay`.
Period month(Database& db, const QDate& anyDay);
// Bills and top-ups with their moment in [from, to), summed as one bucket.
Bucket between(Database& db, const QDateTime& from, const QDateTime& to);

// Sessions running per hour of the week: cell [d][h] counts, summed over the weeks, the
// sessions that ran during some part of hour h of weekday d (0 Monday ... 6 Sunday). The
// weeks are the `weeks` times seven days that end at `now`; sessions still running count up
// to `now`.
struct BusyHours
{
    int weeks = 0;
    std::array<std::array<int, 24>, 7> sessions{};
    int peak() const; // the largest cell
};
BusyHours busyHours(Database& db, int weeks, const QDateTime& now);

} // namespace Takings
