// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/historyreport.h"

#include "common/money.h"
#include "server/core/database.h"

namespace {

const QString Label = QStringLiteral("frmrpthistory");

const QString NothingFound = QStringLiteral("No History Details Found");

QStringList distinct(Database& db, const QString& column, const QString& where = {})
{
    QStringList out;
    // In the order the values first appear in the history.
    const auto rows = db.rows(QStringLiteral("SELECT %1 FROM history %2 GROUP BY %1 "
                                             "ORDER BY min(rowid)")
                                  .arg(column, where),
                              {}, Label);
    for (const QSqlRecord& r : rows) {
        out.append(r.value(0).toString());
    }
    return out;
}

// A selection that ran but found nothing says so: a Print that does nothing looks broken.
HistoryReport::Selection checked(HistoryReport::Selection s)
{
    if (s.message.isEmpty() && s.rows.isEmpty()) {
        s.message = NothingFound;
    }
    return s;
}

} // namespace

QStringList HistoryReport::terminals(Database& db)
{
    return distinct(db, QStringLiteral("terminal"));
}

QStringList HistoryReport::categories(Database& db)
{
    return distinct(db, QStringLiteral("\"user\""));
}

QStringList HistoryReport::members(Database& db)
{
    return distinct(db, QStringLiteral("memberid"),
                    QStringLiteral("WHERE memberid IS NOT NULL AND memberid <> ''"));
}

qint64 HistoryReport::typedNumber(const QString& text)
{
    return Money::parse(text).units() / Money::Scale;
}

HistoryReport::Selection HistoryReport::byBillRange(Database& db, const QString& fromText,
                                                    const QString& toText)
{
    Selection s;
    const Money from = Money::parse(fromText);
    const Money to = Money::parse(toText);
    if (from.isZero() || to.isZero()) {
        s.message = QStringLiteral("Please Enter the Bill No");
        return s;
    }
    if (to < from) {
        s.message = QStringLiteral("Please Enter Valid Bill No");
        return s;
    }
    s.rows = db.rows(QStringLiteral("SELECT * FROM history WHERE billno >= CAST(? AS NUMERIC) AND "
                                    "billno <= CAST(? AS NUMERIC) ORDER BY billno, rowid"),
                     {from.toDouble(), to.toDouble()}, Label);
    s.title = QStringLiteral("HISTORY DETAILS BETWEEN BILL NO From ") + fromText +
              QStringLiteral(" To ") + toText;
    return checked(s);
}

HistoryReport::Selection HistoryReport::byTerminal(Database& db, const QString& terminal)
{
    Selection s;
    if (terminal.isEmpty()) {
        s.message = QStringLiteral("Please Select the Terminal");
        return s;
    }
    s.rows = db.rows(QStringLiteral("SELECT * FROM history WHERE terminal = ? ORDER BY rowid"),
                     {terminal}, Label);
    s.title = QStringLiteral("HISTORY DETAILS OF THE TERMNAL : ") + terminal;
    return checked(s);
}

HistoryReport::Selection HistoryReport::byCategory(Database& db, const QString& category)
{
    Selection s;
    if (category.isEmpty()) {
        s.message = QStringLiteral("Please Select the Usage Type");
        return s;
    }
    s.rows = db.rows(QStringLiteral("SELECT * FROM history WHERE \"user\" = ? ORDER BY rowid"),
                     {category}, Label);
    s.title = QStringLiteral("HISTORY DETAILS OF THE USER : ") + category;
    return checked(s);
}

HistoryReport::Selection HistoryReport::byMember(Database& db, const QString& memberId)
{
    Selection s;
    if (memberId.isEmpty()) {
        s.message = members(db).isEmpty() ? QStringLiteral("No Member Sessions in the History")
                                          : QStringLiteral("Please Select the Member");
        return s;
    }
    s.rows = db.rows(QStringLiteral("SELECT * FROM history WHERE memberid = ? ORDER BY rowid"),
                     {memberId}, Label);
    s.title = QStringLiteral("HISTORY DETAILS OF THE MEMBER : ") + memberId;
    return checked(s);
}

std::optional<qint64> HistoryReport::reprintNumber(Database& db, const QString& answer,
                                                   QString* message)
{
    if (answer.trimmed().isEmpty()) {
        return std::nullopt;
    }
    // The number as typed, fraction included: "7.6" names no bill, it is not bill 7.
    const Money typed = Money::parse(answer);
    const qint64 billno = typedNumber(answer);
    const QVariant found =
        db.scalar(QStringLiteral("SELECT count(*) FROM history WHERE billno = CAST(? AS NUMERIC)"),
                  {typed.toVariant()}, QStringLiteral("Bill Reprint"));
    if (found.toLongLong() == 0) {
        if (message) {
            *message = QStringLiteral("Bill No Not found");
        }
        return std::nullopt;
    }
    return billno;
}
