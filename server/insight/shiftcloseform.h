// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/insight/shifts.h"

#include <QList>
#include <QPair>
#include <QString>

class Database;

// The shift close without its window: the open shift's figures, the cash counted as typed,
// the difference, and the close itself after the operator agreed.
class ShiftCloseForm
{
public:
    ShiftCloseForm(Database& db, QString operatorName)
        : m_db(db), m_operator(std::move(operatorName))
    {
    }

    void load(const QDateTime& now);
    const Shifts::Figures& figures() const { return m_figures; }
    // The lines the window shows, as (caption, amount).
    QList<QPair<QString, QString>> lines() const;

    void setCounted(const QString& text);
    QString countedText() const { return m_counted; }
    // Counted minus expected: below zero the drawer is short.
    QString differenceText() const;

    // Asks, then closes the open shift at `now`; nullopt when the operator said No or the
    // database refused (then it says so).
    std::optional<Shifts::Shift> close(const QDateTime& now);

private:
    Database& m_db;
    QString m_operator;
    QString m_counted;
    Shifts::Figures m_figures;
};
