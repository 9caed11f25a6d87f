// SPDX-License-Identifier: Apache-2.0
#include "server/core/database.h"

#include "common/errorlog.h"

#include <QHash>
#include <QRegularExpression>
#include <QSqlDriver>
#include <QSqlError>
#include <QUuid>

Database* Database::s_instance = nullptr;

namespace {

// Column kinds: TEXT for text, INTEGER for whole numbers, flags and Yes/No (1 or 0), REAL
// for money and decimal numbers (at most four decimals), TEXT "yyyy-MM-dd HH:mm:ss" for
// date-times.
const char* const SchemaSql[] = {
    "CREATE TABLE IF NOT EXISTS online (name TEXT, ip TEXT, id INTEGER)",
    "CREATE TABLE IF NOT EXISTS terminals (terminal TEXT, ip TEXT, cid INTEGER, sstart TEXT, "
    "send TEXT, \"user\" TEXT, memberid TEXT, Password TEXT, amtreceived REAL DEFAULT 0, "
    "logout INTEGER DEFAULT 0, logouttime REAL DEFAULT 0, logouttype INTEGER DEFAULT 0, "
    "maintains INTEGER DEFAULT 0, AUTOLOGOUT INTEGER DEFAULT 0, restartcnt REAL DEFAULT 0, "
    "passwordwait INTEGER DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS history (billno INTEGER, sstart TEXT, send TEXT, terminal TEXT, "
    "cip TEXT, \"user\" TEXT, memberid TEXT, duration TEXT, charge REAL DEFAULT 0, otheramt REAL, "
    "netamount REAL DEFAULT 0, received REAL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS user_category (\"user\" TEXT PRIMARY KEY COLLATE NOCASE, "
    "Description TEXT)",
    "CREATE TABLE IF NOT EXISTS ratelist (member TEXT, timeslice REAL, Rate REAL, tperiod TEXT, "
    "rateslice TEXT, rpermin REAL, fhour INTEGER DEFAULT 0, ftimespent INTEGER DEFAULT 0, "
    "rateflathour INTEGER DEFAULT 0, fhourrate REAL DEFAULT 0, fhournos REAL DEFAULT 0, "
    "chargebyminute INTEGER DEFAULT 0, usefirsttimeperiod INTEGER DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS members (memberid TEXT PRIMARY KEY, name TEXT, address1 TEXT, "
    "address2 TEXT, email TEXT, ob REAL DEFAULT 0, Password TEXT, category TEXT, "
    "createddate TEXT)",
    "CREATE TABLE IF NOT EXISTS transactions (memberid TEXT, Date TEXT, part TEXT, "
    "credit REAL DEFAULT 0, debit REAL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS jobwork (Type TEXT PRIMARY KEY, amount REAL DEFAULT 0, "
    "qty REAL DEFAULT 0, totamt REAL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS jobwork_details (billno INTEGER, Type TEXT, qty REAL, "
    "amount REAL)",
    "CREATE TABLE IF NOT EXISTS defalt (billno INTEGER, printbill INTEGER DEFAULT 0, admin TEXT, "
    "\"user\" TEXT)",
    // Time sold in advance: `value` is everything sold on the ticket, `credit` what is left,
    // `minutes` what it was sold as (0: an amount), `expires` its last day (NULL: never).
    "CREATE TABLE IF NOT EXISTS tickets (code TEXT PRIMARY KEY, category TEXT, value REAL "
    "DEFAULT 0, credit REAL DEFAULT 0, minutes INTEGER DEFAULT 0, sold TEXT, expires TEXT, "
    "lastuse TEXT, voided INTEGER DEFAULT 0, billno INTEGER)",
    // Closed cashier's shifts with what they billed and the cash counted at the close. Bills
    // name their shift (history.shift), top-ups belong to the one whose [opened, closed) holds
    // their date.
    "CREATE TABLE IF NOT EXISTS shifts (id INTEGER PRIMARY KEY, opened TEXT, closed TEXT, "
    "closedby TEXT, bills INTEGER DEFAULT 0, firstbill INTEGER, lastbill INTEGER, "
    "timebilled REAL DEFAULT 0, jobwork REAL DEFAULT 0, tickets REAL DEFAULT 0, "
    "adjustment REAL DEFAULT 0, topups REAL DEFAULT 0, expected REAL DEFAULT 0, "
    "counted REAL DEFAULT 0)",
    // The consoles ("desks") sharing one database, and the commands one desk leaves for an
    // agent connected to another. Created on a file of one desk's own too, where they stay
    // empty, so both kinds of database hold the same tables.
    "CREATE TABLE IF NOT EXISTS desks (desk INTEGER PRIMARY KEY, name TEXT, address TEXT, "
    "started TEXT, beat TEXT)",
    "CREATE TABLE IF NOT EXISTS commands (id INTEGER PRIMARY KEY, desk INTEGER, cid INTEGER, "
    "message TEXT, queued TEXT, fromdesk INTEGER)",
    // Look-ups the console makes on every event and every screenful of the history grid.
    "CREATE INDEX IF NOT EXISTS history_billno ON history(billno)",
    "CREATE INDEX IF NOT EXISTS history_sstart ON history(sstart)",
    "CREATE INDEX IF NOT EXISTS terminals_ip ON terminals(ip)",
    "CREATE INDEX IF NOT EXISTS terminals_cid ON terminals(cid)",
    "CREATE INDEX IF NOT EXISTS online_id ON online(id)",
    "CREATE INDEX IF NOT EXISTS ratelist_member ON ratelist(member, timeslice)",
    "CREATE INDEX IF NOT EXISTS transactions_member ON transactions(memberid, Date)",
    "CREATE INDEX IF NOT EXISTS jobwork_details_billno ON jobwork_details(billno)",
    "CREATE INDEX IF NOT EXISTS tickets_sold ON tickets(sold)",
    "CREATE INDEX IF NOT EXISTS commands_desk ON commands(desk, id)",
};

// The job-work quantities typed while one session is being settled belong to that settlement
// alone: a temporary table is private to its connection on both kinds of database, so another
// desk opening its own settlement neither clears them nor bills them.
const char* const EnteredJobWorkSql =
    "CREATE TEMP TABLE IF NOT EXISTS jobwork_entered (line INTEGER, Type TEXT, "
    "qty REAL DEFAULT 0, totamt REAL DEFAULT 0)";

// What SQLite's NOCASE primary key of user_category gives, on PostgreSQL.
const char* const PostgresOnlySql[] = {
    "CREATE UNIQUE INDEX IF NOT EXISTS user_category_lower ON user_category (lower(\"user\"))",
};

// The schema above is written for SQLite; PostgreSQL gets the same tables with its own words
// for the column kinds. Money stays exact (NUMERIC, never a float), and every table gets the
// `rowid` that SQLite has implicitly, so statements that address rows by rowid run unchanged.
// Where SQLite makes an INTEGER PRIMARY KEY the rowid itself, rowid follows that column.
QString postgresColumns(QString sql)
{
    static const QRegularExpression integer(QStringLiteral("\\bINTEGER\\b"));
    static const QRegularExpression real(QStringLiteral("\\bREAL\\b"));
    sql.replace(integer, QStringLiteral("BIGINT"));
    sql.replace(real, QStringLiteral("NUMERIC(19,4)"));
    return sql;
}

QString postgresSchema(const QString& sql)
{
    if (!sql.startsWith(QLatin1String("CREATE TABLE"))) {
        return sql;
    }
    static const QRegularExpression key(QStringLiteral("(\\w+) INTEGER PRIMARY KEY"));
    QString out = sql;
    // Unique as SQLite's is: rows are addressed by it, and a restore moving the counter must
    // never let a new row take the number of one that is there (an index it also gets).
    QString rowid = QStringLiteral("rowid BIGINT GENERATED BY DEFAULT AS IDENTITY UNIQUE");
    if (const QRegularExpressionMatch m = key.match(out); m.hasMatch()) {
        rowid = QStringLiteral("rowid BIGINT GENERATED ALWAYS AS (%1) STORED").arg(m.captured(1));
        out.replace(m.capturedStart(), m.capturedLength(),
                    m.captured(1) +
                        QStringLiteral(" BIGINT GENERATED BY DEFAULT AS IDENTITY PRIMARY KEY"));
    }
    out.remove(QStringLiteral(" COLLATE NOCASE"));
    out = postgresColumns(out);
    out.chop(1); // the closing parenthesis
    return out + QStringLiteral(", ") + rowid + QLatin1Char(')');
}

// PostgreSQL prepares only these statements; the others (transactions, settings, notices,
// the schema) run as they are, without parameters.
bool preparable(const QString& sql)
{
    static const QRegularExpression first(QStringLiteral("^\\s*(\\w+)"));
    const QString word = first.match(sql).captured(1).toUpper();
    return word == QLatin1String("SELECT") || word == QLatin1String("INSERT") ||
           word == QLatin1String("UPDATE") || word == QLatin1String("DELETE") ||
           word == QLatin1String("WITH") || word == QLatin1String("VALUES");
}

// The key of the advisory lock desks take for administration (any number no desk uses for
// its own liveness lock: desk numbers are small).
constexpr qint64 AdministrationLock = 0x564b41444d494eLL;

const QString ChangedChannel = QStringLiteral("vk_changed");

// Columns added after the first files were written, as (table, column, definition): a file
// that lacks one gets it with its default, so its rows read as they always did.
struct AddedColumn
{
    const char* table;
    const char* column;
    const char* definition;
};
const AddedColumn AddedColumns[] = {
    // The session waits for its password at the workstation; until it has been given the
    // session is not opened, whatever connection its agent comes back on.
    {"terminals", "passwordwait", "INTEGER DEFAULT 0"},
    // Unlocked from Tools without a session: free to use, nothing billed. Every new row (a
    // connection, which is locked first, or the end of a session) starts locked.
    {"online", "unlocked", "INTEGER DEFAULT 0"},
    // Paid in advance: 0 at the end, 1 from a ticket (its code in `ticket`), 2 from a member's
    // credit. `credit` is what the session may deduct at most, `timeup` when it runs out.
    {"terminals", "prepaid", "INTEGER DEFAULT 0"},
    {"terminals", "ticket", "TEXT"},
    {"terminals", "credit", "REAL DEFAULT 0"},
    {"terminals", "timeup", "TEXT"},
    // The ticket a bill was paid from: its money was taken at the ticket's sale.
    {"history", "ticket", "TEXT"},
    // The closed shift a bill belongs to; NULL while its shift is open.
    {"history", "shift", "INTEGER"},
};

} // namespace

bool Database::isAddedColumn(const QString& table, const QString& column)
{
    for (const AddedColumn& c : AddedColumns) {
        if (table == QLatin1String(c.table) && column == QLatin1String(c.column)) {
            return true;
        }
    }
    return false;
}

bool Database::isAddedTable(const QString& table)
{
    return table == QLatin1String("tickets") || table == QLatin1String("shifts");
}

Database::Database(QObject* parent)
    : QObject(parent),
      m_connectionName(QStringLiteral("vk-") + QUuid::createUuid().toString(QUuid::WithoutBraces))
{
}

Database::~Database()
{
    close();
    if (s_instance == this) {
        s_instance = nullptr;
    }
}

Database* Database::instance()
{
    return s_instance;
}

void Database::setInstance(Database* db)
{
    s_instance = db;
}

const QStringList& Database::tableNames()
{
    static const QStringList names{
        QStringLiteral("online"),          QStringLiteral("terminals"),
        QStringLiteral("history"),         QStringLiteral("user_category"),
        QStringLiteral("ratelist"),        QStringLiteral("members"),
        QStringLiteral("transactions"),    QStringLiteral("jobwork"),
        QStringLiteral("jobwork_details"), QStringLiteral("defalt"),
        QStringLiteral("tickets"),         QStringLiteral("shifts")};
    return names;
}

const QStringList& Database::deskTables()
{
    static const QStringList names{QStringLiteral("desks"), QStringLiteral("commands")};
    return names;
}

bool Database::open(const QString& path)
{
    return open(DatabaseTarget::sqlite(path));
}

bool Database::open(const DatabaseTarget& target)
{
    close();
    m_target = target;
    m_path = target.isShared() ? QString() : target.file;
    {
        QSqlDatabase db;
        if (target.isShared()) {
            db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), m_connectionName);
            if (!target.service.isEmpty()) {
                db.setConnectOptions(QStringLiteral("service=") + target.service);
            }
            if (!target.host.isEmpty()) {
                db.setHostName(target.host);
                db.setPort(target.port);
            }
            db.setDatabaseName(target.name);
            db.setUserName(target.user);
            // Given to the driver only: the log names the database by describe().
            db.setPassword(target.password);
            // NUMERIC arrives as its exact text, which Money reads without a float between.
            db.setNumericalPrecisionPolicy(QSql::HighPrecision);
        } else {
            db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
            db.setDatabaseName(target.file);
            // Another console process (a backup copy, a second start) may hold the file
            // briefly.
            db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        }
        if (!db.open()) {
            fail(QStringLiteral("Systryfrom load"), db.lastError().text(), target.describe());
            return false;
        }
        if (target.isShared()) {
            connect(db.driver(), &QSqlDriver::notification, this,
                    [this](const QString& channel, QSqlDriver::NotificationSource source,
                           const QVariant& payload) {
                        if (source != QSqlDriver::OtherSource) {
                            return;
                        }
                        const QString text = payload.toString();
                        if (channel == ChangedChannel) {
                            Q_EMIT tableChanged(text);
                        }
                        Q_EMIT notice(channel, text);
                    });
        }
    }
    if (s_instance == nullptr) {
        s_instance = this;
    }
    if (target.isShared()) {
        // "Already exists, skipping" on every start is no news.
        run(QStringLiteral("SET client_min_messages = warning"));
        if (!createSchema()) {
            return false;
        }
        return listen(ChangedChannel);
    }
    exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    exec(QStringLiteral("PRAGMA synchronous=FULL"));
    exec(QStringLiteral("PRAGMA foreign_keys=OFF"));
    return createSchema();
}

bool Database::createSchema()
{
    const bool shared = isShared();
    return transaction(
        [this, shared] {
            // Two desks starting together would both create the same tables.
            if (shared && !lockAdministration(QStringLiteral("Systryfrom load"))) {
                return false;
            }
            // On PostgreSQL even "IF NOT EXISTS" locks the table before it looks, and a desk
            // starting while another settles would then hold history and wait for terminals
            // while the settlement holds terminals and waits for history: what exists already
            // is not created again.
            const auto exists = [this](const QString& sql) {
                static const QRegularExpression named(QStringLiteral("IF NOT EXISTS (\\w+)"));
                const QRegularExpressionMatch m = named.match(sql);
                return m.hasMatch() &&
                       scalar(QStringLiteral("SELECT to_regclass(CAST(? AS TEXT)) IS NOT NULL"),
                              {m.captured(1)})
                           .toBool();
            };
            for (const char* sql : SchemaSql) {
                const QString text = QString::fromLatin1(sql);
                if (shared && exists(text)) {
                    continue;
                }
                if (!run(shared ? postgresSchema(text) : text)) {
                    return false;
                }
            }
            if (shared) {
                for (const char* sql : PostgresOnlySql) {
                    const QString text = QString::fromLatin1(sql);
                    if (!exists(text) && !run(text)) {
                        return false;
                    }
                }
            }
            for (const AddedColumn& c : AddedColumns) {
                const QString table = QString::fromLatin1(c.table);
                const QString column = QString::fromLatin1(c.column);
                const QVariant has =
                    shared ? scalar(QStringLiteral(
                                        "SELECT count(*) FROM information_schema.columns WHERE "
                                        "table_schema = current_schema() AND table_name = ? "
                                        "AND column_name = ?"),
                                    {table, column.toLower()})
                           : scalar(QStringLiteral(
                                        "SELECT count(*) FROM pragma_table_info(?) WHERE name = ?"),
                                    {table, column});
                if (!has.isValid()) {
                    return false;
                }
                if (has.toLongLong() != 0) {
                    continue;
                }
                const QString definition = QString::fromLatin1(c.definition);
                const QString sql =
                    shared ? QStringLiteral("ALTER TABLE %1 ADD COLUMN IF NOT EXISTS %2 %3")
                                 .arg(table, column, postgresColumns(definition))
                           : QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                                 .arg(table, column, definition);
                if (!run(sql)) {
                    return false;
                }
            }
            const QString entered = QString::fromLatin1(EnteredJobWorkSql);
            if (!run(shared ? postgresColumns(entered) : entered)) {
                return false;
            }
            const QVariant n = scalar(QStringLiteral("SELECT count(*) FROM defalt"));
            if (n.toLongLong() == 0) {
                return run(QStringLiteral("INSERT INTO defalt (billno, printbill, admin, "
                                          "\"user\") VALUES (1, 0, '', '')"));
            }
            return true;
        },
        QStringLiteral("Systryfrom load"));
}

void Database::close()
{
    m_statements.clear();
    m_unprepared.reset();
    if (QSqlDatabase::contains(m_connectionName)) {
        {
            QSqlDatabase db = QSqlDatabase::database(m_connectionName, false);
            if (db.isOpen()) {
                db.close();
            }
        }
        QSqlDatabase::removeDatabase(m_connectionName);
    }
    m_depth = 0;
}

bool Database::isOpen() const
{
    return QSqlDatabase::contains(m_connectionName) &&
           QSqlDatabase::database(m_connectionName, false).isOpen();
}

QSqlDatabase Database::handle() const
{
    return QSqlDatabase::database(m_connectionName, false);
}

void Database::fail(const QString& label, const QString& what, const QString& sql)
{
    m_lastError = what;
    if (m_depth > 0) {
        m_failedInside = true;
    }
    ErrorLog::Error e;
    e.number = -1;
    e.description = what;
    e.source = sql;
    ErrorLog::write(label, e);
}

std::optional<QSqlQuery> Database::exec(const QString& sql, const QVariantList& params,
                                        const QString& label)
{
    if (!isOpen()) {
        fail(label, QStringLiteral("The database is not open"), sql);
        return std::nullopt;
    }
    QSqlQuery q(handle());
    q.setForwardOnly(forwardOnly());
    if (!q.prepare(sql)) {
        fail(label, q.lastError().text(), sql);
        return std::nullopt;
    }
    for (const QVariant& p : params) {
        q.addBindValue(p);
    }
    if (!q.exec()) {
        fail(label, q.lastError().text(), sql);
        return std::nullopt;
    }
    return q;
}

QSqlQuery* Database::cached(const QString& sql, const QVariantList& params, const QString& label)
{
    if (!isOpen()) {
        fail(label, QStringLiteral("The database is not open"), sql);
        return nullptr;
    }
    const bool shared = isShared();
    if (shared && !preparable(sql)) {
        if (!params.isEmpty()) {
            fail(label, QStringLiteral("This statement takes no parameters"), sql);
            return nullptr;
        }
        m_unprepared.emplace(handle());
        if (!m_unprepared->exec(sql)) {
            const QString error = m_unprepared->lastError().text();
            m_unprepared.reset();
            fail(label, error, sql);
            return nullptr;
        }
        return &*m_unprepared;
    }
    auto it = m_statements.find(sql);
    if (it == m_statements.end()) {
        if (m_statements.size() >= MaxCachedStatements) {
            m_statements.clear();
        }
        QSqlQuery q(handle());
        q.setForwardOnly(forwardOnly());
        if (!q.prepare(sql)) {
            fail(label, q.lastError().text(), sql);
            return nullptr;
        }
        it = m_statements.emplace(sql, std::move(q)).first;
    }
    QSqlQuery& q = it->second;
    for (qsizetype i = 0; i < params.size(); ++i) {
        const QVariant& p = params.at(i);
        // PostgreSQL takes no true or false for the whole-number flags they are stored as.
        q.bindValue(int(i), shared && p.typeId() == QMetaType::Bool ? QVariant(p.toInt()) : p);
    }
    if (!q.exec()) {
        const QString error = q.lastError().text();
        q.finish();
        fail(label, error, sql);
        return nullptr;
    }
    return &q;
}

qint64 Database::change(const QString& sql, const QVariantList& params, const QString& label)
{
    QSqlQuery* q = cached(sql, params, label);
    if (q == nullptr) {
        return -1;
    }
    const qint64 n = q->numRowsAffected();
    q->finish();
    return n;
}

qint64 Database::insert(const QString& sql, const QVariantList& params, const QString& label)
{
    if (isShared()) {
        return scalar(sql + QStringLiteral(" RETURNING rowid"), params, label).toLongLong();
    }
    QSqlQuery* q = cached(sql, params, label);
    if (q == nullptr) {
        return 0;
    }
    const qint64 id = q->lastInsertId().toLongLong();
    q->finish();
    return id;
}

bool Database::forwardOnly() const
{
    // PostgreSQL's driver reads a forward-only result row by row from the connection and
    // drops what is left unread when the next statement runs: a caller going through the
    // rows of exec() while it writes would lose them. Its results are read whole instead.
    return !isShared();
}

bool Database::run(const QString& sql, const QVariantList& params, const QString& label)
{
    QSqlQuery* q = cached(sql, params, label);
    if (q == nullptr) {
        return false;
    }
    q->finish();
    return true;
}

QList<QSqlRecord> Database::rows(const QString& sql, const QVariantList& params,
                                 const QString& label)
{
    QList<QSqlRecord> out;
    QSqlQuery* q = cached(sql, params, label);
    if (q == nullptr) {
        return out;
    }
    while (q->next()) {
        out.append(q->record());
    }
    q->finish();
    return out;
}

std::optional<QSqlRecord> Database::firstRow(const QString& sql, const QVariantList& params,
                                             const QString& label)
{
    QSqlQuery* q = cached(sql, params, label);
    if (q == nullptr) {
        return std::nullopt;
    }
    std::optional<QSqlRecord> r;
    if (q->next()) {
        r = q->record();
    }
    q->finish();
    return r;
}

QVariant Database::scalar(const QString& sql, const QVariantList& params, const QString& label)
{
    QSqlQuery* q = cached(sql, params, label);
    if (q == nullptr) {
        return {};
    }
    QVariant v;
    if (q->next()) {
        v = q->value(0);
    }
    q->finish();
    return v;
}

bool Database::transaction(const std::function<bool()>& work, const QString& label)
{
    if (m_depth > 0) {
        // Joined: the outer call decides; a failure here makes the whole unit fail.
        ++m_depth;
        const bool ok = work();
        --m_depth;
        if (!ok) {
            m_failedInside = true;
        }
        return ok;
    }
    // A file is taken for writing at once, so two writers never both wait to upgrade their
    // read; PostgreSQL locks rows as they are written (read committed).
    if (!run(isShared() ? QStringLiteral("BEGIN") : QStringLiteral("BEGIN IMMEDIATE"), {}, label)) {
        return false;
    }
    m_depth = 1;
    m_failedInside = false;
    bool ok = false;
    try {
        ok = work();
    } catch (...) {
        ok = false;
    }
    ok = ok && !m_failedInside;
    m_depth = 0;
    if (ok && run(QStringLiteral("COMMIT"), {}, label)) {
        const QStringList changed = m_pendingChanges;
        m_pendingChanges.clear();
        for (const QString& t : changed) {
            Q_EMIT tableChanged(t);
        }
        return true;
    }
    run(QStringLiteral("ROLLBACK"), {}, label);
    m_pendingChanges.clear();
    return false;
}

void Database::notifyChanged(const QString& table)
{
    // Inside a transaction PostgreSQL sends the notice at the commit, or drops it.
    publish(ChangedChannel, table);
    if (m_depth > 0) {
        if (!m_pendingChanges.contains(table)) {
            m_pendingChanges.append(table);
        }
        return;
    }
    Q_EMIT tableChanged(table);
}

bool Database::lockAdministration(const QString& label)
{
    if (!isShared()) {
        return true;
    }
    return run(QStringLiteral("SELECT pg_advisory_xact_lock(?)"), {AdministrationLock}, label);
}

bool Database::listen(const QString& channel)
{
    if (!isShared()) {
        return true;
    }
    QSqlDriver* driver = handle().driver();
    if (driver == nullptr) {
        return false;
    }
    if (driver->subscribedToNotifications().contains(channel)) {
        return true;
    }
    if (!driver->subscribeToNotification(channel)) {
        fail(QStringLiteral("Database"), driver->lastError().text(),
             QStringLiteral("LISTEN ") + channel);
        return false;
    }
    return true;
}

void Database::publish(const QString& channel, const QString& payload)
{
    if (isShared()) {
        run(QStringLiteral("SELECT pg_notify(?, ?)"), {channel, payload});
    }
}

void Database::setQuickCommits(bool on)
{
    if (isShared()) {
        run(on ? QStringLiteral("SET synchronous_commit = off")
               : QStringLiteral("SET synchronous_commit = on"));
    } else {
        run(on ? QStringLiteral("PRAGMA synchronous=NORMAL")
               : QStringLiteral("PRAGMA synchronous=FULL"));
    }
}

QString Database::timeText(const QDateTime& t)
{
    return t.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
}

QString Database::dayText(const QDate& d)
{
    return d.toString(QStringLiteral("yyyy-MM-dd")) + QStringLiteral(" 00:00:00");
}

QDateTime Database::parseTime(const QVariant& v)
{
    if (!v.isValid() || v.isNull()) {
        return {};
    }
    const QString s = v.toString().trimmed();
    // Each conversion of a local time makes the C library read the zone file again, and a
    // prepaid login or log off reads the same few stored times several times over: the
    // times already read are kept (per thread; emptied when many).
    static thread_local QHash<QString, QDateTime> known;
    if (const auto it = known.constFind(s); it != known.cend()) {
        return *it;
    }
    if (known.size() >= 4096) {
        known.clear();
    }
    const QDateTime t = parseTimeText(s);
    known.insert(s, t);
    return t;
}

QDateTime Database::parseTimeText(const QString& s)
{
    QDateTime t = QDateTime::fromString(s, QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    if (!t.isValid()) {
        t = QDateTime::fromString(s, Qt::ISODate);
    }
    if (!t.isValid()) {
        const QDate d = QDate::fromString(s, QStringLiteral("yyyy-MM-dd"));
        if (d.isValid()) {
            t = d.startOfDay();
        }
    }
    return t;
}
