// SPDX-License-Identifier: Apache-2.0
#include "server/core/billbalance.h"

BillBalance BillBalance::of(Money net, Money received)
{
    BillBalance b;
    if (net > received) {
        b.kind = Kind::Due;
        b.amount = net - received;
    } else if (received > net) {
        b.kind = Kind::Change;
        b.amount = received - net;
    }
    return b;
}

QString BillBalance::caption() const
{
    return kind == Kind::Change ? QStringLiteral("Change") : QStringLiteral("Balance Due");
}
