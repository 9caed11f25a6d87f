#pragma once

#include "common/clock.h"
#include "server/core/database.h"
#include "support/testhome.h"

#include <QSqlRecord>
#include <QtTest>

#include <memory>

// A fresh home with the console's database open and the clock at 31/12/2026 20:00, and the
// history rows the housekeeping and backup tests work on. Header-only: it needs the server's
// database, which the support library does not link.
class HistoryFixture
{
protected:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<Database> m_db;

    void openHome()
    {
        m_home = std::make_unique<TestHome>();
        m_db = std::make_unique<Database>();
        QVERIFY(m_db->open(m_home->file(QStringLiteral("server.db"))));
        Clock::setFixed(QDateTime(QDate(2026, 12, 31), QTime(20, 0)));
    }
    void closeHome()
    {
        Clock::reset();
        m_db.reset();
        m_home.reset();
    }
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
    qlonglong count(const QString& table)
    {
        return m_db->scalar(QStringLiteral("SELECT count(*) FROM ") + table).toLongLong();
    }
};
