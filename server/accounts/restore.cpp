// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/restore.h"

#include "common/clock.h"
#include "common/errorlog.h"
#include "common/paths.h"
#include "server/core/database.h"
#include "server/desks/databasecopy.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QSysInfo>
#include <QUuid>

#include <optional>

namespace {

const QString Label = QStringLiteral("mnurestore click");
const QStringList SideFiles = {QStringLiteral("-wal"), QStringLiteral("-shm"),
                               QStringLiteral("-journal")};

QStringList columnsOf(QSqlQuery& q, const QString& table)
{
    QStringList out;
    q.prepare(QStringLiteral("SELECT name FROM pragma_table_info(?)"));
    q.addBindValue(table);
    if (q.exec()) {
        while (q.next()) {
            out << q.value(0).toString().toLower();
        }
    }
    return out;
}

// Checks `file` on a connection of its own; "" when it is a sound copy of our tables.
QString check(const QString& file, const QList<QPair<QString, QStringList>>& expected)
{
    const QString name = QStringLiteral("vk-restore-") + QUuid::createUuid().toString();
    QString problem;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (!db.open()) {
            problem = QStringLiteral("it cannot be opened");
        } else {
            QSqlQuery q(db);
            // A file that is no database at all fails here already.
            if (!q.exec(QStringLiteral("PRAGMA integrity_check")) || !q.next()) {
                problem = QStringLiteral("it is not a database");
            } else if (q.value(0).toString() != QLatin1String("ok")) {
                problem = QStringLiteral("the database in it is damaged");
            }
            q.finish();
            for (const auto& [table, columns] : expected) {
                if (!problem.isEmpty()) {
                    break;
                }
                const QStringList have = columnsOf(q, table);
                if (have.isEmpty() && Database::isAddedTable(table)) {
                    continue; // made before the table was: restored, it is empty
                }
                for (const QString& c : columns) {
                    if (!have.contains(c)) {
                        problem = QStringLiteral("it is not a backup of this console's database "
                                                 "(no %1 in %2)")
                                      .arg(c, table);
                        break;
                    }
                }
            }
            q.finish();
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return problem;
}

// The backup's running sessions were running when it was made, not now: they may have been
// settled since, and their connection numbers are an earlier run's. Each comes back ended at
// the restore and on no connection, so an agent reconnecting from its address is locked
// rather than opened, and the cashier settles it. The workstations concerned; nullopt when
// the copy could not be changed.
std::optional<QStringList> endRunningSessions(const QString& file)
{
    const QString name = QStringLiteral("vk-restore-") + QUuid::createUuid().toString();
    std::optional<QStringList> out;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(file);
        if (db.open() && db.transaction()) {
            QSqlQuery q(db);
            QStringList names;
            bool ok = q.exec(QStringLiteral("SELECT terminal FROM terminals ORDER BY terminal"));
            while (ok && q.next()) {
                names << q.value(0).toString();
            }
            q.finish();
            // The console's own computer (connection 0) has no agent; -1 is a connection no
            // run ever numbers.
            ok = ok && q.prepare(QStringLiteral(
                           "UPDATE terminals SET send = CASE WHEN AUTOLOGOUT = 0 OR send IS NULL "
                           "THEN ? ELSE send END, AUTOLOGOUT = 1, "
                           "cid = CASE WHEN cid = 0 THEN 0 ELSE -1 END"));
            q.addBindValue(Database::timeText(Clock::now()));
            ok = ok && q.exec();
            q.finish();
            if (ok && db.commit()) {
                out = names;
            } else {
                db.rollback();
            }
        }
        db.close();
    }
    QSqlDatabase::removeDatabase(name);
    return out;
}

QList<QPair<QString, QStringList>> expectedTables(Database& live)
{
    QList<QPair<QString, QStringList>> out;
    for (const QString& t : Database::tableNames()) {
        // Read through the driver: the live database may be the one the desks share, whose
        // rowid is a column of its own.
        QStringList columns;
        const QSqlRecord record = live.handle().record(t);
        for (int i = 0; i < record.count(); ++i) {
            columns << record.fieldName(i).toLower();
        }
        columns.removeAll(QStringLiteral("rowid"));
        // A backup from before a column was added is still this console's: opening it adds it.
        columns.removeIf([&t](const QString& c) { return Database::isAddedColumn(t, c); });
        out.append({t, columns});
    }
    return out;
}

void removeWithSideFiles(const QString& path)
{
    QFile::remove(path);
    for (const QString& s : SideFiles) {
        QFile::remove(path + s);
    }
}

// A name beside `path` that no file has: "server-before-restore-20261207-051500.db".
QString asideName(const QString& path)
{
    const QFileInfo f(path);
    const QString stem =
        f.dir().filePath(f.completeBaseName() + QStringLiteral("-before-restore-") +
                         Clock::now().toString(QStringLiteral("yyyyMMdd-HHmmss")));
    const QString suffix = f.suffix().isEmpty() ? QString() : QStringLiteral(".") + f.suffix();
    QString candidate = stem + suffix;
    for (int n = 2; QFileInfo::exists(candidate); ++n) {
        candidate = stem + QStringLiteral("-%1").arg(n) + suffix;
    }
    return candidate;
}

Restore::Result refused(const QString& why)
{
    Restore::Result r;
    r.error = why;
    ErrorLog::write(Label, why);
    return r;
}

// The database the desks share is not a file to put aside: its rows are kept in a file as a
// backup would keep them, then replaced in one transaction under the administration lock, so
// no other desk's housekeeping or restore runs into it. The agents' connections stay: they
// are the running desks' own.
Restore::Result fromShared(Database& live, const QString& file, const QString& staged,
                           const QStringList& awaiting)
{
    Restore::Result result;
    result.awaiting = awaiting;
    result.keptAs = asideName(Paths::databaseFile());
    {
        Database aside;
        const DatabaseCopy::Result kept = aside.open(result.keptAs)
                                              ? DatabaseCopy::copy(live, aside)
                                              : DatabaseCopy::Result{aside.lastError(), {}};
        if (!kept.ok()) {
            aside.close();
            removeWithSideFiles(result.keptAs);
            return refused(QStringLiteral("The data in use cannot be kept aside: ") + kept.error);
        }
    }
    QStringList tables = Database::tableNames();
    tables.removeAll(QStringLiteral("online"));
    QString why;
    Database backup;
    const bool done =
        backup.open(staged) &&
        live.transaction(
            [&] {
                if (!live.lockAdministration(Label)) {
                    return false;
                }
                // Asked again under the lock: another desk may have started one meanwhile.
                const QList<QSqlRecord> running = live.rows(
                    QStringLiteral("SELECT terminal FROM terminals ORDER BY terminal"), {}, Label);
                if (!running.isEmpty()) {
                    why = QStringLiteral("Sessions are running on ") +
                          running.first().value(0).toString() +
                          QStringLiteral(". Settle them first, then restore");
                    return false;
                }
                if (!DatabaseCopy::replace(backup, live, tables, &why)) {
                    return false;
                }
                const QString desk =
                    live.target().desk.isEmpty() ? QSysInfo::machineHostName() : live.target().desk;
                live.publish(QStringLiteral("vk_admin"),
                             desk + QStringLiteral(": restored the database from ") + file);
                return true;
            },
            Label);
    backup.close();
    removeWithSideFiles(staged);
    if (!done) {
        removeWithSideFiles(result.keptAs);
        return refused(file + QStringLiteral(" cannot be restored: ") +
                       (why.isEmpty() ? live.lastError() : why));
    }
    for (const QString& t : Database::tableNames()) {
        live.notifyChanged(t);
    }
    result.ok = true;
    return result;
}

} // namespace

QString Restore::problem(Database& live, const QString& file)
{
    return check(file, expectedTables(live));
}

Restore::Result Restore::fromFile(Database& live, const QString& file)
{
    const QString path = live.path();
    if (!live.isOpen() || (path.isEmpty() && !live.isShared())) {
        return refused(QStringLiteral("The database is not open"));
    }
    if (!QFileInfo(file).isFile()) {
        return refused(file + QStringLiteral(" is not a file"));
    }
    if (QFileInfo(file).canonicalFilePath() == QFileInfo(path).canonicalFilePath()) {
        return refused(file + QStringLiteral(" is the database in use"));
    }
    const QList<QSqlRecord> running =
        live.rows(QStringLiteral("SELECT terminal FROM terminals ORDER BY terminal"), {}, Label);
    if (!running.isEmpty()) {
        QStringList names;
        for (const QSqlRecord& r : running) {
            names << r.value(0).toString();
        }
        return refused(QStringLiteral("Sessions are running on ") +
                       names.join(QStringLiteral(", ")) +
                       QStringLiteral(". Settle them first, then restore"));
    }
    const auto expected = expectedTables(live);
    const QString staged =
        (live.isShared() ? Paths::databaseFile() : path) + QStringLiteral(".restoring");
    // A desk on the shared database may never have had a file of its own in its data folder.
    QDir().mkpath(QFileInfo(staged).absolutePath());
    removeWithSideFiles(staged);
    if (!QFile::copy(file, staged)) {
        removeWithSideFiles(staged);
        return refused(file + QStringLiteral(" cannot be read"));
    }
    // It holds the operators' passwords, as the database does.
    QFile::setPermissions(staged, QFile::ReadOwner | QFile::WriteOwner);
    if (const QString why = check(staged, expected); !why.isEmpty()) {
        removeWithSideFiles(staged);
        return refused(file + QStringLiteral(" cannot be restored: ") + why);
    }
    const auto awaiting = endRunningSessions(staged);
    if (!awaiting) {
        removeWithSideFiles(staged);
        return refused(file + QStringLiteral(" cannot be restored: its running sessions cannot "
                                             "be ended"));
    }
    if (live.isShared()) {
        return fromShared(live, file, staged, *awaiting);
    }

    // Everything written so far goes into the main file, so the file kept aside is whole
    // on its own; a checkpoint another connection holds up means another program has the
    // database open, and moving it away under that program would lose what it writes.
    const auto ckpt = live.firstRow(QStringLiteral("PRAGMA wal_checkpoint(TRUNCATE)"), {}, Label);
    if (!ckpt || ckpt->value(0).toInt() != 0) {
        removeWithSideFiles(staged);
        return refused(QStringLiteral("The database is in use by another program"));
    }
    live.close();
    // SQLite removes the log when its last connection closes: one still there belongs to
    // another connection, idle or not.
    if (QFileInfo::exists(path + QStringLiteral("-wal"))) {
        live.open(path);
        removeWithSideFiles(staged);
        return refused(QStringLiteral("The database is in use by another program"));
    }
    Result result;
    result.awaiting = *awaiting;
    result.keptAs = asideName(path);
    if (!QFile::rename(path, result.keptAs)) {
        live.open(path);
        removeWithSideFiles(staged);
        return refused(QStringLiteral("Cannot move ") + path + QStringLiteral(" aside"));
    }
    // What is left beside it (the shared-memory index) travels with it, never onto the
    // restored file.
    for (const QString& s : SideFiles) {
        if (QFileInfo::exists(path + s)) {
            QFile::rename(path + s, result.keptAs + s);
        }
    }
    if (!QFile::rename(staged, path) || !live.open(path)) {
        live.close();
        removeWithSideFiles(staged);
        QFile::rename(path, staged);
        QFile::rename(result.keptAs, path);
        for (const QString& s : SideFiles) {
            QFile::rename(result.keptAs + s, path + s);
        }
        live.open(path);
        removeWithSideFiles(staged);
        return refused(QStringLiteral("Cannot put ") + file + QStringLiteral(" in place"));
    }
    for (const QString& t : Database::tableNames()) {
        live.notifyChanged(t);
    }
    result.ok = true;
    return result;
}
