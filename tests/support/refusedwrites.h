// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/core/database.h"

#include <QSqlError>
#include <QSqlQuery>
#include <QString>
#include <QtTest>

// Makes the database refuse writes to `table` with `message`, as a full disk or a lost server
// would, on either kind of database: `event` is INSERT, UPDATE or DELETE; `when`, if given,
// picks the refused rows (SQL over NEW / OLD, read the same by both). Returns false (with the
// reason as a test warning) when the refusal could not be put in place. Header-only for the
// same reason as testdatabase.h.
inline bool refuseWrites(Database& db, const QString& event, const QString& table,
                         const QString& message, const QString& when = {})
{
    const QString name = QStringLiteral("refuse_") + table;
    const QString quoted = QString(message).replace(QLatin1Char('\''), QStringLiteral("''"));
    QStringList sql;
    if (db.isShared()) {
        sql << QStringLiteral("CREATE OR REPLACE FUNCTION %1() RETURNS trigger LANGUAGE plpgsql "
                              "AS $$ BEGIN RAISE EXCEPTION '%2'; END $$")
                   .arg(name, quoted)
            << QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 FOR EACH ROW %4 EXECUTE "
                              "FUNCTION %1()")
                   .arg(name, event, table,
                        when.isEmpty() ? QString() : QStringLiteral("WHEN (%1)").arg(when));
    } else {
        sql << QStringLiteral("CREATE TRIGGER %1 BEFORE %2 ON %3 %4 BEGIN SELECT RAISE(ABORT, "
                              "'%5'); END")
                   .arg(name, event, table,
                        when.isEmpty() ? QString() : QStringLiteral("WHEN %1").arg(when), quoted);
    }
    // Straight to the connection: PostgreSQL prepares no CREATE FUNCTION.
    for (const QString& s : sql) {
        QSqlQuery q(db.handle());
        if (!q.exec(s)) {
            qWarning("%s: %s", qPrintable(s), qPrintable(q.lastError().text()));
            return false;
        }
    }
    return true;
}
