// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/membercredit.h"

#include "common/clock.h"
#include "server/accounts/consolesettings.h"
#include "server/core/claims.h"
#include "server/core/database.h"

namespace {
const QString Label = QStringLiteral("frmmember cmdtopup_Click");
}

MemberCredit::MemberCredit(Database& db, const QString& settingsFile)
    : m_db(db), m_settingsFile(settingsFile)
{
}

Money MemberCredit::balance(const QString& id) const
{
    const auto r = m_db.firstRow(
        QStringLiteral("SELECT coalesce(ob, 0), (SELECT coalesce(sum(coalesce(credit, 0)) - "
                       "sum(coalesce(debit, 0)), 0) FROM transactions WHERE memberid = ?) FROM "
                       "members WHERE memberid = ?"),
        {id, id}, Label);
    if (!r) {
        return {};
    }
    return Money::fromVariant(r->value(0)) + Money::fromVariant(r->value(1));
}

bool MemberCredit::topUp(const QString& id, Money amount, QString* error)
{
    auto refuse = [error](const QString& why) {
        if (error != nullptr) {
            *error = why;
        }
        return false;
    };
    if (amount <= Money()) {
        return refuse(QStringLiteral("Please Enter Amount"));
    }
    // Held, not just looked up: a ledger saved meanwhile at another desk sees this entry.
    const qint64 held = Claims::member(m_db, id, Label);
    if (held == 0) {
        return refuse(QStringLiteral("Customer ID Not Found"));
    }
    if (held < 0 ||
        !m_db.run(QStringLiteral("INSERT INTO transactions (memberid, Date, part, credit, debit) "
                                 "VALUES (?, ?, ?, ?, NULL)"),
                  {id, Database::timeText(Clock::now()), TopUpPart, amount.toVariant()}, Label)) {
        return refuse(QStringLiteral("The top-up could not be saved."));
    }
    m_db.notifyChanged(QStringLiteral("transactions"));
    return true;
}

Money MemberCredit::minimum() const
{
    return ConsoleSettings(m_settingsFile).prepaidMinimum();
}
