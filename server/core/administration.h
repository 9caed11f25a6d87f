// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/core/databasetarget.h"

#include <QString>

class Database;

// Changes that would surprise the cashier of another desk (housekeeping, the next bill number,
// the tariffs) are made one at a time across the desks, and every other desk's message log
// says which desk made them.
namespace Administration {

// Inside the change's transaction: waits for the desks' administration lock, holds it until
// the commit, and has "<desk>: <what>" sent to the other desks when the change commits.
// Nothing to wait for on a database of one console's own.
bool begin(Database& db, const QString& what, const QString& label);

// The notice channel the other desks follow.
inline const QString Channel = QStringLiteral("vk_admin");

// This console's name among the desks.
QString deskName(const Database& db);
QString deskName(const DatabaseTarget& target);

} // namespace Administration
