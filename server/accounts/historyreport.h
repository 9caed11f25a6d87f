// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QList>
#include <QSqlRecord>
#include <QString>
#include <QStringList>

#include <optional>

class Database;

// The selections of the history report and the check of the bill reprint. Nothing here
// shows anything: the window says the message and hands the rows to the list printer.
namespace HistoryReport {

struct Selection
{
    QString message; // a refusal to show the operator ("" when the selection ran)
    QString title;   // the list's title
    QList<QSqlRecord> rows;
};

QStringList terminals(Database& db);  // distinct history terminals
QStringList categories(Database& db); // distinct history usage categories
QStringList members(Database& db);    // distinct member ids of billed member sessions

// Bills from `fromText` to `toText` (numeric values of the texts as typed, both included);
// the title carries the texts as typed.
Selection byBillRange(Database& db, const QString& fromText, const QString& toText);
// Every selection either has rows or says why it has none.
Selection byTerminal(Database& db, const QString& terminal);
Selection byCategory(Database& db, const QString& category);
Selection byMember(Database& db, const QString& memberId);

// The numeric value at the start of a typed text ("12abc" is 12, "abc" is 0).
qint64 typedNumber(const QString& text);

// The bill number to reprint for the operator's answer: nullopt with no message for an empty
// answer, nullopt with "Bill No Not found" in `message` when no bill has that number.
std::optional<qint64> reprintNumber(Database& db, const QString& answer, QString* message);

} // namespace HistoryReport
