// SPDX-License-Identifier: Apache-2.0
// The console assembled in-process: start-up order, recovery of agents, the console window's
// state, the session its windows open on and the way back from the tray.
#include "common/paths.h"
#include "server/app/console.h"
#include "server/core/consolecommands.h"
#include "server/core/consolecore.h"
#include "server/core/database.h"
#include "server/core/historymodel.h"
#include "server/core/messagelog.h"
#include "server/core/ui/frmmain.h"
#include "server/core/ui/systemtray.h"
#include "support/consoleconf.h"
#include "support/scriptedprompt.h"
#include "support/testdatabase.h"
#include "support/testhome.h"

#include <QAction>
#include <QApplication>
#include <QDialog>
#include <QLabel>
#include <QMouseEvent>
#include <QTcpServer>
#include <QTest>
#include <QTimer>
#include <QTreeWidget>

namespace {

void seedSettings(const TestHome& home, const QByteArray& extra = {})
{
    writeConsoleSettings(home, 0, extra);
    // The console under test runs on the test's database.
    testDatabaseTarget(home);
}

// Rows an earlier run of the console left in its database.
void seedRows(const QStringList& statements)
{
    Database db;
    QVERIFY(db.open(DatabaseTarget::fromSettings(Paths::databaseFile())));
    for (const QString& sql : statements) {
        QVERIFY2(db.run(sql), qPrintable(sql));
    }
}

} // namespace

class TestConsole : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void uncleanEndWakesEveryRecordedAgentButTheConsole()
    {
        TestHome home;
        seedSettings(home);
        // Agents "listening" on their wake port: a ready one, the console's and a session's.
        QTcpServer probe;
        QVERIFY(probe.listen(QHostAddress("127.0.0.21"), 0));
        const quint16 wakePort = probe.serverPort();
        QTcpServer console23, session24;
        QVERIFY(console23.listen(QHostAddress("127.0.0.23"), wakePort));
        QVERIFY(session24.listen(QHostAddress("127.0.0.24"), wakePort));
        // Indexes as the first desk of a shared database numbers them (n * 100 + 1); a
        // console on a file of its own takes every row as its own anyway.
        seedRows({"INSERT INTO online (name, ip, id) VALUES ('PC21', '127.0.0.21', 101), "
                  "('VK Server', '127.0.0.23', 0)",
                  "INSERT INTO terminals (terminal, ip, cid, sstart, \"user\") VALUES "
                  "('PC24', '127.0.0.24', 301, '2026-01-01 09:00:00', 'Normal')"});
        qputenv("VANTIROKIT_WAKE_PORT", QByteArray::number(wakePort));
        Console console;
        console.start();
        qunsetenv("VANTIROKIT_WAKE_PORT");

        QVERIFY(console.messageLog().lines().contains(
            "Improper Servar Restart found, Wakening up all Client"));
        const auto seen = [](QTcpServer& s) {
            int n = 0;
            while (s.waitForNewConnection(n == 0 ? 3000 : 100)) {
                delete s.nextPendingConnection();
                ++n;
            }
            return n;
        };
        QCOMPARE(seen(probe), 1);
        QCOMPARE(seen(session24), 1);
        QCOMPARE(seen(console23), 0);

        // online holds only the console's own row afterwards, the session survives. On a
        // shared database the "VK Server" row of another address is another desk's computer,
        // and stays.
        Database& db = console.database();
        QCOMPARE(db.scalar("SELECT count(*) FROM online WHERE id <> 0").toInt(), 0);
        QCOMPARE(
            db.scalar("SELECT count(*) FROM online WHERE name = ?", {ConsoleCore::ownRowName(db)})
                .toInt(),
            1);
        QCOMPARE(db.scalar("SELECT count(*) FROM online").toInt(), db.isShared() ? 2 : 1);
        QCOMPARE(db.scalar("SELECT count(*) FROM terminals").toInt(), 1);
        QVERIFY(console.listeningPort() != 0);
    }

    void windowShowsTheListsAndStartsRestricted()
    {
        TestHome home;
        seedSettings(home);
        seedRows({"INSERT INTO terminals (terminal, ip, cid, sstart, \"user\", memberid, "
                  "AUTOLOGOUT) VALUES ('PC9', '127.0.0.9', 3, '2026-01-01 09:00:00', 'Normal', "
                  "'M1', 1)",
                  "INSERT INTO history (billno, terminal, charge) VALUES (7, 'PC9', 12.5)"});
        Console console;
        console.start();
        FrmMain& w = console.window();
        auto* online = w.findChild<QTreeWidget*>("lvwonline");
        QCOMPARE(online->topLevelItemCount(), 1);
        QCOMPARE(online->topLevelItem(0)->text(0), ConsoleCore::ownRowName(console.database()));
        auto* sessions = w.findChild<QTreeWidget*>("lvwsession");
        QCOMPARE(sessions->topLevelItemCount(), 1);
        QCOMPARE(sessions->topLevelItem(0)->text(3), QString("M1"));
        QCOMPARE(w.historyModel()->rowCount(), 1);

        // A new row announced by the database appears without a manual refresh.
        console.database().run("INSERT INTO online (name, ip, id) VALUES ('PC1', '127.0.0.2', 4)");
        console.database().notifyChanged("online");
        QTRY_COMPARE(online->topLevelItemCount(), 2);

        // What only the administrator may do is closed to the cashier.
        const char* adminOnly[] = {"mnuexit",        "mnuoptions", "mnuusercat",
                                   "mnuhouskeeping", "mnurestore", "mnutakings"};
        for (const char* name : adminOnly) {
            QVERIFY2(!w.action(name)->isEnabled(), name);
        }
        QVERIFY(!console.tray().closeAction()->isEnabled());
        w.setAdministrator(true);
        for (const char* name : adminOnly) {
            QVERIFY2(w.action(name)->isEnabled(), name);
        }
        QVERIFY(console.tray().closeAction()->isEnabled());
    }

    void selectedSessionIsCarriedIntoItsWindows()
    {
        TestHome home;
        seedSettings(home);
        seedRows({"INSERT INTO user_category (\"user\") VALUES ('Normal')",
                  "INSERT INTO terminals (terminal, ip, cid, sstart, \"user\") VALUES "
                  "('PC8', '127.0.0.8', 7, '2026-01-01 09:00:00', 'Normal'), "
                  "('PC9', '127.0.0.9', 8, '2026-01-01 09:00:00', 'Normal')"});
        ScriptedPrompt prompt;
        Console console;
        console.start();
        FrmMain& w = console.window();
        auto* sessions = w.findChild<QTreeWidget*>("lvwsession");
        QCOMPARE(sessions->topLevelItemCount(), 2);
        sessions->setCurrentItem(sessions->topLevelItem(1));
        // The selection outlives a rebuild of the list.
        console.database().notifyChanged("terminals");
        QCoreApplication::processEvents();
        QTreeWidgetItem* pc9 = sessions->currentItem();
        QVERIFY(pc9 != nullptr && pc9->isSelected());
        QVERIFY(pc9->text(0).startsWith("PC9"));

        // The session's window opens on the selection; what it shows is read and it is closed.
        QString shown;
        QTimer::singleShot(0, [&shown] {
            auto* d = qobject_cast<QDialog*>(QApplication::activeModalWidget());
            QVERIFY(d != nullptr);
            shown = d->findChild<QLabel*>(QStringLiteral("lbl1(0)"))->text();
            d->reject();
        });
        // A click, then the second press as the window system reports it.
        const QPoint at = sessions->visualItemRect(pc9).center();
        QTest::mouseClick(sessions->viewport(), Qt::LeftButton, {}, at);
        QMouseEvent twice(QEvent::MouseButtonDblClick, at, sessions->viewport()->mapToGlobal(at),
                          Qt::LeftButton, Qt::LeftButton, {});
        QApplication::sendEvent(sessions->viewport(), &twice);
        QCOMPARE(shown, QString("PC9"));
    }

    void closingTheWindowShutsDownInOrder()
    {
        TestHome home;
        seedSettings(home);
        Console console;
        bool finished = false;
        connect(&console, &Console::finished, this, [&] { finished = true; });
        console.start();
        console.window().close();
        QVERIFY(finished);
        QVERIFY(!console.database().isOpen());
        Database db;
        QVERIFY(db.open(DatabaseTarget::fromSettings(Paths::databaseFile())));
        QCOMPARE(db.scalar("SELECT count(*) FROM online").toInt(), 0);
    }

    void guardsRefuseWhenThereIsNothingToWorkOn()
    {
        TestHome home;
        Database db;
        QVERIFY(db.open(testDatabaseTarget(home)));
        QCOMPARE(ConsoleCommands::startSessionRefusal(db), QString("Ready Terminal Not Found"));
        QCOMPARE(ConsoleCommands::toolsRefusal(db), QString("Login Terminal Not Found"));
        QCOMPARE(ConsoleCommands::transferRefusal(db), QString("Login Terminal Not Found"));
        db.run("INSERT INTO jobwork_entered (line, Type, qty, totamt) VALUES (0, 'Print', 3, 7.5)");
        QCOMPARE(ConsoleCommands::endSessionRefusal(db), QString("Login Terminal Not Found"));
        QCOMPARE(db.scalar("SELECT count(*) FROM jobwork_entered").toInt(),
                 0); // cleared all the same
        db.run("INSERT INTO terminals (terminal, ip, cid) VALUES ('PC1', '127.0.0.2', 1)");
        QCOMPARE(ConsoleCommands::transferRefusal(db), QString(" Ready Terminal Not Found"));
        QCOMPARE(ConsoleCommands::endSessionRefusal(db), QString());
        db.run("INSERT INTO online (name, ip, id) VALUES ('PC2', '127.0.0.3', 2)");
        QCOMPARE(ConsoleCommands::transferRefusal(db), QString());
        QCOMPARE(ConsoleCommands::startSessionRefusal(db), QString());
        QCOMPARE(ConsoleCommands::toolsRefusal(db), QString());
    }

    // Started in the tray and sent there again: without a tray there is no way back from
    // hidden, so the window stays up (minimized).
    void theWayBackFromTheTray()
    {
        TestHome home;
        seedSettings(home, "\"RunMinimized\"=\"1\"\n");
        Console console;
        console.start();
        QCOMPARE(console.window().isVisible(), !SystemTray::trayAvailable());
        console.showControlPanel();
        console.window().action("mnusystray")->trigger();
        QCOMPARE(console.window().isVisible(), !SystemTray::trayAvailable());
        QCOMPARE(console.tray().menuEnabled(), SystemTray::trayAvailable());
        console.showControlPanel();
        QVERIFY(console.window().isVisible() && !console.window().isMinimized());
        QVERIFY(!console.tray().menuEnabled());
    }
};

QTEST_MAIN(TestConsole)
#include "tst_console.moc"
