// SPDX-License-Identifier: Apache-2.0
#pragma once

// The cafe-day cashier's prepaid actions, each through the class the console's own window or
// button uses: the Tickets window's sale, the member window's top-up, End and Add credit on a
// prepaid session in the session list.
#include "common/money.h"
#include "server/core/database.h"
#include "server/prepaid/prepaidcounter.h"
#include "server/prepaid/ticketsform.h"

#include <QHash>
#include <QThread>

#include <cstdio>
#include <functional>
#include <optional>

// A write hook that holds the action inside its transaction at write `at` until the test kills
// the console.
inline std::function<bool(int)> holdAt(int at)
{
    return [at](int n) {
        if (n == at) {
            std::fputs("stalled\n", stdout);
            std::fflush(stdout);
            for (;;) {
                QThread::sleep(1);
            }
        }
        return true;
    };
}

class PrepaidCashier
{
public:
    // `journal` writes a line of what the cashier was told; `journalBill` the bill of the
    // session on a workstation that started then.
    PrepaidCashier(Database& db, int digits, std::function<void(const QString&)> journal,
                   std::function<void(const QString&, const QString&)> journalBill)
        : m_db(db), m_digits(digits), m_journal(std::move(journal)),
          m_journalBill(std::move(journalBill))
    {
    }

    // The Tickets window's sale: the codes in the reply, the sale's bill in the journal.
    bool sell(const QHash<QString, QString>& a, QString& detail)
    {
        TicketsForm form(m_db, m_digits);
        TicketsForm::Entry e;
        e.category = a.value("cat");
        e.count = a.value("count", "1");
        e.byMinutes = a.contains("minutes");
        e.value = a.value(e.byMinutes ? "minutes" : "amount");
        const TicketSaleResult r = form.sell(e);
        if (!r.ok) {
            detail = r.error;
            return false;
        }
        QStringList codes;
        Money total;
        for (const Ticket& t : r.tickets) {
            codes.append(t.code);
            total += t.value;
        }
        m_journal(QString("sale no=%1 net=%2").arg(r.billno).arg(total.toString()));
        detail = QString("no=%1 codes=%2").arg(r.billno).arg(codes.join(','));
        return true;
    }

    // The member window's top-up.
    bool topUp(const QHash<QString, QString>& a)
    {
        return PrepaidCounter(m_db, m_digits).topUp(a.value("id"), a.value("amount"));
    }

    // End on a prepaid session in the list; stall= holds it between two of its writes, as
    // the settlement's stall does.
    bool end(const QHash<QString, QString>& a, QString& detail)
    {
        const QString terminal = a.value("term");
        const auto s = on(terminal);
        if (!s) {
            detail = "no session";
            return false;
        }
        PrepaidCounter counter(m_db, m_digits);
        const int stallAt = a.value("stall", "0").toInt();
        if (stallAt > 0) {
            counter.service().setWriteHook(holdAt(stallAt));
        }
        if (!counter.end(s->rowid)) {
            detail = "refused";
            return false;
        }
        m_journalBill(terminal, Database::timeText(s->sstart));
        return true;
    }

    bool addCredit(const QHash<QString, QString>& a)
    {
        const auto s = on(a.value("term"));
        return s && PrepaidCounter(m_db, m_digits).addCredit(*s, a.value("amount"));
    }

private:
    // The prepaid session on a workstation as the session list picks it.
    std::optional<PrepaidSession> on(const QString& terminal)
    {
        const auto row =
            m_db.firstRow(QStringLiteral("SELECT rowid FROM terminals WHERE trim(terminal) = ? "
                                         "AND prepaid IN (1, 2)"),
                          {terminal});
        if (!row) {
            return std::nullopt;
        }
        return PrepaidCounter(m_db, m_digits).prepaid(row->value(0).toLongLong());
    }

    Database& m_db;
    int m_digits;
    std::function<void(const QString&)> m_journal;
    std::function<void(const QString&, const QString&)> m_journalBill;
};
