// SPDX-License-Identifier: Apache-2.0
#include "server/core/administration.h"

#include "platform/hostinfo.h"
#include "server/core/database.h"

namespace Administration {

QString deskName(const Database& db)
{
    return deskName(db.target());
}

QString deskName(const DatabaseTarget& target)
{
    return target.desk.isEmpty() ? HostInfo::hostName() : target.desk;
}

bool begin(Database& db, const QString& what, const QString& label)
{
    if (!db.lockAdministration(label)) {
        return false;
    }
    if (db.isShared()) {
        db.publish(Channel, deskName(db) + QStringLiteral(": ") + what);
    }
    return true;
}

} // namespace Administration
