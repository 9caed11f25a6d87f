// SPDX-License-Identifier: Apache-2.0
#include "server/core/ui/gridcelleditor.h"
#include "support/datarow.h"

#include <QDateEdit>
#include <QLineEdit>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QVBoxLayout>

#include <memory>

// A grid with a numeric, a text, a date and a read-only column over three rows.
class TestGridCellEditor : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<QWidget> window;
    QTableWidget* grid = nullptr;
    GridCellEditor* editor = nullptr;
    std::unique_ptr<QSignalSpy> committed;

    QLineEdit* txtEdit() { return window->findChild<QLineEdit*>(QStringLiteral("txtEdit")); }
    QDateEdit* dtpick() { return window->findChild<QDateEdit*>(QStringLiteral("dtpick")); }
    QString cell(int r, int c) { return grid->item(r, c) ? grid->item(r, c)->text() : QString(); }

private Q_SLOTS:
    void init()
    {
        window = std::make_unique<QWidget>();
        grid = new QTableWidget(3, 4, window.get());
        auto* layout = new QVBoxLayout(window.get());
        layout->setContentsMargins(10, 10, 10, 10);
        layout->addWidget(grid);
        for (int r = 0; r < 3; ++r) {
            grid->setItem(r, 0, new QTableWidgetItem(QString::number(r + 1)));
            grid->setItem(r, 1, new QTableWidgetItem(QStringLiteral("item %1").arg(r)));
            grid->setItem(r, 3, new QTableWidgetItem(QStringLiteral("9")));
        }
        grid->setItem(0, 2, new QTableWidgetItem(QStringLiteral("05/03/2026")));
        editor = new GridCellEditor(grid, window.get());
        editor->setNumericColumn(0);
        editor->setColumnEditable(1);
        editor->setDateColumn(2);
        committed = std::make_unique<QSignalSpy>(editor, &GridCellEditor::cellCommitted);
        window->resize(500, 300);
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    }
    void cleanup()
    {
        committed.reset();
        window.reset();
    }

    // Escape leaves the cell as it was; Enter, Up and Down put the text in it, and the arrows
    // move the cursor but never out of the rows.
    void keysLeaveTheEditor_data()
    {
        QTest::addColumn<int>("row");
        QTest::addColumn<int>("key");
        QTest::addColumn<QString>("kept");
        QTest::addColumn<int>("rowAfter");
        dataRow("Escape", 0, int(Qt::Key_Escape), "item 0", 0);
        dataRow("Enter", 0, int(Qt::Key_Return), "new", 0);
        dataRow("Down on the last row", 2, int(Qt::Key_Down), "new", 2);
    }
    void keysLeaveTheEditor()
    {
        QFETCH(int, row);
        QFETCH(int, key);
        QFETCH(QString, kept);
        grid->setCurrentCell(row, 1);
        QTest::keyClick(grid, 'n');
        QTest::keyClicks(txtEdit(), "ew");
        QTest::keyClick(txtEdit(), Qt::Key(key));
        QVERIFY(!editor->isOpen());
        QCOMPARE(cell(row, 1), kept);
        QTEST(grid->currentRow(), "rowAfter");
        if (kept == QLatin1String("new")) {
            QCOMPARE(committed->count(), 1);
            QCOMPARE(committed->first(), (QVariantList{row, 1, QStringLiteral("new")}));
        } else {
            QCOMPARE(committed->count(), 0);
        }
    }

    // An open editor lands in the cell it was opened on when the cursor moves elsewhere or
    // the window is clicked.
    void cellChangeAndWindowClickCommit()
    {
        grid->setCurrentCell(1, 1);
        QTest::keyClick(grid, 'x');
        grid->setCurrentCell(2, 0);
        QVERIFY(!editor->isOpen());
        QCOMPARE(cell(1, 1), QStringLiteral("x"));

        grid->setCurrentCell(0, 0);
        QTest::keyClick(grid, '8');
        QTest::mouseClick(window.get(), Qt::LeftButton, {}, QPoint(3, 3));
        QVERIFY(!editor->isOpen());
        QCOMPARE(cell(0, 0), QStringLiteral("8"));
        QCOMPARE(committed->count(), 2);
    }

    void dateColumnUsesThePicker()
    {
        grid->setCurrentCell(0, 2);
        QTest::keyClick(grid, Qt::Key_Space);
        QVERIFY(dtpick()->isVisible());
        QVERIFY(!txtEdit()->isVisible());
        QCOMPARE(dtpick()->date(), QDate(2026, 3, 5));
        dtpick()->setDate(QDate(2026, 3, 9));
        QTest::keyClick(dtpick(), Qt::Key_Return);
        QCOMPARE(cell(0, 2), QStringLiteral("09/03/2026"));
        QCOMPARE(committed->count(), 1);
    }
};

QTEST_MAIN(TestGridCellEditor)
#include "tst_gridcelleditor.moc"
