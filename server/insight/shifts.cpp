// SPDX-License-Identifier: Apache-2.0
#include "server/insight/shifts.h"

#include "server/accounts/consolesettings.h"
#include "server/core/claims.h"
#include "server/core/database.h"
#include "server/insight/takings.h"

#include <QSqlRecord>

namespace {

const QString Label = QStringLiteral("frmshiftclose");

QString unitsSum(const QString& expr)
{
    return QStringLiteral("SUM(CAST(round(COALESCE(%1, 0) * %2) AS BIGINT))")
        .arg(expr)
        .arg(Money::Scale);
}

Money units(const QVariant& v)
{
    return Money::fromUnits(v.toLongLong());
}

// The close of the latest shift: where the open one starts (invalid before the first close).
QDateTime lastClose(Database& db)
{
    return Database::parseTime(
        db.scalar(QStringLiteral("SELECT closed FROM shifts ORDER BY id DESC LIMIT 1"), {}, Label));
}

// The figures of the bills marked `shift` (NULL: the open shift) and of the top-ups dated in
// [opened, closed).
Shifts::Figures figuresOf(Database& db, const QVariant& shift, const QDateTime& opened,
                          const QDateTime& closed)
{
    Shifts::Figures f;
    f.opened = opened;
    f.closed = closed;
    const QString which =
        shift.isNull() ? QStringLiteral("shift IS NULL") : QStringLiteral("shift = ?");
    const QVariantList params = shift.isNull() ? QVariantList{Takings::TicketsTerminal}
                                               : QVariantList{Takings::TicketsTerminal, shift};
    // A bill paid from a ticket is in its shift but brought no money: it was taken at the sale.
    const QString paid = QStringLiteral("CASE WHEN ticket IS NULL OR ticket = '' THEN %1 END");
    const auto r = db.firstRow(
        QStringLiteral("SELECT count(*), min(billno), max(billno), %1, %2, %3, %4, %5 FROM "
                       "(SELECT *, terminal = ? AS sale FROM history WHERE billno IS NOT NULL "
                       "AND %6) AS bills")
            .arg(unitsSum(paid.arg(QStringLiteral("CASE WHEN sale THEN 0 ELSE charge END"))),
                 unitsSum(paid.arg(QStringLiteral("CASE WHEN sale THEN 0 ELSE otheramt END"))),
                 unitsSum(paid.arg(QStringLiteral("CASE WHEN sale THEN netamount END"))),
                 unitsSum(paid.arg(QStringLiteral(
                     "CASE WHEN sale THEN 0 ELSE COALESCE(netamount, 0) - COALESCE(charge, 0) - "
                     "COALESCE(otheramt, 0) END"))),
                 unitsSum(paid.arg(QStringLiteral("received"))), which),
        params, Label);
    if (r) {
        f.bills = r->value(0).toInt();
        f.firstBill = r->value(1).toLongLong();
        f.lastBill = r->value(2).toLongLong();
        f.time = units(r->value(3));
        f.jobWork = units(r->value(4));
        f.tickets = units(r->value(5));
        f.adjustment = units(r->value(6));
        f.expected = units(r->value(7));
    }
    const QVariant topUps = db.scalar(
        QStringLiteral("SELECT %1 FROM transactions WHERE part = ? AND Date >= ? AND Date < ?")
            .arg(unitsSum(QStringLiteral("credit"))),
        {QStringLiteral("Top-up"),
         opened.isValid() ? Database::timeText(opened) : QStringLiteral("0"),
         Database::timeText(closed)},
        Label);
    f.topUps = units(topUps);
    f.expected += f.topUps;
    return f;
}

Shifts::Shift fromRow(const QSqlRecord& r)
{
    Shifts::Shift s;
    auto money = [&r](const char* c) { return Money::fromVariant(r.value(QLatin1String(c))); };
    s.id = r.value(QStringLiteral("id")).toLongLong();
    Shifts::Figures& f = s.figures;
    f.opened = Database::parseTime(r.value(QStringLiteral("opened")));
    f.closed = Database::parseTime(r.value(QStringLiteral("closed")));
    f.closedBy = r.value(QStringLiteral("closedby")).toString();
    f.bills = r.value(QStringLiteral("bills")).toInt();
    f.firstBill = r.value(QStringLiteral("firstbill")).toLongLong();
    f.lastBill = r.value(QStringLiteral("lastbill")).toLongLong();
    f.time = money("timebilled");
    f.jobWork = money("jobwork");
    f.tickets = money("tickets");
    f.adjustment = money("adjustment");
    f.topUps = money("topups");
    f.expected = money("expected");
    f.counted = money("counted");
    return s;
}

} // namespace

Shifts::Figures Shifts::current(Database& db, const QDateTime& now)
{
    return figuresOf(db, QVariant(), lastClose(db), now);
}

std::optional<Shifts::Shift> Shifts::close(Database& db, const QDateTime& now,
                                           const QString& operatorName, Money counted)
{
    Shift s;
    const bool ok = db.transaction(
        [&] {
            // Read with the bill numbers held: a bill settled meanwhile, on any desk, is either
            // in this shift or after it.
            if (!Claims::billNumbers(db, Label)) {
                return false;
            }
            Figures f = figuresOf(db, QVariant(), lastClose(db), now);
            f.closedBy = operatorName;
            f.counted = counted;
            if (f.opened.isValid() && now < f.opened) {
                // The clock went back: the shift cannot end before it began.
                f.closed = f.opened;
            }
            s.id =
                db.insert(QStringLiteral("INSERT INTO shifts (opened, closed, closedby, bills, "
                                         "firstbill, lastbill, timebilled, jobwork, tickets, "
                                         "adjustment, topups, expected, counted) VALUES (?, ?, ?, "
                                         "?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                          {f.opened.isValid() ? QVariant(Database::timeText(f.opened)) : QVariant(),
                           Database::timeText(f.closed), f.closedBy, f.bills, f.firstBill,
                           f.lastBill, f.time.toVariant(), f.jobWork.toVariant(),
                           f.tickets.toVariant(), f.adjustment.toVariant(), f.topUps.toVariant(),
                           f.expected.toVariant(), f.counted.toVariant()},
                          Label);
            s.figures = f;
            return s.id > 0 && db.run(QStringLiteral("UPDATE history SET shift = ? WHERE "
                                                     "shift IS NULL"),
                                      {s.id}, Label);
        },
        Label);
    if (!ok) {
        return std::nullopt;
    }
    db.notifyChanged(QStringLiteral("shifts"));
    return s;
}

QList<Shifts::Shift> Shifts::closed(Database& db, int limit)
{
    QList<Shift> out;
    for (const QSqlRecord& r :
         db.rows(QStringLiteral("SELECT * FROM shifts ORDER BY id DESC LIMIT ?"), {limit}, Label)) {
        out.append(fromRow(r));
    }
    return out;
}

std::optional<Shifts::Shift> Shifts::find(Database& db, qint64 id)
{
    const auto r = db.firstRow(QStringLiteral("SELECT * FROM shifts WHERE id = ?"), {id}, Label);
    if (!r) {
        return std::nullopt;
    }
    return fromRow(*r);
}

ReportDocument Shifts::document(const Shift& shift)
{
    const Figures& f = shift.figures;
    const ConsoleSettings settings;
    auto when = [](const QDateTime& t) {
        return t.isValid() ? t.toString(QStringLiteral("dd-MMM-yyyy hh:mm AP"))
                           : QStringLiteral("the start");
    };
    ReportDocument doc;
    doc.applyListPageSetup();
    doc.setTitle(QStringLiteral("Shift %1").arg(shift.id));
    doc.setTableBorder(TableBorder::None);
    doc.setBold(true);
    doc.setFontSize(12);
    doc.addTableRow(QStringLiteral("^9500"), {}, {settings.cafeName()});
    doc.setFontSize(10);
    doc.addTableRow(QStringLiteral("^9500"), {},
                    {QStringLiteral("SHIFT CLOSE No %1").arg(shift.id)});
    doc.setBold(false);
    const QString two = QStringLiteral("<4500|>5000");
    doc.addTableRow(two, {}, {QStringLiteral("From"), when(f.opened)});
    doc.addTableRow(two, {}, {QStringLiteral("To"), when(f.closed)}, {}, true);
    doc.addTableRow(two, {}, {QStringLiteral("Closed By"), f.closedBy}, {}, true);
    doc.addTableRow(
        two, {},
        {QStringLiteral("Bills"),
         f.bills == 0
             ? QStringLiteral("0")
             : QStringLiteral("%1 (No %2 to %3)").arg(f.bills).arg(f.firstBill).arg(f.lastBill)},
        {}, true);
    doc.setTableBorder(TableBorder::All);
    const QList<QPair<QString, Money>> lines{
        {QStringLiteral("Time"), f.time},
        {QStringLiteral("Job Work"), f.jobWork},
        {QStringLiteral("Tickets"), f.tickets},
        {QStringLiteral("Net Entered by Hand"), f.adjustment},
        {QStringLiteral("Total Billed"), f.billed()},
        {QStringLiteral("Member Top-ups"), f.topUps},
        {QStringLiteral("Cash Expected"), f.expected},
        {QStringLiteral("Cash Counted"), f.counted},
        {QStringLiteral("Difference"), f.difference()},
    };
    bool first = true;
    for (const auto& [name, amount] : lines) {
        doc.addTableRow(two, {}, {name, amount.toString()}, {}, !first);
        first = false;
    }
    return doc;
}
