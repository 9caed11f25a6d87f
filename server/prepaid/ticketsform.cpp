// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/ticketsform.h"

#include "common/clock.h"
#include "common/prompt.h"
#include "server/prepaid/ticketcodes.h"
#include "server/prepaid/ticketslips.h"
#include "server/sessions/sessionservice.h"

#include <QLocale>

namespace {

QString shownTime(const QDateTime& t)
{
    return t.isValid() ? QLocale().toString(t, QLocale::ShortFormat) : QString();
}

} // namespace

TicketsForm::TicketsForm(Database& db, int digits) : m_db(db), m_digits(digits), m_store(db, digits)
{
}

QStringList TicketsForm::categories() const
{
    return SessionService(m_db).categoryNames();
}

std::optional<TicketSale> TicketsForm::check(const Entry& entry, QString* error) const
{
    const auto fail = [error](const QString& text) {
        *error = text;
        return std::nullopt;
    };
    TicketSale sale;
    const auto category = SessionService(m_db).findCategory(entry.category);
    if (!category) {
        return fail(NoCategory);
    }
    sale.category = *category;
    bool ok = false;
    sale.count = entry.count.trimmed().toInt(&ok);
    if (!ok || sale.count < 1 || sale.count > TicketStore::MaxBatch) {
        return fail(BadCount);
    }
    if (entry.byMinutes) {
        sale.minutes = entry.value.trimmed().toLongLong(&ok);
        if (!ok || sale.minutes < 1 || sale.minutes > MaxMinutes) {
            return fail(BadMinutes);
        }
    } else {
        const QString text = entry.value.trimmed();
        sale.amount = Money::parse(text).rounded(m_digits);
        // "12abc" reads as 12 elsewhere; here a typing slip must not sell a batch.
        bool number = false;
        text.toDouble(&number);
        if (!number || sale.amount <= Money()) {
            return fail(BadAmount);
        }
    }
    if (entry.expires) {
        if (!entry.expiry.isValid() || entry.expiry < Clock::now().date()) {
            return fail(PastExpiry);
        }
        sale.expires = entry.expiry;
    }
    return sale;
}

TicketSaleResult TicketsForm::sell(const Entry& entry)
{
    TicketSaleResult result;
    const std::optional<TicketSale> sale = check(entry, &result.error);
    if (sale) {
        result = m_store.sell(*sale);
    }
    if (!result.ok) {
        Prompt::message(result.error, Title, Prompt::Icon::Exclamation);
    }
    return result;
}

const QList<Ticket>& TicketsForm::reload()
{
    m_tickets = m_store.list();
    return m_tickets;
}

QString TicketsForm::stateText(const Ticket& t, const QDateTime& now)
{
    switch (t.state(now)) {
    case TicketState::Unused:
        return QStringLiteral("Unused");
    case TicketState::InUse:
        return QStringLiteral("In use on ") + t.terminal;
    case TicketState::UsedUp:
        return QStringLiteral("Used up");
    case TicketState::Expired:
        return QStringLiteral("Expired");
    case TicketState::Voided:
        return QStringLiteral("Voided");
    }
    return {};
}

QStringList TicketsForm::rowTexts(const Ticket& t, const QDateTime& now) const
{
    return {TicketCodes::grouped(t.code), t.category,        stateText(t, now),
            t.credit.toFixed(m_digits),   shownTime(t.sold), shownTime(t.lastUse)};
}

bool TicketsForm::voidTicket(const QString& code)
{
    if (!Prompt::yesNo(VoidQuestion.arg(TicketCodes::grouped(code)), Title, Prompt::Icon::Question,
                       true)) {
        return false;
    }
    QString error;
    if (!m_store.voidTicket(code, &error)) {
        Prompt::message(error, Title, Prompt::Icon::Exclamation);
        return false;
    }
    return true;
}

ReportDocument TicketsForm::slips(const QList<Ticket>& tickets) const
{
    return TicketSlips::compose(tickets, m_digits);
}
