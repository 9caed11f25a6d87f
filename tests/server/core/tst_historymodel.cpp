// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "common/money.h"
#include "server/core/database.h"
#include "server/core/historymodel.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QTest>

class TestHistoryModel : public QObject, public ConsoleFixture
{
    Q_OBJECT
private:
    static void fill(Database& db, int from, int count)
    {
        db.transaction([&] {
            for (int i = from; i < from + count; ++i) {
                db.run("INSERT INTO history (billno, sstart, send, terminal, \"user\", duration, "
                       "charge, "
                       "received, netamount) VALUES (?, '2026-01-01 10:00:00', "
                       "'2026-01-01 11:00:00', ?, 'Normal', ' 1: 0: 0', ?, ?, ?)",
                       {i, QString("PC%1").arg(i), Money::parse(u"12.5").toVariant(),
                        Money::fromWhole(i).toVariant(), Money::parse(u"0.1").toVariant()});
            }
            return true;
        });
    }

private Q_SLOTS:
    void init() { openConsole(); }
    void cleanup() { closeConsole(); }

    void rowsComeInTableOrderFromEitherEnd()
    {
        fill(*m_db, 1, 1000);
        // A gap left by housekeeping must not shift rows.
        m_db->run("DELETE FROM history WHERE billno BETWEEN 100 AND 199");
        HistoryModel model(*m_db);
        QCOMPARE(model.rowCount(), 900);
        const auto bill = [&](int row) { return model.index(row, 0).data().toInt(); };
        QCOMPARE(bill(899), 1000);
        QCOMPARE(bill(0), 1);
        QCOMPARE(bill(98), 99);
        QCOMPARE(bill(99), 200);
        QCOMPARE(model.index(899, 3).data().toString(), QString("PC1000"));
        QCOMPARE(model.index(899, 6).data().toString(), QString("12.5"));
        QCOMPARE(model.index(899, 8).data().toString(), QString("0.1"));
        QVERIFY(!model.index(900, 0).data().isValid());
    }

    void followsChangesAnnouncedByTheDatabase()
    {
        fill(*m_db, 1, 10);
        HistoryModel model(*m_db);
        QCOMPARE(model.index(9, 0).data().toInt(), 10);
        fill(*m_db, 11, 1);
        QCOMPARE(model.rowCount(), 10); // not told yet
        m_db->notifyChanged("history");
        QCOMPARE(model.rowCount(), 11);
        QCOMPARE(model.index(10, 0).data().toInt(), 11);
    }

    void readsOnlyThePagesAsked()
    {
        fill(*m_db, 1, 5000);
        HistoryModel model(*m_db);
        for (int r = 4990; r < 5000; ++r) {
            model.index(r, 0).data();
        }
        QCOMPARE(model.pagesFetched(), 1);
        for (int p = 0; p < 20; ++p) {
            model.index(p * HistoryModel::PageSize, 0).data();
        }
        // The cache is bounded: old pages are read again rather than kept forever.
        QVERIFY(model.pagesFetched() <= 21);
        model.index(4999, 0).data();
        QCOMPARE(model.index(4999, 0).data().toInt(), 5000);
    }

    void timesShownCompactly_data()
    {
        QTest::addColumn<QString>("stored");
        QTest::addColumn<QDateTime>("now");
        QTest::addColumn<QString>("shown");
        const QDate day(2026, 12, 7);
        dataRow("today", "2026-12-07 14:05:09", QDateTime(day, QTime(23, 59, 59)), "14:05");
        dataRow("yesterday", "2026-12-06 23:59:59", QDateTime(day, QTime(0, 0, 1)),
                "2026-12-06 23:59");
        dataRow("not a stored time", "7/12/2026 2:05 PM", QDateTime(day, QTime(14, 5)),
                "7/12/2026 2:05 PM");
    }
    void timesShownCompactly()
    {
        QFETCH(QString, stored);
        QFETCH(QDateTime, now);
        Clock::setFixed(now);
        QVERIFY(m_db->run("INSERT INTO history (billno, sstart, send) VALUES (1, ?, ?)",
                          {stored, stored}));
        HistoryModel model(*m_db);
        for (int c : {1, 2}) {
            QTEST(model.index(0, c).data().toString(), "shown");
            QCOMPARE(model.index(0, c).data(Qt::ToolTipRole).toString(), stored);
        }
        QCOMPARE(m_db->scalar("SELECT sstart FROM history").toString(), stored);
    }
};

QTEST_MAIN(TestHistoryModel)
#include "tst_historymodel.moc"
