// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/accounts/reportdocument.h"

#include <QDateTime>
#include <QList>
#include <QSqlRecord>
#include <QString>

class Database;

// The console's printed documents: the bill of one settled session and the titled list of
// billed sessions. Each reads the cafe's heading texts afresh from the console settings.
namespace ReportComposer {

// The bill of that number: headings, bill number and date, time spent and category, the
// detail table (time, then the job-work lines), the total, received and net amount lines, and
// the balance due or the change between the net and the received amount when they differ.
// A number without a bill gives an empty document.
ReportDocument composeBill(Database& db, qint64 billno);

// The list of history rows under the cafe's name and the title, with the sum of their net
// amounts. Column names are matched without regard to case.
ReportDocument composeHistoryList(const QString& title, const QList<QSqlRecord>& rows);

// Text forms of stored values as the reports print them.
// A stored number in its plain form ("12.5", "3"); empty for a null value.
QString numberText(const QVariant& v);
// "d-MMM hh:mm AM/PM" of a stored time; empty when it is not a time.
QString listTimeText(const QVariant& v);
// The short date of a stored time.
QString shortDateText(const QVariant& v);
// The general date form: the short date, followed by the time when it is not midnight.
QString generalDateText(const QDateTime& t);
// A stored time, read quickly in the database's own form.
QDateTime storedTime(const QVariant& v);

} // namespace ReportComposer
