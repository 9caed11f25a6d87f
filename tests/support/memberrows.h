// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"
#include "server/core/database.h"

#include <QtTest>

// A member and the member's ledger entries written as the console stores them, for the tests
// that start from an account with history. Header-only: it needs the server's database.
namespace MemberRows {

inline void addMember(Database& db, const QString& id, const QString& name, const QString& ob = {},
                      const QString& address1 = {}, const QString& address2 = {})
{
    QVERIFY(db.run(QStringLiteral("INSERT INTO members (memberid, name, ob, address1, address2) "
                                  "VALUES (?, ?, ?, ?, ?)"),
                   {id, name, Money::parse(ob).toVariant(), address1, address2}));
}

// Amounts as typed ("12.25"), stored exactly; "" is none.
inline void addEntry(Database& db, const QString& id, const QString& date, const QString& part,
                     const QString& credit, const QString& debit = {})
{
    QVERIFY(db.run(
        QStringLiteral("INSERT INTO transactions (memberid, Date, part, credit, debit) "
                       "VALUES (?, ?, ?, ?, ?)"),
        {id, date, part, Money::parse(credit).toVariant(), Money::parse(debit).toVariant()}));
}

} // namespace MemberRows
