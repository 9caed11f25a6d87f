// SPDX-License-Identifier: Apache-2.0
// Every number box and number cell of the console, filled by each way text gets into a box
// besides typing: the clipboard and drag and drop; and the editing keys, which must work in
// them as in any box while letters stay refused.

#include "server/accounts/ui/frmhkeeping.h"
#include "server/accounts/ui/frmmember.h"
#include "server/core/database.h"
#include "server/core/ui/gridcelleditor.h"
#include "server/sessions/ui/frmjobwork.h"
#include "server/sessions/ui/frmjobworkdetails.h"
#include "server/sessions/ui/frmsessiondetails.h"
#include "server/sessions/ui/frmsessionend.h"
#include "server/sessions/ui/frmsessionstart.h"
#include "support/consolefixture.h"

#include <QApplication>
#include <QClipboard>
#include <QComboBox>
#include <QLineEdit>
#include <QMimeData>
#include <QTableWidget>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

using Opener = std::function<std::unique_ptr<QWidget>(Database&)>;

template <typename W> Opener window()
{
    return [](Database& db) { return std::unique_ptr<QWidget>(new W(db)); };
}

// Puts `text` into `box` at its cursor the way `path` does.
void putIn(QLineEdit* box, const QString& path, const QString& text)
{
    QApplication::clipboard()->setText(text);
    if (path == QLatin1String("paste")) {
        QTest::keyClick(box, Qt::Key_V, Qt::ControlModifier);
    } else {
        QMimeData data;
        data.setText(text);
        // Dragged in and dropped past the end of the text, where the cursor already is.
        const QPointF end(box->width() - 2, box->height() / 2);
        QDragEnterEvent enter(end.toPoint(), Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(box, &enter);
        QDropEvent drop(end, Qt::CopyAction, &data, Qt::LeftButton, {});
        QApplication::sendEvent(box, &drop);
        QVERIFY(drop.isAccepted());
    }
}

// Every number box and number cell, with what it takes after a "7" besides the digits.
struct Box
{
    const char* name;
    Opener open;
    const char* box; // a line edit or combo box, or a grid
    int column;      // the number column of a grid
    const char* taken;
};
const Box boxes[] = {
    {"amount", window<FrmSessionEnd>(), "txtamt", -1, "1.5"},
    {"other amount", window<FrmSessionEnd>(), "txtoamt", -1, "1.5"},
    {"received", window<FrmSessionEnd>(), "txtramt", -1, "1.5"},
    {"net", window<FrmSessionEnd>(), "txtnetamt", -1, "1.5"},
    {"advance", window<FrmSessionStart>(), "txtamtr", -1, "1.5"},
    {"logout minutes", window<FrmSessionStart>(), "txtautologout", -1, "15"},
    {"flat rate", window<FrmSessionDetails>(), "txtflathour", -1, "1.5"},
    {"flat hours", window<FrmSessionDetails>(), "cmbflathour", -1, "1.5"},
    {"bill from", window<FrmHKeeping>(), "txtbill_0", -1, "1.5"},
    {"opening balance", window<FrmMember>(), "txtfield_4", -1, "1.5"},
    {"job price", window<FrmJobWork>(), "grdjobwork", 1, "1.5"},
    {"job quantity", window<FrmJobWorkDetails>(), "gdjob", 2, "1.5"},
};

void boxColumns()
{
    QTest::addColumn<Opener>("open");
    QTest::addColumn<QString>("box");
    QTest::addColumn<int>("column");
}

} // namespace

Q_DECLARE_METATYPE(Opener)

class TestNumberBoxes : public QObject, public ConsoleFixture
{
    Q_OBJECT

    // The box, or the grid's number cell opened with `cellText`, enabled and focused; null
    // when the window has no such box.
    static QLineEdit* numberBox(QWidget* w, const QString& box, int column, const QString& cellText)
    {
        QLineEdit* edit = nullptr;
        if (column >= 0) {
            auto* cells = w->findChild<GridCellEditor*>();
            edit = cells && cells->open(0, column, cellText) ? cells->textEditor() : nullptr;
        } else if (auto* combo = w->findChild<QComboBox*>(box)) {
            edit = combo->lineEdit();
        } else {
            edit = w->findChild<QLineEdit*>(box);
        }
        // Some boxes wait for a choice elsewhere in their window before they take text.
        for (QWidget* p = edit; p && p != w; p = p->parentWidget()) {
            p->setEnabled(true);
        }
        if (edit) {
            edit->setFocus();
        }
        return edit;
    }

private Q_SLOTS:
    void init()
    {
        openConsole();
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO jobwork (Type, amount, qty, totamt) "
                                         "VALUES ('Print', 2.5, 0, 0)")));
    }
    void cleanup() { closeConsole(); }

    void onlyWhatTypingTakes_data()
    {
        boxColumns();
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("taken"); // what the box takes after its "7"
        for (const Box& b : boxes) {
            // Every paste (menu, Ctrl+V, Shift+Insert) goes through the same validator.
            for (const char* path : {"paste", "drop"}) {
                QTest::addRow("%s by %s", b.name, path)
                    << b.open << QString::fromLatin1(b.box) << b.column << QString::fromLatin1(path)
                    << QString::fromLatin1(b.taken);
            }
        }
    }
    void onlyWhatTypingTakes()
    {
        QFETCH(Opener, open);
        QFETCH(QString, box);
        QFETCH(int, column);
        QFETCH(QString, path);
        QFETCH(QString, taken);
        const std::unique_ptr<QWidget> w = open(*m_db);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QLineEdit* edit = numberBox(w.get(), box, column, QStringLiteral("7"));
        QVERIFY(edit != nullptr);
        GridCellEditor* cells = w->findChild<GridCellEditor*>();
        edit->setText(QStringLiteral("7"));

        for (const char* refused : {"-5", "abc", "1e3", "12.5.3", "\uff19", " 5", "5,0"}) {
            putIn(edit, path, QString::fromUtf8(refused));
            QVERIFY2(edit->text() == QLatin1String("7"), refused);
        }
        putIn(edit, path, taken);
        QCOMPARE(edit->text(), QStringLiteral("7") + taken);
        if (column >= 0) {
            QVERIFY(cells->commit());
            QCOMPARE(cells->grid()->item(0, column)->text(), QStringLiteral("7") + taken);
        }
    }

    void editingKeysWork_data()
    {
        boxColumns();
        for (const Box& b : boxes) {
            QTest::addRow("%s", b.name) << b.open << QString::fromLatin1(b.box) << b.column;
        }
    }
    // The keys that empty, shorten and replace what a box holds, and letters among them.
    void editingKeysWork()
    {
        QFETCH(Opener, open);
        QFETCH(QString, box);
        QFETCH(int, column);
        const std::unique_ptr<QWidget> w = open(*m_db);
        w->show();
        QVERIFY(QTest::qWaitForWindowExposed(w.get()));
        QLineEdit* edit = numberBox(w.get(), box, column, QString());
        QVERIFY(edit != nullptr);
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        QTest::keyClick(edit, Qt::Key_Delete);
        QCOMPARE(edit->text(), QString());
        QTest::keyClicks(edit, QStringLiteral("50"));
        QTest::keyClick(edit, Qt::Key_Home);
        QTest::keyClick(edit, Qt::Key_Delete);
        QTest::keyClicks(edit, QStringLiteral("aX1"));
        QCOMPARE(edit->text(), QStringLiteral("10"));
        QTest::keyClick(edit, Qt::Key_End);
        QTest::keyClick(edit, Qt::Key_Backspace);
        QCOMPARE(edit->text(), QStringLiteral("1"));
        QTest::keyClick(edit, Qt::Key_A, Qt::ControlModifier);
        putIn(edit, QStringLiteral("paste"), QStringLiteral("12"));
        QCOMPARE(edit->text(), QStringLiteral("12"));
    }
};

QTEST_MAIN(TestNumberBoxes)
#include "tst_numberboxes.moc"
