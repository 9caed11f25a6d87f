// SPDX-License-Identifier: Apache-2.0
#pragma once

// The cafe's books as its reports read them, beside what the cashiers and the customers were
// told (the journal the consoles append to), and the invariants that must hold between the two
// after every phase of a system test: whatever was killed, cut or raced, nothing confirmed is
// lost, nothing is billed twice, bill numbers run without a gap and every ledger is exact.
#include "cafeday_processes.h"
#include "common/money.h"
#include "server/core/databasetarget.h"

#include <QRegularExpression>
#include <QSet>
#include <QSqlDatabase>
#include <QSqlError>
#include <QSqlQuery>
#include <QSqlRecord>

#include <algorithm>
#include <map>

namespace SystemTest {

// A session as the cashier's journal knows it: (terminal, sstart) while it runs.
struct JournalSession
{
    QString terminal;
    QString sstart;
    bool billed = false;
    QString billNo; // "none" for maintenance
};

struct Bill
{
    QString terminal;
    QString sstart;
    QString member;
    Money received;
    Money net;
    QString ticket; // the ticket it was paid from
};

// A prepaid session a customer was told had started.
struct PrepaidRecord
{
    QString terminal; // where it started
    QString sstart;
    QString account; // the ticket's code or the member's id
    bool member = false;
    Money held; // the most credit it held
};

class CafeBooks
{
public:
    // The consoles' database, and the journal every console of the test appends to (a line
    // of a desk of a shared database ends with desk=<name>).
    DatabaseTarget target;
    QString journalPath;

    // What the test has learnt of every bill (kept after housekeeping removes it).
    std::map<qint64, Bill> knownBills;
    QList<QPair<qint64, qint64>> housekept;
    std::map<QString, Money> openingBalance;
    std::map<QString, Money> ledgerEdits; // credits less debits typed in the ledger window
    std::map<QString, PrepaidRecord> prepaidSessions; // by account|sstart

    QSqlDatabase reader()
    {
        const QString name = QStringLiteral("cafeday-reader");
        const bool shared = target.kind == DatabaseTarget::Kind::PostgreSQL;
        QSqlDatabase db = QSqlDatabase::contains(name)
                              ? QSqlDatabase::database(name, false)
                              : QSqlDatabase::addDatabase(shared ? "QPSQL" : "QSQLITE", name);
        if (!db.isOpen()) {
            if (shared) {
                db.setHostName(target.host);
                db.setPort(target.port);
                db.setDatabaseName(target.name);
                db.setUserName(target.user);
                db.setPassword(target.password);
                // Money as exact text, as the console reads it.
                db.setNumericalPrecisionPolicy(QSql::HighPrecision);
            } else {
                db.setDatabaseName(target.file);
                db.setConnectOptions("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=10000");
            }
            db.open();
        }
        return db;
    }
    void closeReader()
    {
        if (QSqlDatabase::contains("cafeday-reader")) {
            QSqlDatabase::database("cafeday-reader", false).close();
        }
    }
    static void dropReader() { QSqlDatabase::removeDatabase("cafeday-reader"); }

    QList<QVariantList> rows(const QString& sql, const QVariantList& params = {})
    {
        QSqlQuery q(reader());
        q.prepare(sql);
        for (const QVariant& p : params) {
            q.addBindValue(p);
        }
        QList<QVariantList> out;
        if (!q.exec()) {
            qWarning() << "query failed" << sql << q.lastError().text();
            return out;
        }
        while (q.next()) {
            QVariantList r;
            for (int i = 0; i < q.record().count(); ++i) {
                r.append(q.value(i));
            }
            out.append(r);
        }
        return out;
    }

    QVariant scalar(const QString& sql, const QVariantList& params = {})
    {
        const auto r = rows(sql, params);
        return r.isEmpty() ? QVariant() : r.first().value(0);
    }

    int count(const QString& sql, const QVariantList& params = {})
    {
        return scalar(sql, params).toInt();
    }
    // The query counting the groups of `from` that have more than one row.
    static QString twice(const QString& from, const QString& groupBy)
    {
        return QString("SELECT count(*) FROM (SELECT 1 FROM %1 GROUP BY %2 HAVING count(*) > 1) d")
            .arg(from, groupBy);
    }

    qint64 nextBill() { return scalar("SELECT billno FROM defalt").toLongLong(); }

    bool registered(const QString& ip, const QString& name)
    {
        return count("SELECT count(*) FROM online WHERE ip = ? AND trim(name) = ?", {ip, name}) ==
               1;
    }
    // Ready under its name or in a session, once.
    bool listed(const QString& ip, const QString& name)
    {
        return count("SELECT (SELECT count(*) FROM online WHERE ip = ? AND trim(name) = ?) + "
                     "(SELECT count(*) FROM terminals WHERE ip = ?)",
                     {ip, name, ip}) == 1;
    }
    // Back after its console restarted: ready, or its session held by its new connection.
    bool cameBack(const QString& ip, const QString& name)
    {
        return registered(ip, name) ||
               count("SELECT count(*) FROM terminals WHERE ip = ? AND cid > 0", {ip}) == 1;
    }

    bool inSession(const QString& terminal)
    {
        return count("SELECT count(*) FROM terminals WHERE trim(terminal) = ?", {terminal}) == 1;
    }

    // The member's ledger: credits less debits.
    Money ledger(const QString& id)
    {
        Money balance;
        for (const QVariantList& t :
             rows("SELECT credit, debit FROM transactions WHERE memberid = ?", {id})) {
            balance += Money::fromVariant(t[0]) - Money::fromVariant(t[1]);
        }
        return balance;
    }

    QString sstartOf(const QString& terminal)
    {
        return scalar("SELECT sstart FROM terminals WHERE trim(terminal) = ?", {terminal})
            .toString();
    }

    // ----- the journal: what the cashier was told -----

    QList<QStringList> journal()
    {
        QList<QStringList> out;
        for (const QString& line : readFile(journalPath).split('\n', Qt::SkipEmptyParts)) {
            out.append(line.split(' '));
        }
        return out;
    }

    static QString field(const QStringList& words, const QString& key)
    {
        const qsizetype i = words.indexOf(QRegularExpression(key + "=.*")); // a whole word
        if (i < 0) {
            return {};
        }
        // "sstart=yyyy-MM-dd HH:mm:ss" was split at its blank.
        const QString value = words[i].mid(key.size() + 1);
        return key == "sstart" ? value + ' ' + words.value(i + 1) : value;
    }

    bool housekeptBill(qint64 no) const
    {
        return std::any_of(housekept.begin(), housekept.end(),
                           [no](const auto& r) { return no >= r.first && no <= r.second; });
    }

    // ----- the invariants -----

    // `connected`: the workstations whose agents run and reach a running console.
    void checkInvariants(const QString& where, const QList<const Agent*>& connected)
    {
        // Every workstation in at most one of the two tables, once; a connected one in exactly
        // one (once the console has seen its agent again).
        QCOMPARE(count("SELECT count(*) FROM online o JOIN terminals t ON o.ip = t.ip"), 0);
        // The console's own computer (index 0) is listed by each desk, and the desks of a test
        // share one computer.
        QCOMPARE(count(twice("online WHERE id <> 0", "ip")), 0);
        QCOMPARE(count(twice("terminals", "ip")), 0);
        for (const Agent* a : connected) {
            QVERIFY2(waitUntil([&] {
                         return count("SELECT (SELECT count(*) FROM online WHERE ip = ?) + "
                                      "(SELECT count(*) FROM terminals WHERE ip = ?)",
                                      {a->ip, a->ip}) == 1;
                     }),
                     qPrintable(where + ": " + a->name + " is not in exactly one table"));
        }

        // Bills: unique numbers that, with the ones housekeeping removed, run without a gap
        // up to the next number; maintenance takes none.
        const qint64 next = nextBill();
        QCOMPARE(count("SELECT count(*) FROM defalt"), 1);
        QCOMPARE(count(twice("history WHERE billno IS NOT NULL", "billno")), 0);
        QCOMPARE(count("SELECT count(*) FROM history WHERE (billno IS NULL) <> (\"user\" = "
                       "'Maintaining')"),
                 0);
        QSet<qint64> present;
        const auto history =
            rows("SELECT billno, terminal, sstart, memberid, received, charge, otheramt, "
                 "netamount, ticket FROM history WHERE billno IS NOT NULL");
        for (const QVariantList& h : history) {
            const qint64 no = h[0].toLongLong();
            present.insert(no);
            QVERIFY2(no >= 1 && no < next, qPrintable(where + QString(": bill %1").arg(no)));
            const Bill b{h[1].toString(),          h[2].toString(),          h[3].toString(),
                         Money::fromVariant(h[4]), Money::fromVariant(h[7]), h[8].toString()};
            const auto known = knownBills.find(no);
            if (known != knownBills.end()) {
                QCOMPARE(b.sstart, known->second.sstart);
                QCOMPARE(b.net, known->second.net);
            }
            knownBills[no] = b;
            // No money lost to rounding: the net amount is exactly the parts the cashier
            // entered, each already at the currency's digits.
            const Money charge = Money::fromVariant(h[5]);
            const Money other = Money::fromVariant(h[6]);
            QCOMPARE(b.net.units(), (charge + other).units());
            for (const Money m : {charge, other, b.net, b.received}) {
                QCOMPARE(m.rounded(2).units(), m.units());
            }
            if (b.terminal == "Tickets") {
                continue; // a ticket sale: the whole sale is its other amount
            }
            Money lines;
            for (const QVariantList& l :
                 rows("SELECT amount FROM jobwork_details WHERE billno = ?", {no})) {
                lines += Money::fromVariant(l[0]);
            }
            QCOMPARE(lines.units(), other.units());
        }
        for (qint64 no = 1; no < next; ++no) {
            QVERIFY2(present.contains(no) != housekeptBill(no),
                     qPrintable(where + QString(": bill number %1 missing or kept twice").arg(no)));
        }

        // Job-work lines belong to a bill that exists or whose history was removed.
        for (const QVariantList& l : rows("SELECT DISTINCT billno FROM jobwork_details")) {
            if (l[0].isNull()) {
                continue; // maintenance sessions take no number
            }
            const qint64 no = l[0].toLongLong();
            QVERIFY2(present.contains(no) || housekeptBill(no),
                     qPrintable(where + QString(": job work of bill %1 has no bill").arg(no)));
        }

        // Everything the cashier and the customers were told is in the database.
        std::map<QString, JournalSession> sessions; // by terminal + sstart
        for (const auto& [key, p] : prepaidSessions) {
            JournalSession& j = sessions[p.terminal + '|' + p.sstart];
            j = {p.terminal, p.sstart, false, QString()};
            // Its bill may be gone with housekeeping since.
            for (const auto& [no, b] : knownBills) {
                if (b.sstart == p.sstart && (p.member ? b.member : b.ticket) == p.account) {
                    j.billed = true;
                    j.billNo = QString::number(no);
                }
            }
        }
        // Each desk tells its bills in the order it numbers them.
        std::map<QString, QList<qint64>> journalBills;
        for (const QStringList& w : journal()) {
            const QString key = w.value(1) + '|' + field(w, "sstart");
            const QString no = field(w, "no");
            if (w[0] == "start") {
                sessions[key] = {w[1], field(w, "sstart"), false, QString()};
            } else if (w[0] == "transfer") {
                auto it = sessions.find(key);
                QVERIFY(it != sessions.end());
                JournalSession s = it->second;
                sessions.erase(it);
                s.terminal = w[2];
                sessions[w[2] + '|' + s.sstart] = s;
            } else if (w[0] == "bill") {
                sessions[key] = {w[1], field(w, "sstart"), true, no};
            }
            // A confirmed sale or bill (maintenance takes no number): kept, where it was made.
            if ((w[0] == "sale" || w[0] == "bill") && no != "none") {
                journalBills[field(w, "desk")].append(no.toLongLong());
                const auto known = knownBills.find(no.toLongLong());
                QVERIFY2(known != knownBills.end() &&
                             known->second.terminal == (w[0] == "sale" ? "Tickets" : w[1]),
                         qPrintable(where + ": confirmed " + w[0] + ' ' + no + " lost"));
                QCOMPARE(known->second.net.units(), Money::parse(field(w, "net")).units());
            }
        }
        for (const auto& [desk, nos] : journalBills) {
            for (int i = 1; i < nos.size(); ++i) {
                QVERIFY2(nos[i] > nos[i - 1], qPrintable(desk + ": bill numbers not increasing"));
            }
        }
        for (const auto& [key, s] : sessions) {
            const int running =
                count("SELECT count(*) FROM terminals WHERE trim(terminal) = ? AND sstart = ?",
                      {s.terminal, s.sstart});
            const int settled =
                count("SELECT count(*) FROM history WHERE terminal = ? AND sstart = ?",
                      {s.terminal, s.sstart});
            if (s.billed) {
                QCOMPARE(running, 0);
                if (s.billNo == "none") {
                    QCOMPARE(settled, 1);
                }
                continue;
            }
            // Running on, or settled by an action the cashier never saw answered.
            QVERIFY2(running + settled == 1,
                     qPrintable(where + ": confirmed session " + key + " lost"));
        }
        // No running session that nobody started.
        for (const QVariantList& t : rows("SELECT trim(terminal), sstart FROM terminals")) {
            const QString key = t[0].toString() + '|' + t[1].toString();
            QVERIFY2(sessions.count(key) == 1, qPrintable(where + ": unknown session " + key));
        }

        // Each member's ledger: opening balance plus credits less debits, where the credits and
        // debits are exactly those of the member's bills and the ledger edits.
        for (const auto& [id, ob] : openingBalance) {
            QCOMPARE(Money::fromVariant(scalar("SELECT ob FROM members WHERE memberid = ?", {id}))
                         .units(),
                     ob.units());
            const Money balance = ledger(id);
            Money expected = ledgerEdits[id];
            for (const auto& [no, b] : knownBills) {
                if (b.member == id) {
                    expected += b.received - b.net;
                }
            }
            QVERIFY2(balance == expected,
                     qPrintable(QString("%1: member %2 ledger %3, bills and edits %4")
                                    .arg(where, id, balance.toString(), expected.toString())));
        }
        STEP(checkPrepaid(where));
    }

    // Prepaid time: one bill per session, a ticket or member in one session at a time, each
    // ticket's value its credit left and its bills, each bill within the credit its session
    // held, and a member's bill deducted once, by exactly its amount.
    void checkPrepaid(const QString& where)
    {
        QCOMPARE(count(twice("history WHERE terminal <> 'Tickets'", "terminal, sstart")), 0);
        QCOMPARE(count(twice("terminals WHERE prepaid IN (1, 2)",
                             "prepaid, coalesce(ticket, memberid)")),
                 0);
        std::map<QString, Money> spent;
        QSet<QString> partlyHousekept;
        for (const auto& [no, b] : knownBills) {
            if (!b.ticket.isEmpty()) {
                spent[b.ticket] += b.net;
                if (housekeptBill(no)) {
                    partlyHousekept.insert(b.ticket);
                }
            }
        }
        for (const QVariantList& t : rows("SELECT code, value, credit FROM tickets")) {
            const QString code = t[0].toString();
            const Money value = Money::fromVariant(t[1]);
            const Money credit = Money::fromVariant(t[2]);
            QVERIFY2(credit >= Money() &&
                         (partlyHousekept.contains(code) || value == credit + spent[code]),
                     qPrintable(QString("%1: ticket %2 value %3, credit %4, bills %5")
                                    .arg(where, code, value.toString(), credit.toString(),
                                         spent[code].toString())));
        }
        for (const auto& [key, p] : prepaidSessions) {
            const auto bill = rows(QString("SELECT billno, netamount FROM history WHERE %1 = ? "
                                           "AND sstart = ?")
                                       .arg(p.member ? "memberid" : "ticket"),
                                   {p.account, p.sstart});
            QVERIFY2(bill.size() <= 1, qPrintable(where + ": two bills for " + key));
            if (bill.isEmpty()) {
                continue;
            }
            const Money net = Money::fromVariant(bill[0][1]);
            QVERIFY2(net <= p.held, qPrintable(where + ": " + key + " billed beyond its credit"));
            if (p.member) {
                const auto debits =
                    rows("SELECT debit, credit FROM transactions WHERE memberid = ? AND part = ?",
                         {p.account, "By Bill No " + bill[0][0].toString()});
                QVERIFY2(debits.size() == 1 && Money::fromVariant(debits[0][0]) == net &&
                             Money::fromVariant(debits[0][1]) == Money(),
                         qPrintable(where + ": " + key + " not deducted once by its bill"));
            }
        }
    }
};

} // namespace SystemTest
