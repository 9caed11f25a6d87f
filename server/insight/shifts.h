// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"
#include "server/accounts/reportdocument.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class Database;

// The cashier's shifts. A shift is closed by hand; it covers every bill and every member
// top-up not yet in a closed shift. Closing marks them with the shift's number (history.shift,
// transactions.shift) in the same transaction that stores the shift, so shifts never overlap,
// every bill ends in exactly one shift, and a bill settled later, whatever its number or its
// times, falls in the shift that is open then.
namespace Shifts {

struct Figures
{
    QDateTime opened;     // when the previous shift was closed (invalid for the first one)
    QDateTime closed;     // when this one was closed (invalid while open)
    QString closedBy;     // the operator who closed it
    int bills = 0;        // bills in the shift (ticket-paid ones included)
    qint64 firstBill = 0; // the lowest and highest bill numbers in it (0 when none)
    qint64 lastBill = 0;
    Money time;       // time billed (charge) of bills not paid from a ticket
    Money jobWork;    // job work on those bills
    Money tickets;    // ticket sales
    Money adjustment; // net amounts entered by hand: net - charge - job work
    Money topUps;     // member top-ups
    Money expected;   // the cash that should be in the drawer: bills' received plus top-ups
    Money counted;    // the cash counted at the close
    Money difference() const { return counted - expected; }
    Money billed() const { return time + jobWork + tickets + adjustment; }
};

struct Shift
{
    qint64 id = 0;
    Figures figures;
};

// The shift open now, as it would close at `now` with `counted` in the drawer.
Figures current(Database& db, const QDateTime& now);
// Closes the open shift: marks its bills and top-ups and stores its figures in one
// transaction. nullopt when the database refused (nothing is then changed).
std::optional<Shift> close(Database& db, const QDateTime& now, const QString& operatorName,
                           Money counted);
// Closed shifts, the latest first.
QList<Shift> closed(Database& db, int limit = 100);
std::optional<Shift> find(Database& db, qint64 id);

// The printed form of a closed shift for the preview.
ReportDocument document(const Shift& shift);

} // namespace Shifts
