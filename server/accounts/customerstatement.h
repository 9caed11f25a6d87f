// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"
#include "server/accounts/reportdocument.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

class Database;

// A member's account statement for a period: the balance brought forward to the start of
// the period, every entry of the period with the balance after it, and the period's totals.
namespace CustomerStatement {

struct Member
{
    QString memberid; // as stored
    QString name;
    QString address1;
    QString address2;
    Money ob;
};

struct Entry
{
    QDateTime date;
    QString part;
    QVariant credit; // null when none was entered
    QVariant debit;
    Money balance;
};

struct Statement
{
    Member member;
    QDateTime from;
    QDateTime to;
    Money opening;
    QList<Entry> entries;
    Money creditTotal;
    Money debitTotal;
};

// All member ids in the register's order.
QStringList memberIds(Database& db);
// The member whose id, without surrounding blanks, equals `id` without them.
std::optional<Member> findMember(Database& db, const QString& id);

// Entries dated before `from` are brought forward into the opening balance; the period runs
// from `from` to `to`, both included, each compared as the full date and time it carries.
Statement build(Database& db, const Member& member, const QDateTime& from, const QDateTime& to);

ReportDocument compose(const Statement& s);

} // namespace CustomerStatement
