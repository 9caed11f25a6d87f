// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"

#include <QDate>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class Database;

enum class TicketState
{
    Unused,
    InUse,
    UsedUp,
    Expired,
    Voided
};

struct Ticket
{
    QString code;
    QString category;
    Money value;        // everything sold on it
    Money credit;       // what is left
    qint64 minutes = 0; // the minutes it was sold as; 0 when sold as an amount
    QDateTime sold;
    QDateTime lastUse;
    QDate expires;    // the last day it can be used; invalid: never
    QString terminal; // the workstation it is in use on; empty when none
    bool voided = false;
    qint64 billno = 0; // the sale's bill

    // Voided first, then in use, then expired, then used up.
    TicketState state(const QDateTime& now) const;
};

struct TicketSale
{
    QString category;
    int count = 1;
    Money amount;       // each ticket's value when sold as an amount
    qint64 minutes = 0; // 0: sold as an amount; else priced by the category's tariff now
    QDate expires;      // invalid: never
};

struct TicketSaleResult
{
    bool ok = false;
    QString error;
    qint64 billno = 0;
    QList<Ticket> tickets;
};

// Sells, finds, lists and voids tickets. A sale is one bill for the whole batch, written with
// its tickets in one transaction, so the money is counted once, where it was received.
class TicketStore
{
public:
    static constexpr int MaxBatch = 500;
    static const QString InUseError;

    TicketStore(Database& db, int digits);

    TicketSaleResult sell(const TicketSale& sale);
    // The ticket for a code as typed (any case, spaces and dashes ignored).
    std::optional<Ticket> find(const QString& typedCode) const;
    // Every ticket, newest sale first.
    QList<Ticket> list() const;
    // A ticket in use cannot be voided (InUseError).
    bool voidTicket(const QString& code, QString* error);

private:
    Database& m_db;
    int m_digits;
};
