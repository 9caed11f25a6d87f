// SPDX-License-Identifier: Apache-2.0
#include "server/core/claims.h"

#include "server/core/database.h"

namespace Claims {

bool session(Database& db, qint64 rowid, const QString& label)
{
    return db.change(QStringLiteral("UPDATE terminals SET cid = cid WHERE rowid = ?"), {rowid},
                     label) > 0;
}

qint64 member(Database& db, const QString& id, const QString& label)
{
    const qint64 n = db.change(
        QStringLiteral("UPDATE members SET memberid = memberid WHERE memberid = ?"), {id}, label);
    return n < 0 ? -1 : (n > 0 ? 1 : 0);
}

qint64 ticket(Database& db, const QString& code, const QString& label)
{
    const qint64 n = db.change(QStringLiteral("UPDATE tickets SET voided = voided WHERE code = ?"),
                               {code}, label);
    return n < 0 ? -1 : (n > 0 ? 1 : 0);
}

bool billNumbers(Database& db, const QString& label)
{
    return db.change(QStringLiteral("UPDATE defalt SET billno = billno"), {}, label) > 0;
}

} // namespace Claims
