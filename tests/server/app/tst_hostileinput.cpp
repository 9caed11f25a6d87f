// SPDX-License-Identifier: Apache-2.0
// Hostile text in every box and grid cell of every console window, reached the way the cashier
// reaches them: from the console window's commands, and from those windows' own buttons.
// Whatever is typed or pasted and whichever button is pressed next, the console must not
// crash, must not hand the database a statement it rejects, must leave the file consistent,
// and must say so where it refuses what was typed.
#include "common/prompt.h"
#include "server/accounts/ui/frmoptions.h"
#include "server/app/console.h"
#include "server/core/database.h"
#include "server/core/ui/frmmain.h"
#include "server/core/ui/gridcelleditor.h"
#include "support/consoleconf.h"
#include "support/datarow.h"
#include "support/loopbackagentlink.h"
#include "support/scriptedprompt.h"
#include "support/testdatabase.h"
#include "support/testhome.h"

#include <QAction>
#include <QApplication>
#include <QDateEdit>
#include <QDialog>
#include <QLineEdit>
#include <QMap>
#include <QPointer>
#include <QPushButton>
#include <QRegularExpression>
#include <QSqlRecord>
#include <QTableWidget>
#include <QTest>
#include <QTimer>

#include <functional>

namespace {

// What a careless or malicious operator types. The long ones arrive by pasting.
QStringList hostileTexts()
{
    return {
        QStringLiteral("'\"; DROP TABLE x;--"),
        QStringLiteral("9'").repeated(5000),
        QStringLiteral("\u00c7a\u011fr\u0131 \u6771\u4eac \U0001F600"),
        QString(),
        QStringLiteral("12.5.3"),
        QStringLiteral("1e309"),
        QStringLiteral("\uff19"),
        QStringLiteral("-99999999999999999999"),
        QStringLiteral("%1 %n \\ \t"),
    };
}

// Typing sends one key event per character, as a keyboard or an input method does.
void typeText(QWidget* target, const QString& text)
{
    for (qsizetype i = 0; i < text.size(); ++i) {
        qsizetype n = 1;
        if (text.at(i).isHighSurrogate() && i + 1 < text.size()) {
            n = 2;
        }
        const QString ch = text.mid(i, n);
        i += n - 1;
        const char16_t u = ch.at(0).unicode();
        const int key = u < 0x80 ? int(QChar(u).toUpper().unicode()) : int(Qt::Key_unknown);
        QKeyEvent press(QEvent::KeyPress, key, Qt::NoModifier, ch);
        QApplication::sendEvent(target, &press);
        QKeyEvent release(QEvent::KeyRelease, key, Qt::NoModifier, ch);
        QApplication::sendEvent(target, &release);
    }
}

// The long texts are pasted, as from the box's context menu: the validator applies, key filters
// do not.
void enter(QLineEdit* box, const QString& text)
{
    if (text.size() > 100) {
        box->insert(text);
    } else {
        typeText(box, text);
    }
}

void keyTo(QWidget* target, Qt::Key key, Qt::KeyboardModifiers mods = Qt::NoModifier)
{
    if (target != nullptr) {
        QTest::keyClick(target, key, mods);
    }
}

// The database failures in the error log: their records name the statement as the source.
QStringList databaseFailures(const QString& log)
{
    static const QRegularExpression sql(
        QStringLiteral("Source: *(SELECT|INSERT|UPDATE|DELETE|PRAGMA|CREATE|BEGIN|COMMIT|"
                       "ROLLBACK|WITH|REPLACE|ALTER|DROP|VACUUM|ATTACH)"),
        QRegularExpression::CaseInsensitiveOption);
    QStringList out;
    for (const QString& r : log.split(QStringLiteral("Error Occured Date & Time "))) {
        if (sql.match(r).hasMatch() ||
            r.contains(QStringLiteral("database is not open"), Qt::CaseInsensitive)) {
            out << r.simplified().left(400);
        }
    }
    return out;
}

struct WindowStats
{
    int visits = 0;
    int fields = 0;
    int cells = 0;
    int buttons = 0;
    int inputs = 0;
};

// Exercises every modal window that comes up while a command runs: each of its boxes and cells
// gets every hostile text, and after each text every enabled button of the window is pressed.
// Windows opened by those buttons are exercised in turn, up to a depth; windows of Qt itself
// (print dialogs and the like) are closed unexercised.
class Walker : public QObject
{
public:
    Walker()
    {
        m_timer.setInterval(10);
        connect(&m_timer, &QTimer::timeout, this, &Walker::poll);
        m_timer.start();
    }

    QMap<QString, WindowStats> stats;
    std::function<void(const QString&)> afterWindow;

    void exercise(QWidget* w)
    {
        const QString name = QString::fromLatin1(w->metaObject()->className());
        WindowStats& s = stats[name];
        ++s.visits;
        m_stack.append(w);
        QPointer<QWidget> window(w);
        for (const QString& text : hostileTexts()) {
            if (!window) {
                break;
            }
            fill(window, text, s);
            pressButtons(window, s);
        }
        m_stack.removeAll(w);
        if (afterWindow) {
            afterWindow(name);
        }
    }

private:
    void poll()
    {
        QWidget* m = QApplication::activeModalWidget();
        if (m == nullptr || m_stack.contains(m) || m_busy.contains(m)) {
            return;
        }
        m_busy.append(m);
        QPointer<QWidget> guard(m);
        const QString name = QString::fromLatin1(m->metaObject()->className());
        const bool ours = !name.startsWith(u'Q');
        // Each window is gone through in full on its first two appearances; a window that
        // opens again and again (a preview after every press of "Print") is closed after.
        if (ours && m_stack.size() < 3 && stats.value(name).visits < 2) {
            // A timer's handler is not entered again while it runs: windows this one opens
            // are watched by a timer of its own.
            QTimer nested;
            nested.setInterval(10);
            connect(&nested, &QTimer::timeout, this, &Walker::poll);
            nested.start();
            exercise(m);
        }
        if (guard) {
            if (auto* d = qobject_cast<QDialog*>(guard.data())) {
                d->reject();
            } else {
                guard->close();
            }
        }
        m_busy.removeAll(m);
    }

    struct Cell
    {
        GridCellEditor* editor;
        int row;
        int column;
    };

    static QList<QLineEdit*> boxes(QWidget* w)
    {
        QList<QWidget*> gridEditors;
        for (GridCellEditor* e : w->findChildren<GridCellEditor*>()) {
            gridEditors << e->textEditor();
            if (e->datePicker() != nullptr) {
                gridEditors << e->datePicker();
            }
        }
        QList<QLineEdit*> out;
        for (QLineEdit* e : w->findChildren<QLineEdit*>()) {
            bool inGrid = false;
            for (QWidget* g : gridEditors) {
                inGrid = inGrid || e == g || g->isAncestorOf(e);
            }
            if (!inGrid && e->isEnabled() && !e->isReadOnly()) {
                out << e;
            }
        }
        return out;
    }

    static QList<Cell> cells(QWidget* w)
    {
        QList<Cell> out;
        for (GridCellEditor* e : w->findChildren<GridCellEditor*>()) {
            QTableWidget* g = e->grid();
            for (int c = 0; c < g->columnCount(); ++c) {
                if (!e->isColumnEditable(c) || e->isDateColumn(c)) {
                    continue;
                }
                for (int r = 0; r < qMin(g->rowCount(), 3); ++r) {
                    out << Cell{e, r, c};
                }
            }
        }
        return out;
    }

    void fill(QWidget* w, const QString& text, WindowStats& s)
    {
        if (!w->isVisible()) {
            w->show();
        }
        const QList<QLineEdit*> lines = boxes(w);
        const QList<Cell> grid = cells(w);
        s.fields = qMax(s.fields, int(lines.size()));
        s.cells = qMax(s.cells, int(grid.size()));
        for (const QPointer<QLineEdit>& box :
             QList<QPointer<QLineEdit>>(lines.begin(), lines.end())) {
            if (!box || !box->isEnabled() || box->isReadOnly()) {
                continue;
            }
            box->setFocus();
            box->selectAll();
            keyTo(box, Qt::Key_Backspace);
            if (box) {
                enter(box, text);
            }
            ++s.inputs;
            keyTo(box, Qt::Key_Return);
            keyTo(box, Qt::Key_Tab);
        }
        for (const Cell& c : grid) {
            if (c.row >= c.editor->grid()->rowCount() || !c.editor->open(c.row, c.column, {})) {
                continue;
            }
            enter(c.editor->textEditor(), text);
            ++s.inputs;
            keyTo(c.editor->textEditor(), Qt::Key_Return);
        }
    }

    void pressButtons(QWidget* w, WindowStats& s)
    {
        QPointer<QWidget> window(w);
        const QList<QPushButton*> all = w->findChildren<QPushButton*>();
        for (const QPointer<QPushButton>& b :
             QList<QPointer<QPushButton>>(all.begin(), all.end())) {
            if (!window) {
                return;
            }
            if (!window->isVisible()) {
                window->show();
            }
            if (!b || !b->isEnabled() || !b->isVisibleTo(window)) {
                continue;
            }
            b->click();
            ++s.buttons;
        }
    }

    QTimer m_timer;
    QList<QWidget*> m_stack;
    QList<QWidget*> m_busy;
};

// Rows the windows have something to work on: ready workstations, running sessions, a tariff,
// members with ledger entries, job work and billed history.
void seedCafe(Database& db, LoopbackAgentLink& link)
{
    for (int i = 1; i <= 3; ++i) {
        const qint64 agent = link.connectAgent();
        QVERIFY(agent > 0);
        QVERIFY(db.run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES (?, ?, ?)"),
                       {QStringLiteral("PC%1").arg(i), QStringLiteral("10.0.0.%1").arg(i), agent}));
    }
    for (int i = 4; i <= 6; ++i) {
        const qint64 agent = link.connectAgent();
        QVERIFY(agent > 0);
        QVERIFY(db.run(QStringLiteral("INSERT INTO terminals (terminal, ip, cid, sstart, \"user\", "
                                      "memberid, AUTOLOGOUT) VALUES (?, ?, ?, "
                                      "'2026-05-02 17:10:00', 'Std', ?, ?)"),
                       {QStringLiteral("PC%1").arg(i), QStringLiteral("10.0.0.%1").arg(i), agent,
                        i == 4 ? QStringLiteral("M1") : QString(), i == 6 ? 1 : 0}));
    }
    QVERIFY(db.run(QStringLiteral("INSERT INTO user_category (\"user\", Description) VALUES "
                                  "('Std', 'Standard'), ('Night', 'Night')")));
    QVERIFY(db.run(QStringLiteral("INSERT INTO ratelist (member, timeslice, Rate, rpermin, "
                                  "chargebyminute, usefirsttimeperiod) VALUES "
                                  "('Std', 30, 10, 0.5, 0, 1), ('Std', 60, 18, 0.3, 0, 0), "
                                  "('Night', 60, 12, 0.2, 1, 0)")));
    QVERIFY(db.run(QStringLiteral("INSERT INTO members (memberid, name, ob, Password, category, "
                                  "createddate) VALUES ('M1', 'Asha', 25, 'pw', 'Std', "
                                  "'2026-01-01 00:00:00'), ('M2', 'Ravi', 0, '', 'Night', "
                                  "'2026-02-01 00:00:00')")));
    QVERIFY(db.run(QStringLiteral("INSERT INTO transactions (memberid, Date, part, credit, debit) "
                                  "VALUES ('M1', '2026-05-01 10:00:00', 'Advance', 50, 0), "
                                  "('M1', '2026-05-01 12:00:00', 'Bill 1', 0, 12.5)")));
    QVERIFY(db.run(QStringLiteral("INSERT INTO jobwork (Type, amount, qty, totamt) VALUES "
                                  "('Print', 2.5, 0, 0), ('Scan', 4, 0, 0)")));
    QVERIFY(
        db.run(QStringLiteral("INSERT INTO history (billno, sstart, send, terminal, cip, \"user\", "
                              "memberid, duration, charge, otheramt, netamount, received) "
                              "VALUES (1, '2026-05-01 10:00:00', '2026-05-01 11:00:00', "
                              "'PC1', '10.0.0.1', 'Std', 'M1', '01:00', 18, 2.5, 20.5, 20.5)")));
    QVERIFY(db.run(QStringLiteral("INSERT INTO jobwork_details (billno, Type, qty, amount) VALUES "
                                  "(1, 'Print', 1, 2.5)")));
    QVERIFY(db.run(QStringLiteral("UPDATE defalt SET billno = 2")));
}

// The file is whole and every row is one the console could have written.
void checkConsistent(Database& db, const QString& after)
{
    const QByteArray where = after.toUtf8();
    QVERIFY2(db.scalar(QStringLiteral("SELECT count(*) FROM defalt")).toInt() == 1, where);
    if (!db.isShared()) {
        QCOMPARE(db.scalar(QStringLiteral("PRAGMA integrity_check")).toString(),
                 QStringLiteral("ok"));
    }
    // PostgreSQL's columns hold nothing but their kind; a file's are checked row by row.
    for (const QString& table : db.isShared() ? QStringList() : Database::tableNames()) {
        QVERIFY2(
            db.scalar(QStringLiteral("SELECT count(*) FROM sqlite_master WHERE name = ?"), {table})
                    .toInt() == 1,
            where);
        for (const QSqlRecord& col : db.rows(QStringLiteral("SELECT name, type FROM "
                                                            "pragma_table_info(?)"),
                                             {table})) {
            const QString name = col.value(0).toString();
            const QString type = col.value(1).toString();
            const QString quoted = u'"' + name + u'"';
            if (type == QLatin1String("REAL") || type == QLatin1String("INTEGER")) {
                // Numbers only, and finite ones inside the range of amounts.
                const int bad =
                    db.scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE typeof(%2) NOT IN "
                                             "('integer', 'real', 'null') OR abs(%2) > 1e15")
                                  .arg(table, quoted))
                        .toInt();
                QVERIFY2(bad == 0, qPrintable(after + u' ' + table + u'.' + name));
            }
        }
    }
    // Stored times keep their sortable form.
    const QList<QPair<QString, QString>> times = {
        {QStringLiteral("terminals"), QStringLiteral("sstart")},
        {QStringLiteral("history"), QStringLiteral("sstart")},
        {QStringLiteral("history"), QStringLiteral("send")},
        {QStringLiteral("transactions"), QStringLiteral("Date")},
        {QStringLiteral("members"), QStringLiteral("createddate")}};
    for (const auto& [table, column] : times) {
        const QString notSortable =
            db.isShared() ? QStringLiteral("!~ '^[0-9]{4}-[0-1][0-9]-[0-3][0-9]'")
                          : QStringLiteral("NOT GLOB "
                                           "'[0-9][0-9][0-9][0-9]-[0-1][0-9]-[0-3][0-9]*'");
        const int bad = db.scalar(QStringLiteral("SELECT count(*) FROM %1 WHERE %2 IS NOT NULL "
                                                 "AND %2 <> '' AND %2 %3")
                                      .arg(table, column, notSortable))
                            .toInt();
        QVERIFY2(bad == 0, qPrintable(after + u' ' + table + u'.' + column));
    }
    // Bill numbers stay unique, every workstation is in one list only, no member or job type
    // without a name.
    for (const char* bad : {"SELECT count(*) - count(DISTINCT billno) FROM history",
                            "SELECT count(*) FROM online o JOIN terminals t ON o.ip = t.ip",
                            "SELECT count(*) FROM members WHERE trim(coalesce(memberid, '')) = ''",
                            "SELECT count(*) FROM jobwork WHERE trim(coalesce(Type, '')) = ''"}) {
        QVERIFY2(db.scalar(QLatin1String(bad)).toInt() == 0, qPrintable(after + u' ' + bad));
    }
}

} // namespace

class TestHostileInput : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void refusedBillNumbersAreSaidSo_data()
    {
        QTest::addColumn<QString>("text");
        dataRow("quotes", QStringLiteral("'; DROP TABLE history;--"));
        dataRow("empty", QString());
        dataRow("full-width digit", QStringLiteral("\uff19"));
    }
    void refusedBillNumbersAreSaidSo()
    {
        // The bill number box refuses what is not a number with a message, and nothing is
        // changed on the strength of it.
        QFETCH(QString, text);
        TestHome home;
        Database db;
        QVERIFY(db.open(testDatabaseTarget(home)));
        QVERIFY(db.run(QStringLiteral("UPDATE defalt SET billno = 4")));
        ScriptedPrompt prompt;
        FrmOptions w(db);
        w.show();
        auto* box = w.findChild<QLineEdit*>(QStringLiteral("txtbillno"));
        box->selectAll();
        box->insert(text);
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(prompt.lastText(), QStringLiteral("Enter a Valid Bill Number"));
        QCOMPARE(box->text(), QStringLiteral("4"));
        QCOMPARE(db.scalar(QStringLiteral("SELECT billno FROM defalt")).toInt(), 4);
        QVERIFY2(home.errorLog().isEmpty(), qPrintable(home.errorLog()));
    }

    void everyBoxOfEveryWindowTakesHostileText()
    {
        TestHome home;
        writeConsoleSettings(home);
        testDatabaseTarget(home);
        LoopbackAgentLink link;
        ScriptedPrompt prompt;
        Console console;
        console.start();
        // The workstations are the test's agents on the loopback link, seeded once the console
        // is up (its start-up clears the ready list of an earlier run).
        AgentLink::setInstance(&link);
        Database& db = console.database();
        seedCafe(db, link);
        for (const QString& table : Database::tableNames()) {
            db.notifyChanged(table);
        }
        FrmMain& w = console.window();
        w.setAdministrator(true);

        Walker walker;
        QStringList problems;
        walker.afterWindow = [&](const QString& name) {
            for (const QString& r : databaseFailures(home.errorLog())) {
                problems << name + QStringLiteral(": ") + r;
            }
        };
        // Restoring swaps the database under the walk (tst_backup covers it).
        const QStringList skipped = {QStringLiteral("mnuexit"), QStringLiteral("mnusystray"),
                                     QStringLiteral("mnulogin"), QStringLiteral("mnurestore")};
        QStringList triggered;
        for (QAction* a : w.findChildren<QAction*>()) {
            const QString name = a->objectName();
            if (!name.startsWith(QStringLiteral("mnu")) || skipped.contains(name) ||
                triggered.contains(name)) {
                continue;
            }
            w.setAdministrator(true);
            if (!w.isVisible()) {
                console.showControlPanel();
            }
            triggered << name;
            a->trigger();
            if (name == QStringLiteral("mnubackup")) {
                QTRY_VERIFY_WITH_TIMEOUT(!QApplication::activeModalWidget(), 20000);
            }
            checkConsistent(db, name);
            if (QTest::currentTestFailed()) {
                return;
            }
        }
        // The login window last: it changes who is signed in.
        if (QAction* login = w.action(QStringLiteral("mnulogin"))) {
            triggered << login->objectName();
            login->trigger();
            checkConsistent(db, QStringLiteral("mnulogin"));
        }

        int inputs = 0;
        for (const WindowStats& s : walker.stats) {
            inputs += s.inputs;
        }
        QVERIFY2(problems.isEmpty(), qPrintable(problems.join(u'\n')));

        // Every window was reached and really walked: a walk that silently found nothing
        // would pass everything above.
        const QMap<QString, int> minimumBoxes = {
            {QStringLiteral("FrmSessionStart"), 3}, {QStringLiteral("FrmSessionEnd"), 5},
            {QStringLiteral("FrmSessionTran"), 2},  {QStringLiteral("FrmSessionDetails"), 4},
            {QStringLiteral("FrmJobWork"), 4},      {QStringLiteral("FrmMember"), 8},
            {QStringLiteral("FrmCustTran"), 4},     {QStringLiteral("FrmOptions"), 9},
            {QStringLiteral("FrmHKeeping"), 6},     {QStringLiteral("FrmLogin"), 2},
            {QStringLiteral("FrmTools"), 0},        {QStringLiteral("FrmAbout"), 0},
            {QStringLiteral("FrmRptHistory"), 2},   {QStringLiteral("FrmBillReprint"), 1},
            {QStringLiteral("FrmTranRepo"), 3},     {QStringLiteral("Preview"), 0},
        };
        for (auto it = minimumBoxes.cbegin(); it != minimumBoxes.cend(); ++it) {
            QVERIFY2(walker.stats.contains(it.key()), qPrintable(it.key()));
            const WindowStats& s = walker.stats.value(it.key());
            QVERIFY2(s.fields + s.cells >= it.value(), qPrintable(it.key()));
            QVERIFY2(s.buttons > 0, qPrintable(it.key()));
        }
        QVERIFY(inputs >= 700);
        QVERIFY2(triggered.size() >= 16, qPrintable(triggered.join(u',')));
    }
};

QTEST_MAIN(TestHostileInput)
#include "tst_hostileinput.moc"
