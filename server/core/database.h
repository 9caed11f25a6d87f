// SPDX-License-Identifier: Apache-2.0
#pragma once

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

// The console's one connection to its database file. Every statement goes through here with
// bound parameters; failures are written to the error log under the caller's label and never
// stop the program. Writes that belong together go through transaction().
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
    void close();
    bool isOpen() const;
    QString path() const { return m_path; }
    QSqlDatabase handle() const;
    QString lastError() const { return m_lastError; }

    // Runs one statement; nullopt on failure (logged under `label`).
    std::optional<QSqlQuery> exec(const QString& sql, const QVariantList& params = {},
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
    // transaction).
    void notifyChanged(const QString& table);

    // Stored forms of dates: local time "yyyy-MM-dd HH:mm:ss"; a day alone is its first moment.
    static QString timeText(const QDateTime& t);
    static QString dayText(const QDate& d);
    static QDateTime parseTime(const QVariant& v);

    static const QStringList& tableNames();
    // A column later versions added: a file without it gets it when it is opened.
    static bool isAddedColumn(const QString& table, const QString& column);
    // A table later versions added: a file without it (an older backup) gets it, empty, when
    // it is opened.
    static bool isAddedTable(const QString& table);

Q_SIGNALS:
    void tableChanged(const QString& table);

private:
    bool createSchema();
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

    QString m_connectionName;
    QString m_path;
    QString m_lastError;
    int m_depth = 0;
    bool m_failedInside = false;
    QStringList m_pendingChanges;
    static Database* s_instance;
};
