// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/core/database.h"
#include "server/prepaid/ticketstore.h"

#include <QtTest>

// What prepaid time must never break, however its sessions ran or raced: each ticket is worth
// its credit plus what its sessions' bills took, and each member's bill is debited once, by its
// net amount. Header-only: only tests that link the prepaid library use it.
inline void checkPrepaidBooks(Database& db, int digits = 2)
{
    for (const Ticket& t : TicketStore(db, digits).list()) {
        const Money billed = Money::fromVariant(db.scalar(
            QStringLiteral("SELECT coalesce(sum(netamount), 0) FROM history WHERE ticket = ?"),
            {t.code}));
        QCOMPARE(t.value, t.credit + billed);
    }
    QCOMPARE(db.scalar(QStringLiteral("SELECT count(*) FROM history h WHERE h.memberid IS NOT "
                                      "NULL AND (SELECT count(*) FROM transactions x WHERE "
                                      "x.memberid = h.memberid AND x.part = 'By Bill No ' || "
                                      "h.billno AND x.debit = coalesce(h.netamount, 0)) <> 1"))
                 .toInt(),
             0);
}
