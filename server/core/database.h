// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/core/databasetarget.h"

#include <QDate>
#include <QDateTime>
#include <QObject>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QVariant>

#include <functional>
#include <optional>
#include <unordered_map>

// The console's one connection to its database: its own SQLite file, or a PostgreSQL database
// shared by several desks. Every statement goes through here with bound parameters; failures
// are written to the error log under the caller's label and never stop the program. Writes
// that belong together go through transaction(). Whatever SQL differs between the two kinds
// lives in this class and nowhere else: the rest of the console writes one SQL for both.
class Database : public QObject
{
    Q_OBJECT
public:
    explicit Database(QObject* parent = nullptr);
    ~Database() override;

    // The one instance the console runs with (set by whoever opens it first).
    static Database* instance();
    static void setInstance(Database* db);

    // Opens (creating when missing) the file and its tables and the single defaults row.
    bool open(const QString& path);
    // The same for either kind of database; the tables are created on first use.
    bool open(const DatabaseTarget& target);
    const DatabaseTarget& target() const { return m_target; }
    // Several desks write to it (PostgreSQL): bill numbers, lists and liveness are shared.
    bool isShared() const { return m_target.isShared(); }
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }
    QSqlDatabase handle() const;
    QString lastError() const { return m_lastError; }

    // Runs one statement; nullopt on failure (logged under `label`).
    std::optional<QSqlQuery> exec(const QString& sql, const QVariantList& params = {},
                                  const QString& label = QStringLiteral("Database"));
    // Runs a statement that changes rows and returns how many it changed; -1 on failure. What
    // another desk may have changed meanwhile is claimed this way: 0 rows means it is gone.
    qint64 change(const QString& sql, const QVariantList& params = {},
                  const QString& label = QStringLiteral("Database"));
    // Runs an INSERT and returns the rowid of the new row; 0 on failure.
    qint64 insert(const QString& sql, const QVariantList& params = {},
                  const QString& label = QStringLiteral("Database"));
    // Runs a statement that changes rows; false on failure.
    bool run(const QString& sql, const QVariantList& params = {},
             const QString& label = QStringLiteral("Database"));
    // All rows of a query (empty on failure).
    QList<QSqlRecord> rows(const QString& sql, const QVariantList& params = {},
                           const QString& label = QStringLiteral("Database"));
    std::optional<QSqlRecord> firstRow(const QString& sql, const QVariantList& params = {},
                                       const QString& label = QStringLiteral("Database"));
    // First column of the first row, or an invalid QVariant.
    QVariant scalar(const QString& sql, const QVariantList& params = {},
                    const QString& label = QStringLiteral("Database"));

    // Runs `work` inside one write transaction; commits when it returns true, rolls back
    // otherwise or when the commit fails. Nested calls join the outer transaction.
    bool transaction(const std::function<bool()>& work,
                     const QString& label = QStringLiteral("Database"));
    bool inTransaction() const { return m_depth > 0; }

    // Tells every list over the table that its rows changed (after a commit when inside a
    // transaction), on this desk and, on a shared database, on every other desk.
    void notifyChanged(const QString& table);

    // Inside a transaction: waits for and then holds, until the commit, the one lock the desks
    // take for administration that would surprise another desk (housekeeping, the next bill
    // number, tariffs). Nothing to take on a file of one desk's own.
    bool lockAdministration(const QString& label = QStringLiteral("Database"));
    // Notices between desks on a shared database (no-ops on a file of one desk's own): after
    // listen(), notices published by other desks on that channel arrive as notice(). Published
    // inside a transaction, a notice is sent when it commits and dropped when it rolls back.
    bool listen(const QString& channel);
    void publish(const QString& channel, const QString& payload);
    // Commits that the console may lose on a power cut without harm (rows rebuilt by the
    // agents' reconnections) skip waiting for the disk while this is on.
    void setQuickCommits(bool on);

    // Stored forms of dates: local time "yyyy-MM-dd HH:mm:ss"; a day alone is its first moment.
    static QString timeText(const QDateTime& t);
    static QString dayText(const QDate& d);
    static QDateTime parseTime(const QVariant& v);

    // The cafe's data tables: what backups, restores and housekeeping go through.
    static const QStringList& tableNames();
    // The tables through which the desks sharing a database find each other and pass
    // commands on. Not cafe data: they are about the consoles running now, so they are kept
    // apart from tableNames() (created on both kinds of database, empty on a file).
    static const QStringList& deskTables();
    // A column later versions added: a file without it gets it when it is opened.
    static bool isAddedColumn(const QString& table, const QString& column);
    // A table later versions added: a file without it (an older backup) gets it, empty, when
    // it is opened.
    static bool isAddedTable(const QString& table);

Q_SIGNALS:
    void tableChanged(const QString& table);
    // A notice another desk published on a channel this one listens to.
    void notice(const QString& channel, const QString& payload);

private:
    bool createSchema();
    bool forwardOnly() const;
    void fail(const QString& label, const QString& what, const QString& sql);
    static QDateTime parseTimeText(const QString& s);
    // Runs one statement from the cache of prepared statements (run, rows, firstRow and
    // scalar read their result at once and then release it with finish()).
    QSqlQuery* cached(const QString& sql, const QVariantList& params, const QString& label);

    // The console sends the same few statements again and again; parsing each anew cost more
    // than running it. Emptied when full (a few statements are built with values in them) and
    // when the connection closes.
    static constexpr size_t MaxCachedStatements = 256;
    std::unordered_map<QString, QSqlQuery> m_statements;
    // The last statement PostgreSQL cannot prepare (BEGIN, SET, the schema): run as it is.
    std::optional<QSqlQuery> m_unprepared;

    QString m_connectionName;
    DatabaseTarget m_target;
    QString m_path;
    QString m_lastError;
    int m_depth = 0;
    bool m_failedInside = false;
    QStringList m_pendingChanges;
    static Database* s_instance;
};
