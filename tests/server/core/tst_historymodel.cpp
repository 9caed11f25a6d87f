// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "common/money.h"
#include "server/core/database.h"
#include "server/core/historymodel.h"
#include "server/core/messagelog.h"
#include "server/core/ui/frmmain.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QHeaderView>
#include <QScreen>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTreeWidget>

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
        QCOMPARE(model.columnCount(), 9);
        QCOMPARE(model.headerData(0, Qt::Horizontal).toString(), QString("Bill No"));
        QCOMPARE(model.headerData(8, Qt::Horizontal).toString(), QString("Net Amount"));
        const auto bill = [&](int row) { return model.index(row, 0).data().toInt(); };
        QCOMPARE(bill(899), 1000);
        QCOMPARE(bill(0), 1);
        QCOMPARE(bill(98), 99);
        QCOMPARE(bill(99), 200);
        QCOMPARE(bill(500), 601);
        QCOMPARE(bill(450), 551);
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
        dataRow("a year before", "2025-12-07 14:05:09", QDateTime(day, QTime(14, 5)),
                "2025-12-07 14:05");
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

    // At the size it opens with, the console cuts no time or amount short, in the history
    // (whichever rows are on screen) or in the session list (as its figures grow).
    void columnsFitTheirTexts()
    {
        Clock::setFixed(QDateTime(QDate(2026, 12, 7), QTime(15, 0)));
        m_db->transaction([&] {
            for (int i = 1; i <= 300; ++i) {
                // The oldest rows carry the widest amounts.
                const QVariant big =
                    Money::parse(i <= 10 ? u"12345678901.2345" : u"7.5").toVariant();
                m_db->run(
                    "INSERT INTO history (billno, sstart, send, terminal, \"user\", duration, "
                    "charge, received, netamount) VALUES (?, '2026-11-30 09:05:00', "
                    "'2026-12-07 14:05:00', 'PC1', 'Normal', ' 1: 0: 0', ?, ?, ?)",
                    {i, big, big, big});
            }
            return true;
        });
        QVERIFY(m_db->run("INSERT INTO terminals (terminal, ip, cid, sstart, \"user\") VALUES "
                          "('PC1', '127.0.0.1', 0, '2026-11-30 09:05:00', 'Normal')"));
        MessageLog log;
        FrmMain w(*m_db, log);
        const QSize room = w.screen()->availableGeometry().size();
        QVERIFY(w.width() <= room.width() && w.height() <= room.height());
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));

        QTableView* grid = w.historyGrid();
        QHeaderView* header = grid->horizontalHeader();
        const auto fits = [&] {
            for (int c : {1, 2, 6, 7, 8}) {
                if (header->sectionSize(c) <
                    static_cast<QAbstractItemView*>(grid)->sizeHintForColumn(c)) {
                    qWarning("history column %d: %d < %d", c, header->sectionSize(c),
                             static_cast<QAbstractItemView*>(grid)->sizeHintForColumn(c));
                    return false;
                }
            }
            return true;
        };
        QCOMPARE(grid->model()->index(0, 8).data().toString(), QString("12345678901.2345"));
        QVERIFY(fits());
        w.scrollHistoryToEnd();
        QVERIFY(fits());

        QTreeWidget* sessions = w.sessionList();
        QCOMPARE(sessions->topLevelItem(0)->text(1), QString("2026-11-30 09:05"));
        sessions->topLevelItem(0)->setText(FrmMain::ChargeColumn, "12345678901.23");
        for (int c : {1, FrmMain::ChargeColumn}) {
            QTRY_VERIFY2(sessions->header()->sectionSize(c) >=
                             static_cast<QAbstractItemView*>(sessions)->sizeHintForColumn(c),
                         qPrintable(QString::number(c)));
        }
    }
};

QTEST_MAIN(TestHistoryModel)
#include "tst_historymodel.moc"
