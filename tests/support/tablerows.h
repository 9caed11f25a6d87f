// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/core/database.h"

#include <QSqlRecord>
#include <QStringList>

// The rows a query returns, each as its values joined by '|' (NULL as nothing), so that whole
// rows or tables are compared at once. Header-only: the support library does not link the
// server's database.
inline QStringList rowsText(Database& db, const QString& sql, const QVariantList& params = {})
{
    QStringList out;
    for (const QSqlRecord& r : db.rows(sql, params)) {
        QStringList cells;
        for (int i = 0; i < r.count(); ++i) {
            cells << r.value(i).toString();
        }
        out << cells.join(u'|');
    }
    return out;
}
