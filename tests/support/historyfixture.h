// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "support/consolefixture.h"

#include <QSqlRecord>
#include <QtTest>

// The console fixture with the clock at 31/12/2026 20:00, and the history rows the
// housekeeping and backup tests work on.
class HistoryFixture : public ConsoleFixture
{
protected:
    void openHome()
    {
        openConsole();
        Clock::setFixed(QDateTime(QDate(2026, 12, 31), QTime(20, 0)));
    }
    void closeHome() { closeConsole(); }
    void addBill(int billno, const QString& start)
    {
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO history (billno, sstart, charge) "
                                         "VALUES (?, ?, 10)"),
                          {billno, start}));
    }
    // Bills 1 to `last` in one transaction.
    void addBills(int last)
    {
        QVERIFY(m_db->transaction([&] {
            for (int n = 1; n <= last; ++n) {
                addBill(n, QStringLiteral("2026-12-01 10:00:00"));
            }
            return true;
        }));
    }
    QList<int> bills()
    {
        QList<int> out;
        for (const QSqlRecord& r :
             m_db->rows(QStringLiteral("SELECT billno FROM history ORDER BY billno"))) {
            out << r.value(0).toInt();
        }
        return out;
    }
};
