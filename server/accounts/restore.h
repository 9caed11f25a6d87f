// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>
#include <QStringList>

class Database;

// Puts a backup copy in the place of the console's database. The chosen file is first copied
// beside the database and checked there, so what was checked is what goes in, and the chosen
// file itself is never touched. The database in use is kept aside under a dated name, never
// overwritten; a refused file changes nothing. Sessions running now would have no row in the
// restored file and never be billed, so a restore waits until they are settled. On the
// database the desks share, that is a session on any desk, and what is kept aside is a file of
// the shared rows as they were.
namespace Restore {

struct Result
{
    bool ok = false;
    QString error;  // why nothing was changed
    QString keptAs; // where the database in use until now was put
    // Workstations whose session was running in the backup: they come back ended at the
    // restore and wait locked for settlement.
    QStringList awaiting;
};

// Why `file` is no sound database of this console ("" when it is one): every table with the
// columns the live database has, and SQLite's integrity check passes.
QString problem(Database& live, const QString& file);

// Restores `file` and reopens `live` on it.
Result fromFile(Database& live, const QString& file);

} // namespace Restore
