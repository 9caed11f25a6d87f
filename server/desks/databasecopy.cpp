// SPDX-License-Identifier: Apache-2.0
#include "server/desks/databasecopy.h"

#include "common/money.h"
#include "server/core/database.h"

#include <QSqlDriver>
#include <QSqlError>
#include <QSqlField>
#include <QSqlIndex>
#include <QSqlQuery>
#include <QSqlRecord>

#include <optional>

namespace {

const QString Label = QStringLiteral("Database copy");
const QString RowId = QStringLiteral("rowid");

bool isPostgres(const Database& db)
{
    const QSqlDriver* driver = db.handle().driver();
    return driver != nullptr && driver->dbmsType() == QSqlDriver::PostgreSQL;
}

// A table's columns as both kinds name them: PostgreSQL folds the names the schema writes in
// capitals, SQLite matches any case, so the lower-case name quoted fits both. PostgreSQL's
// rowid is a column of its own; SQLite's is read by name.
struct Columns
{
    QStringList names;
    QList<bool> amounts; // REAL in a file, NUMERIC on PostgreSQL: compared and written exactly

    qsizetype indexOf(const QString& name) const { return names.indexOf(name); }
};

Columns columnsOf(Database& db, const QString& table)
{
    Columns out;
    const QSqlRecord record = db.handle().record(table);
    for (int i = 0; i < record.count(); ++i) {
        const QString name = record.fieldName(i).toLower();
        if (name == RowId) {
            continue;
        }
        out.names << name;
        out.amounts << (record.field(i).metaType().id() == QMetaType::Double);
    }
    return out;
}

QString quoted(const QStringList& names)
{
    QStringList out;
    for (const QString& n : names) {
        out << u'"' + n + u'"';
    }
    return out.join(QStringLiteral(", "));
}

// Whether the rowid is written with the row. A table with an INTEGER PRIMARY KEY (shifts.id)
// has its rowid made from that key: a file's is the key under another name, PostgreSQL's a
// column computed from it.
bool rowidWritten(Database& db, const QString& table)
{
    if (isPostgres(db)) {
        return db.scalar(QStringLiteral("SELECT count(*) FROM information_schema.columns WHERE "
                                        "table_schema = current_schema() AND table_name = ? AND "
                                        "column_name = 'rowid' AND is_generated = 'ALWAYS'"),
                         {table}, Label)
                   .toLongLong() == 0;
    }
    const QSqlIndex key = db.handle().primaryIndex(table);
    if (key.count() != 1) {
        return true;
    }
    const int type = key.field(0).metaType().id();
    return type != QMetaType::Int && type != QMetaType::LongLong;
}

std::optional<QSqlQuery> readRows(Database& db, const QString& table, const QStringList& names)
{
    QString sql = QStringLiteral("SELECT rowid");
    if (!names.isEmpty()) {
        sql += QStringLiteral(", ") + quoted(names);
    }
    return db.exec(sql + QStringLiteral(" FROM ") + table + QStringLiteral(" ORDER BY rowid"), {},
                   Label);
}

// Reads every table from one moment of the source while its console may go on writing:
// a file's read transaction, PostgreSQL's repeatable read. Statements of the kind that open
// a transaction are run unprepared: PostgreSQL prepares only the statements that touch rows.
class Snapshot
{
public:
    explicit Snapshot(Database& db) : m_db(db)
    {
        if (db.inTransaction()) {
            return;
        }
        QSqlQuery q(db.handle());
        m_open = q.exec(isPostgres(db) ? QStringLiteral("BEGIN TRANSACTION ISOLATION LEVEL "
                                                        "REPEATABLE READ READ ONLY")
                                       : QStringLiteral("BEGIN"));
    }
    ~Snapshot()
    {
        if (m_open) {
            QSqlQuery q(m_db.handle());
            q.exec(QStringLiteral("COMMIT"));
        }
    }
    Snapshot(const Snapshot&) = delete;
    Snapshot& operator=(const Snapshot&) = delete;

private:
    Database& m_db;
    bool m_open = false;
};

QVariant written(const QVariant& v, bool amount, bool toPostgres)
{
    if (!amount || v.isNull()) {
        return v;
    }
    const Money m = Money::fromVariant(v);
    // PostgreSQL takes the decimal text as it is; a file keeps amounts as the console writes
    // them.
    return toPostgres ? QVariant(m.toString()) : m.toVariant();
}

// Copies one table's rows; how many, or -1 (the reason in `error`).
qint64 copyTable(Database& from, Database& to, const QString& table,
                 const DatabaseCopy::Cancelled& cancelled, QString* error)
{
    const Columns source = columnsOf(from, table);
    const Columns target = columnsOf(to, table);
    for (const QString& c : source.names) {
        if (target.indexOf(c) < 0) {
            *error = QStringLiteral("The target has no column %1 in %2").arg(c, table);
            return -1;
        }
    }
    auto rows = readRows(from, table, source.names);
    if (!rows) {
        *error = QStringLiteral("%1 cannot be read: %2").arg(table, from.lastError());
        return -1;
    }
    const bool withRowid = rowidWritten(to, table);
    const bool toPostgres = isPostgres(to);
    QStringList names = source.names;
    if (withRowid) {
        names.prepend(RowId);
    }
    QStringList marks;
    marks.fill(QStringLiteral("?"), names.size());
    const QString insert = QStringLiteral("INSERT INTO %1 (%2) VALUES (%3)")
                               .arg(table, quoted(names), marks.join(QStringLiteral(", ")));
    qint64 n = 0;
    while (rows->next()) {
        if (cancelled && cancelled()) {
            *error = QStringLiteral("The copy was cancelled");
            return -1;
        }
        QVariantList values;
        if (withRowid) {
            values << rows->value(0);
        }
        for (qsizetype i = 0; i < source.names.size(); ++i) {
            const bool amount = target.amounts.at(target.indexOf(source.names.at(i)));
            values << written(rows->value(int(i) + 1), amount, toPostgres);
        }
        if (!to.run(insert, values, Label)) {
            *error = QStringLiteral("%1 cannot be written: %2").arg(table, to.lastError());
            return -1;
        }
        ++n;
    }
    return n;
}

// PostgreSQL hands out rowids (and shift ids) from sequences of its own: each goes past the
// largest copied value, so the next row a desk writes takes a fresh number.
bool moveSequences(Database& to, const QStringList& tables)
{
    if (!isPostgres(to)) {
        return true;
    }
    for (const QString& table : tables) {
        const QList<QSqlRecord> identities =
            to.rows(QStringLiteral("SELECT column_name FROM information_schema.columns WHERE "
                                   "table_schema = current_schema() AND table_name = ? AND "
                                   "is_identity = 'YES'"),
                    {table}, Label);
        for (const QSqlRecord& r : identities) {
            const QString column = r.value(0).toString();
            if (!to.scalar(QStringLiteral("SELECT setval(pg_get_serial_sequence(?, ?), "
                                          "coalesce(max(\"%1\"), 0) + 1, false) FROM %2")
                               .arg(column, table),
                           {table, column}, Label)
                     .isValid()) {
                return false;
            }
        }
    }
    return true;
}

bool sameCell(const QVariant& a, const QVariant& b, bool amount)
{
    if (a.isNull() || b.isNull()) {
        return a.isNull() && b.isNull();
    }
    if (amount) {
        return Money::fromVariant(a) == Money::fromVariant(b);
    }
    return a.toString() == b.toString();
}

QString shown(const QVariant& v)
{
    return v.isNull() ? QStringLiteral("NULL") : u'\'' + v.toString() + u'\'';
}

DatabaseCopy::Table compareTable(Database& a, Database& b, const QString& table)
{
    DatabaseCopy::Table out;
    out.name = table;
    const Columns ca = columnsOf(a, table);
    const Columns cb = columnsOf(b, table);
    QStringList names;
    for (const QString& c : ca.names) {
        if (cb.indexOf(c) >= 0) {
            names << c;
        } else if (out.difference.isEmpty()) {
            out.difference = QStringLiteral("only the first has the column ") + c;
        }
    }
    for (const QString& c : cb.names) {
        if (ca.indexOf(c) < 0 && out.difference.isEmpty()) {
            out.difference = QStringLiteral("only the second has the column ") + c;
        }
    }
    auto ra = readRows(a, table, names);
    auto rb = readRows(b, table, names);
    if (!ra || !rb) {
        out.difference = QStringLiteral("it cannot be read");
        return out;
    }
    bool moreA = ra->next();
    bool moreB = rb->next();
    while (moreA || moreB) {
        if (out.difference.isEmpty()) {
            if (!moreA || !moreB) {
                out.difference =
                    QStringLiteral("rowid %1 is only in the %2")
                        .arg((moreA ? ra : rb)->value(0).toString(),
                             moreA ? QStringLiteral("first") : QStringLiteral("second"));
            } else if (ra->value(0).toLongLong() != rb->value(0).toLongLong()) {
                out.difference = QStringLiteral("rowid %1 against rowid %2")
                                     .arg(ra->value(0).toString(), rb->value(0).toString());
            } else {
                for (qsizetype i = 0; i < names.size(); ++i) {
                    const QString& c = names.at(i);
                    const bool amount =
                        ca.amounts.at(ca.indexOf(c)) || cb.amounts.at(cb.indexOf(c));
                    const QVariant va = ra->value(int(i) + 1);
                    const QVariant vb = rb->value(int(i) + 1);
                    if (!sameCell(va, vb, amount)) {
                        out.difference = QStringLiteral("rowid %1, %2: %3 against %4")
                                             .arg(ra->value(0).toString(), c, shown(va), shown(vb));
                        break;
                    }
                }
            }
        }
        if (moreA) {
            ++out.rows;
            moreA = ra->next();
        }
        if (moreB) {
            ++out.otherRows;
            moreB = rb->next();
        }
    }
    out.same = out.difference.isEmpty();
    return out;
}

} // namespace

bool DatabaseCopy::Result::same() const
{
    if (!ok() || tables.isEmpty()) {
        return false;
    }
    for (const Table& t : tables) {
        if (!t.same) {
            return false;
        }
    }
    return true;
}

QString DatabaseCopy::refusal(Database& to)
{
    for (const QString& table : Database::tableNames()) {
        const QVariant n = to.scalar(QStringLiteral("SELECT count(*) FROM ") + table, {}, Label);
        if (!n.isValid()) {
            return QStringLiteral("The target database cannot be read: ") + to.lastError();
        }
        const qint64 allowed = table == QLatin1String("defalt") ? 1 : 0;
        if (n.toLongLong() > allowed) {
            return QStringLiteral("The target database is not empty: %1 has rows already. "
                                  "Copy into a new, empty database.")
                .arg(table);
        }
    }
    return {};
}

DatabaseCopy::Result DatabaseCopy::copy(Database& from, Database& to, const Cancelled& cancelled)
{
    Result result;
    const Snapshot snapshot(from);
    const bool done = to.transaction(
        [&] {
            // Another desk's housekeeping or restore must not run into the copy.
            if (!to.lockAdministration(Label)) {
                result.error = to.lastError();
                return false;
            }
            result.error = refusal(to);
            if (!result.error.isEmpty() ||
                !to.run(QStringLiteral("DELETE FROM defalt"), {}, Label)) {
                return false;
            }
            for (const QString& table : Database::tableNames()) {
                const qint64 n = copyTable(from, to, table, cancelled, &result.error);
                if (n < 0) {
                    return false;
                }
                Table t;
                t.name = table;
                t.rows = n;
                result.tables << t;
            }
            return moveSequences(to, Database::tableNames());
        },
        Label);
    if (!done) {
        if (result.error.isEmpty()) {
            result.error = QStringLiteral("The copy cannot be written: ") + to.lastError();
        }
        result.tables.clear();
    }
    return result;
}

bool DatabaseCopy::replace(Database& from, Database& to, const QStringList& tables, QString* error)
{
    const Snapshot snapshot(from);
    QString why;
    const bool done = to.transaction(
        [&] {
            for (const QString& table : tables) {
                if (!to.run(QStringLiteral("DELETE FROM ") + table, {}, Label) ||
                    copyTable(from, to, table, {}, &why) < 0) {
                    return false;
                }
            }
            return moveSequences(to, tables);
        },
        Label);
    if (!done && error != nullptr) {
        *error = why.isEmpty() ? to.lastError() : why;
    }
    return done;
}

DatabaseCopy::Result DatabaseCopy::compare(Database& a, Database& b)
{
    Result result;
    const Snapshot sa(a);
    const Snapshot sb(b);
    for (const QString& table : Database::tableNames()) {
        result.tables << compareTable(a, b, table);
    }
    return result;
}
