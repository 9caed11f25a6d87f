// SPDX-License-Identifier: Apache-2.0
// Job work: the catalogue, the entry window's quantities and what the settlement reads.

#include "server/core/database.h"
#include "server/core/ui/gridcelleditor.h"
#include "server/sessions/jobworkstore.h"
#include "server/sessions/ui/frmjobwork.h"
#include "server/sessions/ui/frmjobworkdetails.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QSqlRecord>
#include <QTableWidget>
#include <QtTest>

class TestJobWork : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    QString cell(QTableWidget* g, int r, int c)
    {
        const QTableWidgetItem* i = g->item(r, c);
        return i ? i->text() : QString();
    }
    Money stored(const QString& column, const QString& type)
    {
        return Money::fromVariant(
            m_db->scalar(QStringLiteral("SELECT ") + column +
                             QStringLiteral(" FROM jobwork_entered WHERE Type = ?"),
                         {type}));
    }

private Q_SLOTS:
    void init()
    {
        openConsole();
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO jobwork (Type, amount, qty, totamt) VALUES "
                                         "('Print', 2.5, 0, 0), ('Scan', 4, 0, 0), "
                                         "('Owner''s copy', 1, 0, 0)")));
    }
    void cleanup() { closeConsole(); }

    void quantityTimesAmount()
    {
        FrmJobWorkDetails w(*m_db);
        w.show();
        QTableWidget* g = w.grid();
        QCOMPARE(g->rowCount(), 3);
        QTest::keyClick(g, Qt::Key_3);
        QTest::keyClick(w.editor()->textEditor(), Qt::Key_Down);
        QCOMPARE(cell(g, 0, 3), QStringLiteral("7.5"));
        auto* total = w.findChild<QLineEdit*>(QStringLiteral("TxtTotal"));
        QCOMPARE(total->text(), QStringLiteral("7.5"));

        // The quote in a type name does not lose its quantity.
        g->setCurrentCell(2, 2);
        QTest::keyClicks(g, QStringLiteral("2"));
        QTest::keyClick(w.editor()->textEditor(), Qt::Key_Return);
        QCOMPARE(total->text(), QStringLiteral("9.5"));

        w.findChild<QPushButton*>(QStringLiteral("cmdback"))->click();
        QCOMPARE(stored(QStringLiteral("qty"), QStringLiteral("Print")), Money::fromWhole(3));
        QCOMPARE(stored(QStringLiteral("totamt"), QStringLiteral("Print")).toString(),
                 QStringLiteral("7.5"));
        QCOMPARE(stored(QStringLiteral("totamt"), QStringLiteral("Owner's copy")),
                 Money::fromWhole(2));
        QCOMPARE(JobWorkStore(*m_db).total().toString(), QStringLiteral("9.5"));
    }

    void emptyQuantity()
    {
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO jobwork_entered (line, Type, qty, totamt) "
                                         "VALUES (0, 'Print', 2, 5)")));
        FrmJobWorkDetails w(*m_db);
        w.show();
        QTableWidget* g = w.grid();
        QCOMPARE(cell(g, 0, 2), QStringLiteral("2"));
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("TxtTotal"))->text(), QStringLiteral("5"));
        QTest::keyClick(g, Qt::Key_Space); // opens with the cell's text
        QVERIFY(w.editor()->isOpen());
        w.editor()->textEditor()->clear();
        QTest::keyClick(w.editor()->textEditor(), Qt::Key_Down);
        QCOMPARE(cell(g, 0, 3), QStringLiteral("0"));
        w.close();
        QCOMPARE(JobWorkStore(*m_db).total(), Money());
    }

    void lineAmounts_data()
    {
        QTest::addColumn<QString>("unit");
        QTest::addColumn<QString>("qty");
        QTest::addColumn<QString>("line");
        dataRow("empty", "2.5", "", "0");
        dataRow("half pages", "0.35", "1.5", "0.525");
        dataRow("many", "0.1", "300000", "30000");
    }
    void lineAmounts()
    {
        QFETCH(QString, unit);
        QFETCH(QString, qty);
        QFETCH(QString, line);
        QCOMPARE(JobWorkStore::lineAmount(Money::parse(unit), qty).toString(), line);
    }

    // An empty list once left the cashier with no idea how to add the first item.
    void anEmptyListSaysHowToAddItems()
    {
        FrmJobWork listed(*m_db);
        QVERIFY(!listed.findChild<QLabel*>(QStringLiteral("lblhint"))->isVisibleTo(&listed));
        QVERIFY(m_db->run(QStringLiteral("DELETE FROM jobwork")));
        FrmJobWork empty(*m_db);
        auto* hint = empty.findChild<QLabel*>(QStringLiteral("lblhint"));
        QVERIFY(hint->isVisibleTo(&empty));
        QVERIFY(hint->text().contains(QStringLiteral("then Save")));
    }

    void catalogueSave()
    {
        FrmJobWork w(*m_db);
        QTableWidget* g = w.grid();
        QCOMPARE(g->rowCount(), 3);
        QCOMPARE(cell(g, 0, 0), QStringLiteral("Print"));
        QCOMPARE(cell(g, 0, 1), QStringLiteral("2.5"));

        m_prompt->answerNext(Prompt::Answer::Yes);
        w.newClicked();
        QCOMPARE(g->rowCount(), 4);
        w.editor()->open(3, 0, QStringLiteral("Lamination  "));
        w.editor()->commit();
        w.editor()->open(3, 1, QStringLiteral("12.75"));
        w.editor()->commit();
        m_prompt->answerNext(Prompt::Answer::Yes);
        w.newClicked();
        w.editor()->open(4, 0, QStringLiteral("   "));
        w.editor()->commit();
        m_prompt->answerNext(Prompt::Answer::Yes);
        w.newClicked();
        w.editor()->open(5, 0, QStringLiteral("Print"));
        w.editor()->commit();

        g->setCurrentCell(1, 0);
        m_prompt->answerNext(Prompt::Answer::Yes);
        w.deleteClicked();
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Do you want to Delete jobwork  : Scan"));

        QVERIFY(m_db->run(QStringLiteral("INSERT INTO jobwork_entered (line, Type, qty, totamt) "
                                         "VALUES (0, 'Print', 4, 10)")));
        m_prompt->answerNext(Prompt::Answer::Yes);
        w.saveClicked();
        const auto rows =
            m_db->rows(QStringLiteral("SELECT Type, amount FROM jobwork ORDER BY rowid"));
        QStringList types;
        for (const QSqlRecord& r : rows) {
            types << r.value(0).toString();
        }
        QCOMPARE(JobWorkStore(*m_db).total(), Money()); // quantities dropped
        QCOMPARE(types, (QStringList{QStringLiteral("Print"), QStringLiteral("Owner's copy"),
                                     QStringLiteral("Lamination")}));
        QCOMPARE(Money::fromVariant(rows[2].value(1)).toString(), QStringLiteral("12.75"));
        QCOMPARE(m_prompt->texts().first(),
                 QStringLiteral("Do you want to Add New Jobwork Details"));
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Do you want to Save Jobwork Details"));
    }
};

QTEST_MAIN(TestJobWork)

#include "tst_jobwork.moc"
