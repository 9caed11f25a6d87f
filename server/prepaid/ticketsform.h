// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/accounts/reportdocument.h"
#include "server/prepaid/ticketstore.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class Database;

// What the Tickets window does, without the window: the sale's boxes checked and sold as one
// batch, the list of tickets as the grid shows it, voiding (asked first) and the slips to print.
class TicketsForm
{
public:
    static constexpr qint64 MaxMinutes = 99999;
    static inline const QString Title = QStringLiteral("Tickets");
    static inline const QString NoCategory = QStringLiteral("Choose a usage category.");
    static inline const QString BadCount =
        QStringLiteral("Enter a number of tickets from 1 to 500.");
    static inline const QString BadAmount = QStringLiteral("Enter an amount above zero.");
    static inline const QString BadMinutes =
        QStringLiteral("Enter a number of minutes from 1 to 99999.");
    static inline const QString PastExpiry =
        QStringLiteral("The expiry date is already past. Choose today or a later day.");
    // "%1" is the code in groups.
    static inline const QString VoidQuestion = QStringLiteral(
        "Void ticket %1? It can no longer be used, and its credit is not paid back.");
    static inline const QStringList Columns = {
        QStringLiteral("Code"),        QStringLiteral("Category"), QStringLiteral("State"),
        QStringLiteral("Credit Left"), QStringLiteral("Sold"),     QStringLiteral("Last Use")};

    // The boxes of the sale as typed.
    struct Entry
    {
        QString category;
        QString count = QStringLiteral("1");
        bool byMinutes = false;
        QString value; // the amount, or the minutes with byMinutes
        bool expires = false;
        QDate expiry;
    };

    TicketsForm(Database& db, int digits);

    QStringList categories() const;
    // The sale the entry asks for, or the first thing wrong with it (`error`).
    std::optional<TicketSale> check(const Entry& entry, QString* error) const;
    // Checks and sells; a refusal is shown through the prompt. The result's tickets are the
    // ones to print.
    TicketSaleResult sell(const Entry& entry);

    // The tickets as the grid shows them, newest sale first (read afresh).
    const QList<Ticket>& reload();
    const QList<Ticket>& tickets() const { return m_tickets; }
    static QString stateText(const Ticket& t, const QDateTime& now);
    QStringList rowTexts(const Ticket& t, const QDateTime& now) const;

    // Asks first; true when the ticket was voided. A refusal is shown through the prompt.
    bool voidTicket(const QString& code);
    ReportDocument slips(const QList<Ticket>& tickets) const;

private:
    Database& m_db;
    int m_digits;
    TicketStore m_store;
    QList<Ticket> m_tickets;
};
