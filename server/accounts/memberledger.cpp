// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/memberledger.h"

#include "common/clock.h"
#include "common/prompt.h"
#include "server/core/claims.h"
#include "server/core/database.h"

#include <QSqlRecord>

namespace {

const QString Label = QStringLiteral("frmcusttran Btn click");

// A column left empty is stored as nothing, not as 0: the statement shows it blank.
QVariant amountOrNull(const QString& text)
{
    return text.trimmed().isEmpty() ? QVariant() : Money::parse(text).toVariant();
}

} // namespace

MemberLedger::MemberLedger(Database& db, QObject* parent) : QObject(parent), m_db(db) {}

QStringList MemberLedger::memberIds() const
{
    QStringList ids;
    for (const QSqlRecord& r :
         m_db.rows(QStringLiteral("SELECT memberid FROM members ORDER BY rowid"), {}, Label)) {
        ids.append(r.value(0).toString());
    }
    return ids;
}

QString MemberLedger::dateText(const QDateTime& t)
{
    return t.isValid() ? t.toString(DateFormat) : QString();
}

bool MemberLedger::load(const QString& id)
{
    if (id.isEmpty()) {
        return false;
    }
    const auto member =
        m_db.firstRow(QStringLiteral("SELECT * FROM members WHERE trim(memberid) = ? "
                                     "ORDER BY rowid LIMIT 1"),
                      {id.trimmed()}, Label);
    if (!member) {
        unload();
        Prompt::message(QStringLiteral("Customer ID Not Found"), QStringLiteral("Message"),
                        Prompt::Icon::Question);
        return false;
    }
    m_loaded = true;
    m_id = member->value(QStringLiteral("memberid")).toString();
    m_name = member->value(QStringLiteral("name")).toString();
    m_address1 = member->value(QStringLiteral("address1")).toString();
    m_address2 = member->value(QStringLiteral("address2")).toString();
    m_obText = Money::fromVariant(member->value(QStringLiteral("ob"))).toString();
    m_rows.clear();
    m_loadedStamp = stamp();
    // Entries of one moment keep the order they were written in.
    const auto entries = m_db.rows(QStringLiteral("SELECT Date, part, credit, debit FROM "
                                                  "transactions WHERE memberid = ? "
                                                  "ORDER BY Date, rowid"),
                                   {m_id}, Label);
    for (const QSqlRecord& e : entries) {
        Row r;
        r.date = Database::parseTime(e.value(0));
        r.part = e.value(1).toString();
        r.credit = e.value(2).isNull() ? QString() : Money::fromVariant(e.value(2)).toString();
        r.debit = e.value(3).isNull() ? QString() : Money::fromVariant(e.value(3)).toString();
        m_rows.append(r);
    }
    if (m_rows.isEmpty()) {
        m_rows.append(Row{});
    }
    Q_EMIT changed();
    return true;
}

QString MemberLedger::stamp() const
{
    const auto r = m_db.firstRow(QStringLiteral("SELECT count(*), max(rowid) FROM transactions "
                                                "WHERE memberid = ?"),
                                 {m_id}, Label);
    return r ? r->value(0).toString() + QLatin1Char('/') + r->value(1).toString() : QString();
}

void MemberLedger::unload()
{
    m_loaded = false;
    m_id.clear();
    m_name.clear();
    m_address1.clear();
    m_address2.clear();
    m_obText.clear();
    m_rows = {Row{}};
    Q_EMIT changed();
}

QString MemberLedger::cellText(int r, int column) const
{
    if (r < 0 || r >= m_rows.size()) {
        return {};
    }
    const Row& row = m_rows.at(r);
    switch (column) {
    case DateColumn:
        return dateText(row.date);
    case PartColumn:
        return row.part;
    case CreditColumn:
        return row.credit;
    case DebitColumn:
        return row.debit;
    case BalanceColumn:
        return m_loaded ? balance(r).toString() : QString();
    default:
        return {};
    }
}

void MemberLedger::setDate(int r, const QDateTime& date)
{
    if (r < 0 || r >= m_rows.size()) {
        return;
    }
    m_rows[r].date = date;
    Q_EMIT changed();
}

void MemberLedger::setText(int r, int column, const QString& text)
{
    if (r < 0 || r >= m_rows.size()) {
        return;
    }
    Row& row = m_rows[r];
    switch (column) {
    case DateColumn: {
        const QDate day = QDate::fromString(text.trimmed(), DateFormat);
        if (!day.isValid()) {
            row.date = Database::parseTime(text);
        } else if (!row.date.isValid() || row.date.date() != day) {
            row.date = QDateTime(day, row.date.isValid() ? row.date.time() : QTime(0, 0));
        }
        break;
    }
    case PartColumn:
        row.part = text;
        break;
    case CreditColumn:
        row.credit = text;
        break;
    case DebitColumn:
        row.debit = text;
        break;
    default:
        return;
    }
    Q_EMIT changed();
}

Money MemberLedger::balance(int r) const
{
    Money b = Money::parse(m_obText);
    for (int i = 0; i <= r && i < m_rows.size(); ++i) {
        b += Money::parse(m_rows.at(i).credit) - Money::parse(m_rows.at(i).debit);
    }
    return b;
}

int MemberLedger::addRow()
{
    if (!m_loaded || !Prompt::yesNo(QStringLiteral("Do you want to Add New Entry"),
                                    QStringLiteral("Message"), Prompt::Icon::Question)) {
        return -1;
    }
    Row r;
    r.date = Clock::now();
    m_rows.append(r);
    Q_EMIT changed();
    return int(m_rows.size()) - 1;
}

bool MemberLedger::removeRow(int r)
{
    if (!m_loaded || r < 0 || r >= m_rows.size()) {
        return false;
    }
    if (!Prompt::yesNo(QStringLiteral("Do you want to Delete Entry"), QStringLiteral("Message"),
                       Prompt::Icon::Question)) {
        return false;
    }
    m_rows.removeAt(r);
    Q_EMIT changed();
    return true;
}

bool MemberLedger::save()
{
    if (!m_loaded) {
        return false;
    }
    for (const Row& r : m_rows) {
        if (!r.date.isValid() || (r.credit.isEmpty() && r.debit.isEmpty())) {
            Prompt::message(QStringLiteral("Please Delete Empty Records"),
                            QStringLiteral("Not Saved"), Prompt::Icon::Critical);
            return false;
        }
    }
    if (!Prompt::yesNo(QStringLiteral("Do you want to Save"), QStringLiteral("Message"),
                       Prompt::Icon::Question)) {
        return false;
    }
    // All or nothing: a failure half-way must not leave the member with part of a ledger.
    // The rows are rewritten from the copy loaded earlier, so an entry written meanwhile (a
    // session's bill or a top-up) would be wiped: then nothing is written.
    bool stale = false;
    const bool ok = m_db.transaction(
        [&] {
            // The member is held first, so an entry another desk writes meanwhile is either
            // counted in the stamp or waits for this save.
            const qint64 held = Claims::member(m_db, m_id, Label);
            if (held < 0) {
                return false;
            }
            if (held == 0 || stamp() != m_loadedStamp) {
                stale = true;
                return false;
            }
            if (!m_db.run(QStringLiteral("DELETE FROM transactions WHERE memberid = ?"), {m_id},
                          Label)) {
                return false;
            }
            for (const Row& r : m_rows) {
                if (!m_db.run(QStringLiteral("INSERT INTO transactions (memberid, Date, part, "
                                             "credit, debit) VALUES (?, ?, ?, ?, ?)"),
                              {m_id, Database::timeText(r.date), r.part, amountOrNull(r.credit),
                               amountOrNull(r.debit)},
                              Label)) {
                    return false;
                }
            }
            return true;
        },
        Label);
    if (stale) {
        Prompt::message(QStringLiteral("Transactions Not Saved: this member's entries were "
                                       "changed meanwhile. The ledger is shown again as it is "
                                       "now; please make your changes again."),
                        QStringLiteral("Not Saved"), Prompt::Icon::Critical);
        load(m_id);
        return false;
    }
    if (!ok) {
        Prompt::message(QStringLiteral("Transactions Not Saved, the ledger is unchanged"),
                        QStringLiteral("Not Saved"), Prompt::Icon::Critical);
        return false;
    }
    m_db.notifyChanged(QStringLiteral("transactions"));
    unload();
    return true;
}
