// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"

#include <QList>
#include <QString>

class Database;

// The job-work catalogue (`jobwork`) and the quantities of the session being settled. Those
// are this console's own (`jobwork_entered`, private to its connection) until the settlement
// copies the lines to `jobwork_details`; the old qty and totamt columns of `jobwork` stay unused.
class JobWorkStore
{
public:
    struct Item
    {
        QString type;
        Money amount;
    };
    struct Line
    {
        QString type;
        Money amount;
        QString qty; // as typed
        Money netAmount;
    };
    // A catalogue row as edited in the grid: texts of the two cells.
    struct CatalogueRow
    {
        QString type;
        QString amount;
    };

    explicit JobWorkStore(Database& db);

    QList<Item> catalogue() const;
    // Replaces the catalogue: rows with a blank type are dropped, and a type listed twice is
    // kept once (its first row). This also drops the quantities of a settlement in progress.
    bool saveCatalogue(const QList<CatalogueRow>& rows);

    // Every quantity back to 0, as the settlement window does when it opens.
    bool clearQuantities();
    QList<Line> lines() const;
    // Stores the quantities and line amounts typed in the entry window, all or none.
    bool storeQuantities(const QList<Line>& lines);
    Money total() const;

    // Quantity times unit amount; an empty or unreadable quantity counts as 0.
    static Money lineAmount(Money unit, const QString& qty);

private:
    Database& m_db;
};
