// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"

#include <QString>

// What stands between the customer and the cafe once a bill is paid. The net amount is what
// the bill asks (the charge and the other amount, or the net the cashier typed) and the
// received amount is what was paid towards it; the member's ledger books the same two, the
// net as a debit and the received amount as a credit. So the customer still owes the net less
// the received amount, or has paid that much too much and gets it back as change.
struct BillBalance
{
    enum class Kind
    {
        Settled,
        Due,
        Change
    };

    Kind kind = Kind::Settled;
    Money amount; // never negative

    static BillBalance of(Money net, Money received);

    // "Balance Due" while something is owed, otherwise "Change".
    QString caption() const;
};
