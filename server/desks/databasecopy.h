// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QList>
#include <QString>
#include <QStringList>

#include <functional>

class Database;

// Moves a cafe's data between databases of either kind: its own SQLite file into the
// PostgreSQL database the desks share, and the shared data back into one file (the backup).
// Every table of Database::tableNames() goes across with its rowids, so bill numbers, shift
// ids and the order of the rows stay as they were.
namespace DatabaseCopy {

struct Table
{
    QString name;
    qint64 rows = 0;      // in the source (compare: in the first database)
    qint64 otherRows = 0; // compare: in the second database
    bool same = false;
    QString difference; // compare: the first row that differs, for a person to read
};

struct Result
{
    QString error; // why nothing was copied ("" on success)
    QList<Table> tables;
    bool ok() const { return error.isEmpty(); }
    // Every table the same (compare).
    bool same() const;
};

// Asked between rows; true stops the copy and rolls it back.
using Cancelled = std::function<bool()>;

// Why `to` may not receive a copy ("" when it may): it holds rows already. The defaults row
// that opening an empty database writes is no data: the source's takes its place.
QString refusal(Database& to);

// Copies every table from one moment of `from` into the empty `to` in one transaction.
Result copy(Database& from, Database& to, const Cancelled& cancelled = {});

// Replaces the rows of `tables` in `to` with those of `from`, inside the caller's transaction
// when it has one; false (with the reason in `error`) when anything failed.
bool replace(Database& from, Database& to, const QStringList& tables, QString* error);

// Every table of both, row by row in rowid order: the rowid and every column, amounts as
// exact amounts (a file keeps them as binary fractions, PostgreSQL as decimals), the rest as
// text, an empty value apart from a missing one.
Result compare(Database& a, Database& b);

} // namespace DatabaseCopy
