// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/core/databasetarget.h"
#include "support/testhome.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QUuid>

// The database a test's console runs on. By default the SQLite file server.db in the test's
// home. With VK_TEST_DATABASE=postgres (the tests registered as <name>_pg), a PostgreSQL
// database of the test cluster named after the test program (VK_TEST_PG_DIR names the
// cluster's folder, see pgcluster.sh), emptied by every call so each test starts on empty
// tables as it would on a new file; it is also written into the home's settings, so console
// processes the test starts run on it too. Header-only, as it needs the server's database
// target, which the support library does not link.

namespace testdb {

// KEY=VALUE lines pgcluster.sh wrote.
inline QHash<QString, QString> clusterConnection()
{
    const QString dir = qEnvironmentVariable("VK_TEST_PG_DIR");
    QFile f(dir + QStringLiteral("/connection"));
    if (dir.isEmpty() || !f.open(QIODevice::ReadOnly)) {
        qFatal("VK_TEST_DATABASE=postgres needs VK_TEST_PG_DIR naming a running pgcluster.sh "
               "folder (got \"%s\")",
               qPrintable(dir));
    }
    QHash<QString, QString> values;
    for (const QByteArray& line : f.readAll().split('\n')) {
        const qsizetype eq = line.indexOf('=');
        if (eq > 0) {
            values.insert(QString::fromUtf8(line.left(eq)), QString::fromUtf8(line.mid(eq + 1)));
        }
    }
    return values;
}

// Runs statements on a connection of its own; stops the test at the first failure.
inline void runAs(const DatabaseTarget& t, const QStringList& statements)
{
    const QString name = QStringLiteral("vk-test-") + QUuid::createUuid().toString();
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), name);
        db.setHostName(t.host);
        db.setPort(t.port);
        db.setDatabaseName(t.name);
        db.setUserName(t.user);
        if (!db.open()) {
            qFatal("test database %s: %s", qPrintable(t.describe()),
                   qPrintable(db.lastError().text()));
        }
        QSqlQuery(db).exec(QStringLiteral("SET client_min_messages = warning"));
        for (const QString& sql : statements) {
            QSqlQuery q(db);
            if (!q.exec(sql)) {
                qFatal("test database %s: %s: %s", qPrintable(t.describe()), qPrintable(sql),
                       qPrintable(q.lastError().text()));
            }
        }
    }
    QSqlDatabase::removeDatabase(name);
}

} // namespace testdb

inline bool testOnPostgres()
{
    return qEnvironmentVariable("VK_TEST_DATABASE") == QLatin1String("postgres");
}

// The same for a console whose home is `folder` (its settings file is written there).
inline DatabaseTarget testDatabaseTarget(const QString& folder)
{
    DatabaseTarget t = DatabaseTarget::sqlite(folder + QStringLiteral("/server.db"));
    if (!testOnPostgres()) {
        return t;
    }
    const QHash<QString, QString> c = testdb::clusterConnection();
    t.kind = DatabaseTarget::Kind::PostgreSQL;
    t.file.clear();
    t.host = c.value(QStringLiteral("HOST"));
    t.port = c.value(QStringLiteral("PORT")).toInt();
    t.user = c.value(QStringLiteral("USER"));
    t.name = c.value(QStringLiteral("DATABASE"));

    static bool created = false;
    const QString own = QFileInfo(QCoreApplication::applicationFilePath()).baseName().toLower();
    if (!created) {
        // Sorted as SQLite sorts text: byte by byte.
        testdb::runAs(t, {QStringLiteral("DROP DATABASE IF EXISTS %1 WITH (FORCE)").arg(own),
                          QStringLiteral("CREATE DATABASE %1 TEMPLATE template0 ENCODING 'UTF8' "
                                         "LC_COLLATE 'C' LC_CTYPE 'C'")
                              .arg(own)});
        created = true;
    }
    t.name = own;
    testdb::runAs(t, {QStringLiteral("DROP SCHEMA IF EXISTS public CASCADE"),
                      QStringLiteral("CREATE SCHEMA public"),
                      QStringLiteral("GRANT ALL ON SCHEMA public TO PUBLIC")});
    t.save(folder + QStringLiteral("/vantirokit.conf"));
    return t;
}

inline DatabaseTarget testDatabaseTarget(const TestHome& home)
{
    return testDatabaseTarget(home.path());
}
