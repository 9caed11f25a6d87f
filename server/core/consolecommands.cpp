// SPDX-License-Identifier: Apache-2.0
#include "server/core/consolecommands.h"

#include "server/core/database.h"

namespace {

bool isEmpty(Database& db, const QString& table)
{
    // A failed count reads as empty: the window would have nothing to offer either way.
    const QVariant n = db.scalar(QStringLiteral("SELECT count(*) FROM ") + table);
    return !n.isValid() || n.toLongLong() == 0;
}

} // namespace

QString ConsoleCommands::startSessionRefusal(Database& db)
{
    return isEmpty(db, QStringLiteral("online")) ? QStringLiteral("Ready Terminal Not Found")
                                                 : QString();
}

QString ConsoleCommands::endSessionRefusal(Database& db)
{
    // Only this desk's own entries: another desk may be in the middle of its settlement.
    db.run(QStringLiteral("DELETE FROM jobwork_entered"));
    return isEmpty(db, QStringLiteral("terminals")) ? QStringLiteral("Login Terminal Not Found")
                                                    : QString();
}

QString ConsoleCommands::transferRefusal(Database& db)
{
    if (isEmpty(db, QStringLiteral("terminals"))) {
        return QStringLiteral("Login Terminal Not Found");
    }
    if (isEmpty(db, QStringLiteral("online"))) {
        return QStringLiteral(" Ready Terminal Not Found");
    }
    return {};
}

QString ConsoleCommands::toolsRefusal(Database& db)
{
    return isEmpty(db, QStringLiteral("online")) ? QStringLiteral("Login Terminal Not Found")
                                                 : QString();
}
