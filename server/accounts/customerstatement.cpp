// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/customerstatement.h"

#include "server/accounts/consolesettings.h"
#include "server/accounts/reportcomposer.h"
#include "server/core/database.h"

namespace {
const QString Label = QStringLiteral("frmtranrepo");
} // namespace

QStringList CustomerStatement::memberIds(Database& db)
{
    QStringList ids;
    const auto rows =
        db.rows(QStringLiteral("SELECT memberid FROM members ORDER BY rowid"), {}, Label);
    for (const QSqlRecord& r : rows) {
        ids.append(r.value(0).toString());
    }
    return ids;
}

std::optional<CustomerStatement::Member> CustomerStatement::findMember(Database& db,
                                                                       const QString& id)
{
    const QString wanted = id.trimmed();
    if (wanted.isEmpty()) {
        return std::nullopt;
    }
    const auto row =
        db.firstRow(QStringLiteral("SELECT memberid, name, address1, address2, ob FROM members "
                                   "WHERE trim(memberid) = ? ORDER BY rowid"),
                    {wanted}, Label);
    if (!row) {
        return std::nullopt;
    }
    Member m;
    m.memberid = row->value(0).toString();
    m.name = row->value(1).toString();
    m.address1 = row->value(2).toString();
    m.address2 = row->value(3).toString();
    m.ob = Money::fromVariant(row->value(4));
    return m;
}

CustomerStatement::Statement CustomerStatement::build(Database& db, const Member& member,
                                                      const QDateTime& from, const QDateTime& to)
{
    Statement s;
    s.member = member;
    s.from = from;
    s.to = to;
    const QString id = member.memberid.trimmed();
    // Sums are taken here in exact money, not by the database in floating point.
    s.opening = member.ob;
    const auto before = db.rows(QStringLiteral("SELECT credit, debit FROM transactions "
                                               "WHERE trim(memberid) = ? AND Date < ?"),
                                {id, Database::timeText(from)}, Label);
    for (const QSqlRecord& r : before) {
        s.opening += Money::fromVariant(r.value(0));
        s.opening -= Money::fromVariant(r.value(1));
    }
    const auto rows = db.rows(QStringLiteral("SELECT Date, part, credit, debit FROM transactions "
                                             "WHERE trim(memberid) = ? AND Date >= ? AND Date <= ? "
                                             "ORDER BY Date, rowid"),
                              {id, Database::timeText(from), Database::timeText(to)}, Label);
    Money balance = s.opening;
    for (const QSqlRecord& r : rows) {
        Entry e;
        e.date = ReportComposer::storedTime(r.value(0));
        e.part = r.value(1).toString();
        e.credit = r.value(2);
        e.debit = r.value(3);
        if (!e.credit.isNull()) {
            const Money c = Money::fromVariant(e.credit);
            balance += c;
            s.creditTotal += c;
        }
        if (!e.debit.isNull()) {
            const Money d = Money::fromVariant(e.debit);
            balance -= d;
            s.debitTotal += d;
        }
        e.balance = balance;
        s.entries.append(e);
    }
    return s;
}

ReportDocument CustomerStatement::compose(const Statement& s)
{
    using ReportComposer::numberText;
    ReportDocument doc;
    const ConsoleSettings settings;
    doc.applyListPageSetup();
    doc.setTableBorder(TableBorder::None);
    doc.setBold(true);
    doc.setFontSize(12);
    doc.addTableRow(QStringLiteral("^9000"), {}, {settings.cafeName()});
    doc.setFontSize(10);
    doc.addTableRow(QStringLiteral("^9000"), {}, {QStringLiteral("Customer Transaction Report")});
    doc.addParagraph(QStringLiteral(" "));
    doc.setBold(false);

    const QString memberFormat = QStringLiteral("<2000|<7000");
    doc.addTableRow(memberFormat, {}, {QStringLiteral("Member ID "), s.member.memberid});
    doc.addTableRow(memberFormat, {}, {QStringLiteral("Name      "), s.member.name});
    doc.addTableRow(memberFormat, {},
                    {QStringLiteral("Address   "),
                     s.member.address1 + QStringLiteral(", ") + s.member.address2});
    doc.addTableRow(memberFormat, {}, {QStringLiteral("Opening Balance "), s.opening.toString()});

    doc.setTableBorder(TableBorder::All);
    const QString format = QStringLiteral("^2700|<3000|>1000|>1000|>1500");
    const QString header = QStringLiteral("Date|Particular | Credit|Debit |Balance|");
    bool first = true;
    for (const Entry& e : s.entries) {
        doc.addTableRow(format, header,
                        {ReportComposer::generalDateText(e.date), e.part, numberText(e.credit),
                         numberText(e.debit), e.balance.toString()},
                        ReportDocument::HeaderShade, !first);
        first = false;
    }
    if (!s.entries.isEmpty()) {
        doc.setTableBorder(TableBorder::Below);
        doc.addTableRow(format, header,
                        {QString(), QStringLiteral("Total : "), s.creditTotal.toString(),
                         s.debitTotal.toString(), QString()},
                        ReportDocument::HeaderShade, true);
    }
    return doc;
}
