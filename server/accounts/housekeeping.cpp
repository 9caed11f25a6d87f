// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/housekeeping.h"

#include "common/prompt.h"
#include "server/core/administration.h"
#include "server/core/database.h"

#include <QSqlRecord>

namespace {

const QString Label = QStringLiteral("frmhkeeping delete");
const QString DayFormat = QStringLiteral("yyyy-MM-dd");

// The number a bill-number box holds, or nothing when it does not start with one.
std::optional<QVariant> billNumber(const QString& text)
{
    // Only the digits 0-9 make a number: a full-width or other script's digit would pass a
    // Unicode digit test and then be read as 0, widening the deletion to the first bill.
    const auto digit = [](QChar c) { return c >= QLatin1Char('0') && c <= QLatin1Char('9'); };
    const QString t = text.trimmed();
    if (t.isEmpty() ||
        !(digit(t.at(0)) || (t.size() > 1 && t.at(0) == QLatin1Char('.') && digit(t.at(1))))) {
        return std::nullopt;
    }
    return Money::parse(t).toVariant();
}

} // namespace

Housekeeping::Housekeeping(Database& db, QObject* parent) : QObject(parent), m_db(db) {}

QStringList Housekeeping::memberIds() const
{
    QStringList ids;
    for (const QSqlRecord& r :
         m_db.rows(QStringLiteral("SELECT memberid FROM members ORDER BY rowid"), {}, Label)) {
        ids.append(r.value(0).toString());
    }
    return ids;
}

Housekeeping::HistoryDeletion Housekeeping::byBillNumbers(const QString& from,
                                                          const QString& to) const
{
    HistoryDeletion d;
    d.m_rangeText = QStringLiteral(" From Bill No ") + from + QStringLiteral(" to ") + to;
    const auto lo = billNumber(from);
    const auto hi = billNumber(to);
    if (!lo || !hi) {
        Prompt::message(QStringLiteral("Enter the From and To Bill Numbers"),
                        QStringLiteral("Message"), Prompt::Icon::Exclamation);
        return d;
    }
    d.m_valid = true;
    // Compared as typed: 5.4 must not be taken for bill 5.
    d.m_condition = QStringLiteral("billno >= CAST(? AS NUMERIC) AND billno <= CAST(? AS NUMERIC)");
    d.m_params = {*lo, *hi};
    d.m_total = m_db.scalar(QStringLiteral("SELECT count(*) FROM history WHERE ") + d.m_condition,
                            d.m_params, Label)
                    .toLongLong();
    return d;
}

Housekeeping::HistoryDeletion Housekeeping::byStartDates(const QDate& from, const QDate& to) const
{
    HistoryDeletion d;
    d.m_byBill = false;
    d.m_rangeText = QStringLiteral(" From Date ") + from.toString(QStringLiteral("dd/MM/yyyy")) +
                    QStringLiteral(" to ") + to.toString(QStringLiteral("dd/MM/yyyy"));
    d.m_valid = from.isValid() && to.isValid();
    // "To 31/12" means all of the 31st, not only its first moment.
    d.m_condition = QStringLiteral("sstart >= ? AND sstart < ?");
    d.m_params = {from.toString(DayFormat), endOfDay(to)};
    if (d.m_valid) {
        d.m_total =
            m_db.scalar(QStringLiteral("SELECT count(*) FROM history WHERE ") + d.m_condition,
                        d.m_params, Label)
                .toLongLong();
    }
    return d;
}

QString Housekeeping::endOfDay(const QDate& d)
{
    // The next day's date alone sorts after every moment of `d` and before every moment of
    // the next day, in the stored form and also where a row holds a date without a time.
    return d.addDays(1).toString(DayFormat);
}

bool Housekeeping::confirm(const HistoryDeletion& deletion) const
{
    if (!deletion.m_valid) {
        return false;
    }
    if (!Prompt::yesNo(QStringLiteral("Do you want to Delete the History Details") +
                           deletion.m_rangeText +
                           QStringLiteral("\rBefore Deleting the History Details Backup the "
                                          "Datafiles OR take the Printout"),
                       QStringLiteral("Warning"), Prompt::Icon::Critical, true)) {
        return false;
    }
    return Prompt::yesNo(QStringLiteral("Once Delete the History Information you can't recall "
                                        "back\rDO YOU WANT TO DELETE ?"),
                         QStringLiteral("Warning"), Prompt::Icon::Critical, true);
}

bool Housekeeping::step(HistoryDeletion& deletion, int batch)
{
    if (!deletion.m_valid || deletion.m_finished) {
        return false;
    }
    QVariantList params = deletion.m_params;
    params.append(batch);
    qint64 removed = 0;
    const bool ok = m_db.transaction(
        [&] {
            // Every batch holds the lock; the other desks are told once, with the first.
            if (deletion.m_done == 0
                    ? !Administration::begin(
                          m_db, QStringLiteral("History deleted") + deletion.m_rangeText, Label)
                    : !m_db.lockAdministration(Label)) {
                return false;
            }
            // The batch's rows are noted once, so that the bills and their job-work lines go
            // by the very same rows. Lines left behind would be printed on the next bill that
            // is given a housekept number.
            if (!m_db.run(QStringLiteral("CREATE TEMP TABLE IF NOT EXISTS hk_batch "
                                         "(rid INTEGER PRIMARY KEY)"),
                          {}, Label) ||
                !m_db.run(QStringLiteral("DELETE FROM hk_batch"), {}, Label) ||
                !m_db.run(QStringLiteral("INSERT INTO hk_batch (rid) SELECT rowid FROM "
                                         "history WHERE ") +
                              deletion.m_condition + QStringLiteral(" LIMIT ?"),
                          params, Label)) {
                return false;
            }
            // A bill's lines go with the last history row that carries its number.
            if (!m_db.run(QStringLiteral(
                              "DELETE FROM jobwork_details WHERE billno IN (SELECT billno FROM "
                              "history WHERE rowid IN (SELECT rid FROM hk_batch)) AND NOT "
                              "EXISTS (SELECT 1 FROM history h WHERE h.billno = "
                              "jobwork_details.billno AND h.rowid NOT IN (SELECT rid FROM "
                              "hk_batch))"),
                          {}, Label)) {
                return false;
            }
            auto q = m_db.exec(QStringLiteral("DELETE FROM history WHERE rowid IN (SELECT rid "
                                              "FROM hk_batch)"),
                               {}, Label);
            if (!q) {
                return false;
            }
            removed = q->numRowsAffected();
            return m_db.run(QStringLiteral("DELETE FROM hk_batch"), {}, Label);
        },
        Label);
    if (ok) {
        deletion.m_done += removed;
    }
    if (!ok || removed < batch) {
        deletion.m_finished = true;
        m_db.notifyChanged(QStringLiteral("history"));
        m_db.notifyChanged(QStringLiteral("jobwork_details"));
        if (!ok) {
            reportFailure(deletion);
        }
        return false;
    }
    return true;
}

void Housekeeping::reportFailure(HistoryDeletion& deletion)
{
    deletion.m_failed = true;
    // Counted again rather than worked out: what is left is what the operator must know.
    const auto left = m_db.firstRow(QStringLiteral("SELECT count(*), min(billno), max(billno), "
                                                   "min(sstart), max(sstart) FROM history WHERE ") +
                                        deletion.m_condition,
                                    deletion.m_params, Label);
    const qint64 remaining =
        left ? left->value(0).toLongLong() : qMax<qint64>(0, deletion.m_total - deletion.m_done);
    QString which;
    if (left && remaining > 0) {
        const auto moment = [](const QVariant& v) {
            return Database::parseTime(v).toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
        };
        which = deletion.m_byBill ? QStringLiteral(" (Bill No %1 to %2)")
                                        .arg(left->value(1).toString(), left->value(2).toString())
                                  : QStringLiteral(" (sessions started %1 to %2)")
                                        .arg(moment(left->value(3)), moment(left->value(4)));
    }
    const QString head = deletion.m_done == 0
                             ? QStringLiteral("History Details Not Deleted: nothing was deleted.")
                             : QStringLiteral("History Details Partly Deleted: %1 of %2 records "
                                              "were deleted.")
                                   .arg(deletion.m_done)
                                   .arg(deletion.m_total);
    deletion.m_report = head + QStringLiteral("\r%1 records were not deleted").arg(remaining) +
                        which + QStringLiteral(". Delete again to remove them.");
    Prompt::message(deletion.m_report, QStringLiteral("Message"), Prompt::Icon::Critical);
}

bool Housekeeping::runAll(HistoryDeletion& deletion)
{
    while (step(deletion)) {
    }
    return deletion.m_valid;
}

std::optional<Housekeeping::Member> Housekeeping::chooseMember(const QString& id) const
{
    if (id.isEmpty()) {
        return std::nullopt;
    }
    const auto row = m_db.firstRow(QStringLiteral("SELECT memberid, name, address1, address2 "
                                                  "FROM members WHERE trim(memberid) = ? "
                                                  "ORDER BY rowid LIMIT 1"),
                                   {id.trimmed()}, Label);
    if (!row) {
        Prompt::message(QStringLiteral("Customer ID Not Found"), QStringLiteral("Message"),
                        Prompt::Icon::Question);
        return std::nullopt;
    }
    return Member{row->value(0).toString(), row->value(1).toString(), row->value(2).toString(),
                  row->value(3).toString()};
}

bool Housekeeping::deleteTransactions(const QString& id, const QDate& cutOff)
{
    if (id.isEmpty() || !cutOff.isValid()) {
        return false;
    }
    if (!Prompt::yesNo(QStringLiteral("Do you want to Delete the Customer Transactions "
                                      "Details\rBefore Deleting the Transactions Details Backup "
                                      "the Datafiles OR take the Printout"),
                       QStringLiteral("Warning"), Prompt::Icon::Critical, true)) {
        return false;
    }
    // The cut-off day is included whole.
    const QString bound = endOfDay(cutOff);
    // The member's balance must not move: what the removed entries added up to becomes part
    // of the opening balance, to the last decimal, in the same unit as the removal.
    const bool ok = m_db.transaction(
        [&] {
            if (!Administration::begin(
                    m_db, QStringLiteral("Customer Transactions of %1 deleted").arg(id), Label)) {
                return false;
            }
            const auto member = m_db.firstRow(
                QStringLiteral("SELECT ob FROM members WHERE memberid = ?"), {id}, Label);
            if (!member) {
                return false;
            }
            Money ob = Money::fromVariant(member->value(0));
            for (const QSqlRecord& e :
                 m_db.rows(QStringLiteral("SELECT credit, debit FROM transactions WHERE "
                                          "memberid = ? AND Date < ?"),
                           {id, bound}, Label)) {
                ob += Money::fromVariant(e.value(0)) - Money::fromVariant(e.value(1));
            }
            return m_db.run(QStringLiteral("UPDATE members SET ob = ? WHERE memberid = ?"),
                            {ob.toVariant(), id}, Label) &&
                   m_db.run(QStringLiteral("DELETE FROM transactions WHERE memberid = ? AND "
                                           "Date < ?"),
                            {id, bound}, Label);
        },
        Label);
    if (!ok) {
        Prompt::message(QStringLiteral("Customer Transactions Not Deleted"),
                        QStringLiteral("Message"), Prompt::Icon::Critical);
        return false;
    }
    m_db.notifyChanged(QStringLiteral("members"));
    m_db.notifyChanged(QStringLiteral("transactions"));
    return true;
}
