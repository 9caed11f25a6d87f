// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/accounts/reportdocument.h"
#include "server/prepaid/ticketstore.h"

#include <QList>
#include <QString>

// The printed slips of sold tickets: several to a page, laid out as a bordered table two slips
// wide, so that the sheet is cut along the lines. Each slip carries everything the customer
// needs at the workstation and nothing the cashier keeps to himself.
namespace TicketSlips {

inline constexpr int PerRow = 2;
inline const QString HowTo = QStringLiteral("Log in on any free workstation with this code.");
inline const QString Title = QStringLiteral("Tickets");

// The lines of one slip: the cafe's name, the code in groups, the value (and the minutes it
// was sold as), the last day it can be used, and how to use it.
QStringList lines(const Ticket& ticket, int digits, const QString& cafeName);
// Every ticket's slip, in the order given. The cafe's name is read from the console settings.
ReportDocument compose(const QList<Ticket>& tickets, int digits);

} // namespace TicketSlips
