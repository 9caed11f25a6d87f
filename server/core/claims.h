// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

class Database;

// Several desks may write to one database at once, each reading before it writes. A write
// that depends on a row therefore first holds it, inside its transaction, and reads it only
// then: another desk's write on the same row waits for this commit (or this one for
// theirs) and then reads what was committed. Holding is a statement that changes the row, so
// it works the same on a file of one desk's own, where the transaction already holds
// everything.
//
// Every write holds in one order, so two desks never wait for each other: the session (or
// the ready workstation) first, then the ticket or the member, then the bill numbers.
namespace Claims {

// The running session `rowid`; false when it is gone (ended or moved meanwhile) or on failure.
bool session(Database& db, qint64 rowid, const QString& label);
// Member `id`: 1 when held, 0 when there is no such member, -1 on failure.
qint64 member(Database& db, const QString& id, const QString& label);
// Ticket `code` (as stored): 1 when held, 0 when there is no such ticket, -1 on failure.
qint64 ticket(Database& db, const QString& code, const QString& label);
// The next bill number without taking one: nobody takes a number until the commit.
bool billNumbers(Database& db, const QString& label);

} // namespace Claims
