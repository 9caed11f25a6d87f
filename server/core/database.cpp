// SPDX-License-Identifier: Apache-2.0
#include "server/core/database.h"

#include "common/errorlog.h"

#include <QHash>
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
    "send TEXT, user TEXT, memberid TEXT, Password TEXT, amtreceived REAL DEFAULT 0, "
    "logout INTEGER DEFAULT 0, logouttime REAL DEFAULT 0, logouttype INTEGER DEFAULT 0, "
    "maintains INTEGER DEFAULT 0, AUTOLOGOUT INTEGER DEFAULT 0, restartcnt REAL DEFAULT 0, "
    "passwordwait INTEGER DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS history (billno INTEGER, sstart TEXT, send TEXT, terminal TEXT, "
    "cip TEXT, user TEXT, memberid TEXT, duration TEXT, charge REAL DEFAULT 0, otheramt REAL, "
    "netamount REAL DEFAULT 0, received REAL DEFAULT 0)",
    "CREATE TABLE IF NOT EXISTS user_category (user TEXT PRIMARY KEY COLLATE NOCASE, "
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
    "user TEXT)",
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
};

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

bool Database::open(const QString& path)
{
    close();
    m_path = path;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), m_connectionName);
        db.setDatabaseName(path);
        // Another console process (a backup copy, a second start) may hold the file briefly.
        db.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            fail(QStringLiteral("Systryfrom load"), db.lastError().text(), QString());
            return false;
        }
    }
    if (s_instance == nullptr) {
        s_instance = this;
    }
    exec(QStringLiteral("PRAGMA journal_mode=WAL"));
    exec(QStringLiteral("PRAGMA synchronous=FULL"));
    exec(QStringLiteral("PRAGMA foreign_keys=OFF"));
    return createSchema();
}

bool Database::createSchema()
{
    return transaction(
        [this] {
            for (const char* sql : SchemaSql) {
                if (!run(QString::fromLatin1(sql))) {
                    return false;
                }
            }
            for (const AddedColumn& c : AddedColumns) {
                const QString table = QString::fromLatin1(c.table);
                const QString column = QString::fromLatin1(c.column);
                const QVariant has = scalar(
                    QStringLiteral("SELECT count(*) FROM pragma_table_info(?) WHERE name = ?"),
                    {table, column});
                if (!has.isValid()) {
                    return false;
                }
                if (has.toLongLong() == 0 &&
                    !run(QStringLiteral("ALTER TABLE %1 ADD COLUMN %2 %3")
                             .arg(table, column, QString::fromLatin1(c.definition)))) {
                    return false;
                }
            }
            const QVariant n = scalar(QStringLiteral("SELECT count(*) FROM defalt"));
            if (n.toLongLong() == 0) {
                return run(QStringLiteral(
                    "INSERT INTO defalt (billno, printbill, admin, user) VALUES (1, 0, '', '')"));
            }
            return true;
        },
        QStringLiteral("Systryfrom load"));
}

void Database::close()
{
    m_statements.clear();
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
    q.setForwardOnly(true);
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
    auto it = m_statements.find(sql);
    if (it == m_statements.end()) {
        if (m_statements.size() >= MaxCachedStatements) {
            m_statements.clear();
        }
        QSqlQuery q(handle());
        q.setForwardOnly(true);
        if (!q.prepare(sql)) {
            fail(label, q.lastError().text(), sql);
            return nullptr;
        }
        it = m_statements.emplace(sql, std::move(q)).first;
    }
    QSqlQuery& q = it->second;
    for (qsizetype i = 0; i < params.size(); ++i) {
        q.bindValue(int(i), params.at(i));
    }
    if (!q.exec()) {
        const QString error = q.lastError().text();
        q.finish();
        fail(label, error, sql);
        return nullptr;
    }
    return &q;
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
    if (!run(QStringLiteral("BEGIN IMMEDIATE"), {}, label)) {
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
    if (m_depth > 0) {
        if (!m_pendingChanges.contains(table)) {
            m_pendingChanges.append(table);
        }
        return;
    }
    Q_EMIT tableChanged(table);
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
