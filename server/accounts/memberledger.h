// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>

class Database;

// One member's ledger as a working copy: entries are edited here and reach `transactions`
// only through save(), which replaces the member's entries as one unit.
class MemberLedger : public QObject
{
    Q_OBJECT
public:
    enum Column
    {
        DateColumn = 0,
        PartColumn = 1,
        CreditColumn = 2,
        DebitColumn = 3,
        BalanceColumn = 4
    };

    struct Row
    {
        QDateTime date; // invalid while empty
        QString part;
        QString credit;
        QString debit;
    };

    explicit MemberLedger(Database& db, QObject* parent = nullptr);

    QStringList memberIds() const;

    // Loads the member and its entries; "Customer ID Not Found" when the id is unknown.
    bool load(const QString& id);
    // Drops the member: no entries, no member, actions off.
    void unload();
    bool isLoaded() const { return m_loaded; }
    QString memberId() const { return m_id; }
    QString name() const { return m_name; }
    QString address1() const { return m_address1; }
    QString address2() const { return m_address2; }
    QString openingBalanceText() const { return m_obText; }

    int rowCount() const { return int(m_rows.size()); }
    const Row& row(int r) const { return m_rows.at(r); }
    // The text a grid cell shows.
    QString cellText(int r, int column) const;
    void setDate(int r, const QDateTime& date);
    void setText(int r, int column, const QString& text);
    // Running balance after row r: opening balance plus every credit less every debit so far.
    Money balance(int r) const;

    // Asks, then appends a row dated now; the new row's index, or -1.
    int addRow();
    // Asks, then removes the row from the working copy.
    bool removeRow(int r);
    // Checks every row, asks, then replaces the member's entries; true when stored.
    bool save();

    // The date cells show the day; an entry keeps its time of day when its day is changed.
    static inline const QString DateFormat = QStringLiteral("dd/MM/yyyy");
    static QString dateText(const QDateTime& t);

Q_SIGNALS:
    void changed();

private:
    Database& m_db;
    bool m_loaded = false;
    QString m_id;
    QString m_name;
    QString m_address1;
    QString m_address2;
    QString m_obText;
    QList<Row> m_rows;
    QString m_loadedStamp; // the member's entries as loaded: their count and last rowid

    QString stamp() const;
};
