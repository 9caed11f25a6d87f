// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/ticketstore.h"

#include "common/clock.h"
#include "server/core/claims.h"
#include "server/core/database.h"
#include "server/prepaid/ticketcodes.h"
#include "server/sessions/charge.h"
#include "server/sessions/sessionservice.h"

#include <QSqlRecord>

namespace {

const QString Label = QStringLiteral("frmtickets cmdcreate_Click");

const QString TicketColumns = QStringLiteral(
    "t.code, t.category, t.value, t.credit, t.minutes, t.sold, t.expires, t.lastuse, t.voided, "
    "t.billno, (SELECT terminal FROM terminals WHERE prepaid = 1 AND ticket = t.code LIMIT 1)");

Ticket ticketFrom(const QSqlRecord& r)
{
    Ticket t;
    t.code = r.value(0).toString();
    t.category = r.value(1).toString();
    t.value = Money::fromVariant(r.value(2));
    t.credit = Money::fromVariant(r.value(3));
    t.minutes = r.value(4).toLongLong();
    t.sold = Database::parseTime(r.value(5));
    t.expires = Database::parseTime(r.value(6)).date();
    t.lastUse = Database::parseTime(r.value(7));
    t.voided = r.value(8).toLongLong() != 0;
    t.billno = r.value(9).toLongLong();
    t.terminal = r.value(10).toString();
    return t;
}

} // namespace

const QString TicketStore::InUseError =
    QStringLiteral("This ticket is in use; end its session first.");

TicketState Ticket::state(const QDateTime& now) const
{
    if (voided) {
        return TicketState::Voided;
    }
    if (!terminal.isEmpty()) {
        return TicketState::InUse;
    }
    if (expires.isValid() && now.date() > expires) {
        return TicketState::Expired;
    }
    if (credit <= Money()) {
        return TicketState::UsedUp;
    }
    return TicketState::Unused;
}

TicketStore::TicketStore(Database& db, int digits) : m_db(db), m_digits(qBound(0, digits, 4)) {}

TicketSaleResult TicketStore::sell(const TicketSale& sale)
{
    TicketSaleResult result;
    if (sale.count < 1 || sale.count > MaxBatch) {
        result.error = QStringLiteral("Enter a number of tickets from 1 to %1.").arg(MaxBatch);
        return result;
    }
    const auto category = SessionService(m_db).findCategory(sale.category);
    if (!category) {
        result.error = QStringLiteral("Select the Usage Category List");
        return result;
    }
    Money each = sale.amount.rounded(m_digits);
    if (sale.minutes > 0) {
        each = calccharge(m_db, *category, sale.minutes / 60, int(sale.minutes % 60), 0)
                   .rounded(m_digits);
    }
    if (each <= Money()) {
        result.error = sale.minutes > 0
                           ? QStringLiteral("These minutes cost nothing by this category's rates.")
                           : QStringLiteral("Please Enter Amount");
        return result;
    }
    const Money total = each * sale.count;
    const QDateTime now = Database::parseTime(Database::timeText(Clock::now()));
    const QVariant expires =
        sale.expires.isValid() ? QVariant(Database::dayText(sale.expires)) : QVariant();
    QList<Ticket> tickets;
    qint64 billno = 0;
    const bool ok = m_db.transaction(
        [&] {
            billno = SessionService::takeBillNumber(m_db).value_or(0);
            if (billno <= 0) {
                result.error = QStringLiteral("The next bill number could not be read.");
                return false;
            }
            const QString when = Database::timeText(now);
            if (!m_db.run(
                    QStringLiteral("INSERT INTO history (cip, sstart, send, terminal, "
                                   "duration, \"user\", received, charge, netamount, otheramt, "
                                   "billno) VALUES ('', ?, ?, 'Tickets', ?, ?, ?, 0, ?, ?, "
                                   "?)"),
                    {when, when, QStringLiteral("%1 tickets").arg(sale.count), *category,
                     total.toVariant(), total.toVariant(), total.toVariant(), billno},
                    Label)) {
                return false;
            }
            for (int i = 0; i < sale.count; ++i) {
                const QString code = TicketCodes::generate([this](const QString& c) {
                    return m_db
                        .scalar(QStringLiteral("SELECT 1 FROM tickets WHERE code = ?"), {c}, Label)
                        .isValid();
                });
                if (code.isEmpty() ||
                    !m_db.run(QStringLiteral("INSERT INTO tickets (code, category, value, credit, "
                                             "minutes, sold, expires, voided, billno) VALUES (?, "
                                             "?, ?, ?, ?, ?, ?, 0, ?)"),
                              {code, *category, each.toVariant(), each.toVariant(), sale.minutes,
                               when, expires, billno},
                              Label)) {
                    return false;
                }
                Ticket t;
                t.code = code;
                t.category = *category;
                t.value = each;
                t.credit = each;
                t.minutes = sale.minutes;
                t.sold = now;
                t.expires = sale.expires;
                t.billno = billno;
                tickets.append(t);
            }
            m_db.notifyChanged(QStringLiteral("history"));
            m_db.notifyChanged(QStringLiteral("defalt"));
            m_db.notifyChanged(QStringLiteral("tickets"));
            return true;
        },
        Label);
    if (!ok) {
        if (result.error.isEmpty()) {
            result.error = QStringLiteral("The tickets could not be saved; nothing was recorded.");
        }
        return result;
    }
    result.ok = true;
    result.billno = billno;
    result.tickets = tickets;
    return result;
}

std::optional<Ticket> TicketStore::find(const QString& typedCode) const
{
    const QString code = TicketCodes::normalise(typedCode);
    if (code.isEmpty()) {
        return std::nullopt;
    }
    const auto r = m_db.firstRow(QStringLiteral("SELECT ") + TicketColumns +
                                     QStringLiteral(" FROM tickets t WHERE t.code = ?"),
                                 {code}, Label);
    if (!r) {
        return std::nullopt;
    }
    return ticketFrom(*r);
}

QList<Ticket> TicketStore::list() const
{
    QList<Ticket> out;
    for (const QSqlRecord& r :
         m_db.rows(QStringLiteral("SELECT ") + TicketColumns +
                       QStringLiteral(" FROM tickets t ORDER BY t.sold DESC, t.rowid DESC"),
                   {}, Label)) {
        out.append(ticketFrom(r));
    }
    return out;
}

bool TicketStore::voidTicket(const QString& code, QString* error)
{
    QString why;
    const bool ok = m_db.transaction(
        [&] {
            // Voided before it is looked at: a workstation logging in with it meanwhile either
            // runs first (then it is in use) or finds it voided.
            const QString stored = TicketCodes::normalise(code);
            const qint64 held =
                stored.isEmpty()
                    ? 0
                    : m_db.change(QStringLiteral("UPDATE tickets SET voided = 1 WHERE code = ?"),
                                  {stored}, Label);
            const auto t = held > 0 ? find(stored) : std::nullopt;
            if (!t) {
                if (held == 0) {
                    why = QStringLiteral("No such ticket.");
                }
                return false;
            }
            if (!t->terminal.isEmpty()) {
                why = InUseError;
                return false;
            }
            return true;
        },
        Label);
    if (!ok) {
        if (error != nullptr) {
            *error = why.isEmpty() ? QStringLiteral("The ticket could not be voided.") : why;
        }
        return false;
    }
    m_db.notifyChanged(QStringLiteral("tickets"));
    return true;
}
