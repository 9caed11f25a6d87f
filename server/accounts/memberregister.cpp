// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/memberregister.h"

#include "common/clock.h"
#include "common/prompt.h"
#include "server/core/database.h"

#include <QSqlRecord>

namespace {

const QString Label = QStringLiteral("frmmember cmdbtn click");

QString text(const QSqlRecord& r, const char* column)
{
    return r.value(QString::fromLatin1(column)).toString();
}

} // namespace

MemberRegister::MemberRegister(Database& db, QObject* parent) : QObject(parent), m_db(db) {}

QStringList MemberRegister::memberIds() const
{
    QStringList ids;
    for (const QSqlRecord& r :
         m_db.rows(QStringLiteral("SELECT memberid FROM members ORDER BY rowid"), {}, Label)) {
        ids.append(r.value(0).toString());
    }
    return ids;
}

QStringList MemberRegister::usageTypes() const
{
    QStringList out;
    for (const QSqlRecord& r : m_db.rows(
             QStringLiteral("SELECT \"user\" FROM user_category ORDER BY rowid"), {}, Label)) {
        out.append(r.value(0).toString());
    }
    return out;
}

void MemberRegister::chooseId(const QString& id)
{
    if (id.isEmpty()) {
        return;
    }
    m_id = id;
    m_canDelete = false;
    m_canSave = true;
    // Ids typed with stray blanks still find their member.
    const auto row = m_db.firstRow(
        QStringLiteral("SELECT * FROM members WHERE trim(memberid) = ? ORDER BY rowid LIMIT 1"),
        {id.trimmed()}, Label);
    if (!row) {
        m_newMode = true;
        m_storedId.clear();
        Q_EMIT changed();
        return;
    }
    m_storedId = text(*row, "memberid");
    m_fields.name = text(*row, "name");
    m_fields.address1 = text(*row, "address1");
    m_fields.address2 = text(*row, "address2");
    m_fields.email = text(*row, "email");
    m_fields.openingBalance = Money::fromVariant(row->value(QStringLiteral("ob"))).toString();
    m_fields.password = text(*row, "Password");
    m_fields.category = text(*row, "category");
    m_newMode = false;
    m_canDelete = true;
    m_canSave = true;
    Q_EMIT changed();
}

void MemberRegister::newRecord()
{
    m_newMode = true;
    m_id.clear();
    m_storedId.clear();
    m_fields = Fields{};
    m_canDelete = false;
    m_canSave = false;
    Q_EMIT changed();
}

bool MemberRegister::save()
{
    if (!m_canSave) {
        return false;
    }
    if (m_fields.name.trimmed().isEmpty()) {
        Prompt::message(QStringLiteral("Member Name Not found"),
                        QStringLiteral("Invalid Entry, Not Saved"), Prompt::Icon::Question);
        return false;
    }
    const Money ob = Money::parse(m_fields.openingBalance);
    const QVariantList values{m_fields.name,  m_fields.address1, m_fields.address2, m_fields.email,
                              ob.toVariant(), m_fields.password, m_fields.category};
    if (!m_newMode) {
        if (!Prompt::yesNo(QStringLiteral("Save Modified Member Information ID : ") + m_id,
                           QStringLiteral("Warning"), Prompt::Icon::Critical)) {
            return false;
        }
        QVariantList params = values;
        params.append(m_storedId);
        const bool ok = m_db.run(QStringLiteral("UPDATE members SET name = ?, address1 = ?, "
                                                "address2 = ?, email = ?, ob = ?, Password = ?, "
                                                "category = ? WHERE memberid = ?"),
                                 params, Label);
        if (ok) {
            m_fields.openingBalance = ob.toString();
            m_db.notifyChanged(QStringLiteral("members"));
            Q_EMIT changed();
        }
        return ok;
    }
    const QString newId = m_id.trimmed();
    if (newId.isEmpty()) {
        return false;
    }
    if (!Prompt::yesNo(QStringLiteral("Save New Member Information ID : ") + m_id,
                       QStringLiteral("Message"), Prompt::Icon::Question)) {
        return false;
    }
    // The id may have been taken since it was looked up, or typed without a look-up: two
    // members under one id would share one ledger.
    const QVariant taken = m_db.scalar(
        QStringLiteral("SELECT count(*) FROM members WHERE trim(memberid) = ?"), {newId}, Label);
    if (taken.toLongLong() > 0) {
        Prompt::message(QStringLiteral("Member ID : ") + newId + QStringLiteral(" Already Exists"),
                        QStringLiteral("Invalid Entry, Not Saved"), Prompt::Icon::Critical);
        return false;
    }
    QVariantList params{newId};
    params.append(values);
    params.append(Database::timeText(Clock::now()));
    const bool ok = m_db.run(QStringLiteral("INSERT INTO members (memberid, name, address1, "
                                            "address2, email, ob, Password, category, "
                                            "createddate) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                             params, Label);
    if (!ok) {
        Prompt::message(QStringLiteral("Member Information Not Saved"), QStringLiteral("Message"),
                        Prompt::Icon::Critical);
        return false;
    }
    m_db.notifyChanged(QStringLiteral("members"));
    newRecord();
    return true;
}

bool MemberRegister::remove()
{
    if (!m_canDelete || m_newMode) {
        return false;
    }
    if (!Prompt::yesNo(QStringLiteral("Delete Member Information ID : ") + m_id,
                       QStringLiteral("Warning"), Prompt::Icon::Critical)) {
        return false;
    }
    if (!Prompt::yesNo(QStringLiteral("Deleting the Member Information Removed all Transactions "
                                      "of the Member  \r Still do you want to Delete the "
                                      "Account ID : ") +
                           m_id,
                       QStringLiteral("Warning"), Prompt::Icon::Critical)) {
        return false;
    }
    const QString id = m_storedId;
    const bool ok = m_db.transaction(
        [&] {
            // The member's row first: it is what a settlement or a top-up on another desk
            // claims, so none of theirs can add a ledger line between the two deletes.
            return m_db.change(QStringLiteral("DELETE FROM members WHERE memberid = ?"), {id},
                               Label) > 0 &&
                   m_db.run(QStringLiteral("DELETE FROM transactions WHERE memberid = ?"), {id},
                            Label);
        },
        Label);
    if (!ok) {
        Prompt::message(QStringLiteral("Member Information Not Deleted"), QStringLiteral("Message"),
                        Prompt::Icon::Critical);
        return false;
    }
    m_db.notifyChanged(QStringLiteral("members"));
    m_db.notifyChanged(QStringLiteral("transactions"));
    newRecord();
    return true;
}

bool MemberRegister::isAmountKey(int key, const QString& text)
{
    if (key == Qt::Key_Backspace) {
        return true;
    }
    return text.size() == 1 && (text.at(0).isDigit() || text.at(0) == QLatin1Char('.')) &&
           text.at(0).unicode() < 128;
}
