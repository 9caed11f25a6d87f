// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/ticketslips.h"

#include "server/accounts/consolesettings.h"
#include "server/prepaid/ticketcodes.h"

#include <QLocale>

namespace TicketSlips {

QStringList lines(const Ticket& ticket, int digits, const QString& cafeName)
{
    QStringList out;
    if (!cafeName.trimmed().isEmpty()) {
        out.append(cafeName.trimmed());
    }
    out.append(TicketCodes::grouped(ticket.code));
    QString value = QStringLiteral("Value : ") + ticket.value.toFixed(digits);
    if (ticket.minutes > 0) {
        value += QStringLiteral(" (%1 minutes)").arg(ticket.minutes);
    }
    out.append(value);
    out.append(ticket.expires.isValid()
                   ? QStringLiteral("Valid until : ") +
                         QLocale().toString(ticket.expires, QLocale::ShortFormat)
                   : QStringLiteral("No expiry date"));
    out.append(HowTo);
    return out;
}

ReportDocument compose(const QList<Ticket>& tickets, int digits)
{
    ReportDocument doc;
    doc.setTitle(Title);
    doc.applyListPageSetup();
    // Half of the printable width each; a row of slips never splits across a page.
    const int half = int(doc.paperSize().width() - doc.marginLeft() - doc.marginRight()) / PerRow;
    const QString format = QStringLiteral("^%1|^%1").arg(half);
    const QString cafe = ConsoleSettings().cafeName();
    doc.setTableBorder(TableBorder::All);
    doc.setFontSize(12);
    for (qsizetype i = 0; i < tickets.size(); i += PerRow) {
        QStringList cells;
        for (qsizetype j = i; j < i + PerRow; ++j) {
            // A blank slip fills the last row: the cut lines stay the same on every row.
            cells.append(j < tickets.size()
                             ? lines(tickets[j], digits, cafe).join(QLatin1Char('\n'))
                             : QString());
        }
        doc.addTableRow(format, {}, cells, {}, i > 0);
    }
    return doc;
}

} // namespace TicketSlips
