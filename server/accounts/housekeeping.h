// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"

#include <QDate>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantList>

#include <optional>

class Database;

// Removal of old billing history and of a member's old ledger entries.
class Housekeeping : public QObject
{
    Q_OBJECT
public:
    struct Member
    {
        QString id;
        QString name;
        QString address1;
        QString address2;
    };

    // One history deletion: chosen, confirmed, then carried out in batches so that a long
    // run can show its progress and keep the console responsive. Each batch is one unit
    // (the bills and their job-work lines); a batch that fails stops the run, and the
    // operator is told how many rows went and which are still there.
    class HistoryDeletion
    {
    public:
        bool isValid() const { return m_valid; }
        QString rangeText() const { return m_rangeText; }
        // Rows the deletion will remove (counted when it was prepared).
        qint64 total() const { return m_total; }
        qint64 done() const { return m_done; }
        bool finished() const { return m_finished; }
        // A batch failed: done() rows were deleted and report() says what remains.
        bool failed() const { return m_failed; }
        QString report() const { return m_report; }

    private:
        friend class Housekeeping;
        bool m_valid = false;
        bool m_byBill = true;
        QString m_rangeText;
        QString m_condition;
        QVariantList m_params;
        qint64 m_total = 0;
        qint64 m_done = 0;
        bool m_finished = false;
        bool m_failed = false;
        QString m_report;
    };

    explicit Housekeeping(Database& db, QObject* parent = nullptr);

    QStringList memberIds() const;

    // From and to bill numbers as typed; a box without a number is refused with a message.
    HistoryDeletion byBillNumbers(const QString& from, const QString& to) const;
    // Sessions started on any moment of the days `from` to `to`, both days whole.
    HistoryDeletion byStartDates(const QDate& from, const QDate& to) const;
    // Both warnings, No being the default; true when the operator agreed to both.
    bool confirm(const HistoryDeletion& deletion) const;
    // Removes up to `batch` rows with the job-work lines of their bills; true while rows
    // remain. The history list is told once the deletion is complete or has stopped.
    bool step(HistoryDeletion& deletion, int batch = 2000);
    // Runs a confirmed deletion to its end.
    bool runAll(HistoryDeletion& deletion);

    // Looks the member up; "Customer ID Not Found" when unknown.
    std::optional<Member> chooseMember(const QString& id) const;
    // Asks (No being the default), then moves the sum of the member's entries up to the end
    // of the day `cutOff` into the opening balance and deletes them, as one unit.
    bool deleteTransactions(const QString& id, const QDate& cutOff);

    // The bound that "up to and including the whole day `d`" stays below.
    static QString endOfDay(const QDate& d);

private:
    void reportFailure(HistoryDeletion& deletion);

    Database& m_db;
};
