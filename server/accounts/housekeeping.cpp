#include "server/accounts/housekeeping.h"

#include "common/prompt.h"
#include "server/core/database.h"

#include <QSqlRecord>

namespace {

const QString Label = QStringLiteral("frmhkeeping delete");

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
    d.m_condition = QStringLiteral("billno >= ? AND billno <= ?");
    d.m_params = {*lo, *hi};
    d.m_total = m_db.scalar(QStringLiteral("SELECT count(*) FROM history WHERE ") + d.m_condition,
                            d.m_params, Label)
                    .toLongLong();
    return d;
}

Housekeeping::HistoryDeletion Housekeeping::byStartDates(const QDate& from, const QDate& to) const
{
    HistoryDeletion d;
    d.m_rangeText = QStringLiteral(" From Date ") + from.toString(QStringLiteral("dd/MM/yyyy")) +
                    QStringLiteral(" to ") + to.toString(QStringLiteral("dd/MM/yyyy"));
    d.m_valid = from.isValid() && to.isValid();
    d.m_condition = QStringLiteral("sstart >= ? AND sstart <= ?");
    d.m_params = {Database::dayText(from), Database::dayText(to)};
    if (d.m_valid) {
        d.m_total =
            m_db.scalar(QStringLiteral("SELECT count(*) FROM history WHERE ") + d.m_condition,
                        d.m_params, Label)
                .toLongLong();
    }
    return d;
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
            auto q = m_db.exec(QStringLiteral("DELETE FROM history WHERE rowid IN (SELECT rowid "
                                              "FROM history WHERE ") +
                                   deletion.m_condition + QStringLiteral(" LIMIT ?)"),
                               params, Label);
            if (!q) {
                return false;
            }
            removed = q->numRowsAffected();
            return true;
        },
        Label);
    deletion.m_done += removed;
    if (!ok || removed < batch) {
        deletion.m_finished = true;
        m_db.notifyChanged(QStringLiteral("history"));
        return false;
    }
    return true;
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
    const QString bound = Database::dayText(cutOff);
    // The member's balance must not move: what the removed entries added up to becomes part
    // of the opening balance, to the last decimal, in the same unit as the removal.
    const bool ok = m_db.transaction(
        [&] {
            const auto member = m_db.firstRow(
                QStringLiteral("SELECT ob FROM members WHERE memberid = ?"), {id}, Label);
            if (!member) {
                return false;
            }
            Money ob = Money::fromVariant(member->value(0));
            for (const QSqlRecord& e :
                 m_db.rows(QStringLiteral("SELECT credit, debit FROM transactions WHERE "
                                          "memberid = ? AND Date <= ?"),
                           {id, bound}, Label)) {
                ob += Money::fromVariant(e.value(0)) - Money::fromVariant(e.value(1));
            }
            return m_db.run(QStringLiteral("UPDATE members SET ob = ? WHERE memberid = ?"),
                            {ob.toVariant(), id}, Label) &&
                   m_db.run(QStringLiteral("DELETE FROM transactions WHERE memberid = ? AND "
                                           "Date <= ?"),
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
