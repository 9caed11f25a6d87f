// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"

#include <QString>

class Database;

// A member's prepaid credit is the ledger balance: opening balance plus credits less debits.
// A top-up is a ledger credit line like a payment; a session's bill is its debit.
class MemberCredit
{
public:
    static inline const QString TopUpPart = QStringLiteral("Top-up");

    explicit MemberCredit(Database& db, const QString& settingsFile = {});

    Money balance(const QString& id) const;
    // One ledger credit line; refused for an unknown member or an amount not above zero.
    bool topUp(const QString& id, Money amount, QString* error);
    // The balance a member must have above to log in (options: the member minimum).
    Money minimum() const;

private:
    Database& m_db;
    QString m_settingsFile;
};
