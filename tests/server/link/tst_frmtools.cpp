// SPDX-License-Identifier: Apache-2.0
#include "common/protocol.h"
#include "server/core/agentlink.h"
#include "server/core/messagelog.h"
#include "server/core/ui/frmmain.h"
#include "server/link/ui/frmtools.h"
#include "support/datarow.h"
#include "support/scriptedprompt.h"
#include "support/shownbox.h"
#include "tests/server/link/fakeagent.h"
#include "tests/server/link/linkconsole.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

namespace {

// The console's link with every question answered from a script, and its own computer listed
// with index 0 as the console lists it.
struct Console : LinkConsole
{
    ScriptedPrompt prompt;

    Console()
    {
        AgentLink::setInstance(&server);
        db.run(QStringLiteral(
            "INSERT INTO online (name, ip, id) VALUES ('VK Server', '10.9.9.9', 0)"));
    }
    ~Console() { AgentLink::setInstance(nullptr); }
};

QTableWidget* grid(const FrmTools& w)
{
    return w.findChild<QTableWidget*>(QStringLiteral("Grdonline"));
}

// The cashier picks row `row` of the list (-1: the one picked already) and clicks `button`,
// answering the question so.
void command(FrmTools& w, Console& c, int row, const char* button,
             Prompt::Answer answer = Prompt::Answer::Ok)
{
    if (row >= 0) {
        grid(w)->setCurrentCell(row, 0);
    }
    c.prompt.answerNext(answer);
    w.findChild<QPushButton*>(QLatin1String(button))->click();
}

QStringList gridRows(QTableWidget* g)
{
    QStringList out;
    for (int r = 0; r < g->rowCount(); ++r) {
        out << g->item(r, 0)->text() + QLatin1Char('|') + g->item(r, 1)->text();
    }
    return out;
}

} // namespace

class TstFrmTools : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void listsConnectedWorkstationsAndCloses();
    void commandReachesTheChosenWorkstation_data();
    void commandReachesTheChosenWorkstation();
    void cancelOwnComputerAndGoneWorkstationSendNothing();
    void reportedNameIsShownLiterally();
};

void TstFrmTools::listsConnectedWorkstationsAndCloses()
{
    Console c;
    FakeAgent a;
    QVERIFY(c.join(a, QStringLiteral("127.0.0.21"), QStringLiteral("PC-21")));
    FrmTools w(c.db);
    QCOMPARE(w.objectName(), QStringLiteral("frmtools"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Tools"));
    QVERIFY(grid(w));
    QCOMPARE(grid(w)->columnCount(), 2);
    QCOMPARE(gridRows(grid(w)), QStringList({QStringLiteral("VK Server|10.9.9.9"),
                                             QStringLiteral("PC-21|127.0.0.21")}));
    QCOMPARE(grid(w)->currentRow(), 0);
    for (const char* name : {"cmdlock", "cmdunlock", "cmdshutdown", "cmdrestart", "cmdclose"}) {
        QVERIFY2(w.findChild<QPushButton*>(QLatin1String(name)), name);
    }
    QCOMPARE(w.findChild<QPushButton*>(QStringLiteral("cmdunlock"))->text(),
             QStringLiteral("&UnLock"));

    // The list follows the table: a second agent appears without reopening the window.
    FakeAgent b;
    QVERIFY(c.join(b, QStringLiteral("127.0.0.22"), QStringLiteral("PC-22")));
    QTRY_COMPARE(grid(w)->rowCount(), 3);
    QCOMPARE(grid(w)->item(2, 0)->text(), QStringLiteral("PC-22"));

    w.show();
    w.findChild<QPushButton*>(QStringLiteral("cmdclose"))->click();
    QVERIFY(!w.isVisible());
}

void TstFrmTools::commandReachesTheChosenWorkstation_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QByteArray>("token");
    // How the ready list shows the workstation before and after: free or locked. Only a lock
    // or an unlock changes it.
    QTest::addColumn<bool>("freeBefore");
    QTest::addColumn<bool>("freeAfter");
    dataRow("lock", "cmdlock", "Do you want to Lock the Client ", Proto::Lock, true, false);
    dataRow("unlock", "cmdunlock", " Do you want to UnLock the Client ", Proto::Unlock, false,
            true);
    dataRow("shutdown", "cmdshutdown", " Do you want to Shutdown the Client ", Proto::Shutdown,
            true, true);
    dataRow("restart", "cmdrestart", " Do you want to Reboot the Client ", Proto::Reboot, false,
            false);
}

void TstFrmTools::commandReachesTheChosenWorkstation()
{
    QFETCH(QString, button);
    QFETCH(QString, question);
    QFETCH(QByteArray, token);
    QFETCH(bool, freeBefore);
    QFETCH(bool, freeAfter);
    Console c;
    FakeAgent a;
    FakeAgent b;
    QVERIFY(c.join(a, QStringLiteral("127.0.0.24"), QStringLiteral("PC-24")));
    QVERIFY(c.join(b, QStringLiteral("127.0.0.25"), QStringLiteral("  PC-25")));
    QVERIFY(c.db.run(QStringLiteral("UPDATE online SET unlocked = ? WHERE ip = '127.0.0.25'"),
                     {freeBefore ? 1 : 0}));
    MessageLog log;
    FrmMain console(c.db, log);
    const auto ready = [&] { return console.onlineList()->topLevelItem(2); };
    const auto shown = [](bool free) {
        return free ? QStringLiteral("  PC-25 (free)") : QStringLiteral("  PC-25");
    };
    QCOMPARE(ready()->text(0), shown(freeBefore));
    FrmTools w(c.db);
    w.show();
    QSignalSpy rebuilt(console.onlineList()->model(), &QAbstractItemModel::rowsInserted);
    command(w, c, 2, qPrintable(button));
    // Whatever the command wrote, the ready list reads it back before it is looked at, so a
    // row that must stay as it was cannot pass merely by not having been redrawn yet.
    c.db.notifyChanged(QStringLiteral("online"));
    // The name is shown without its leading blanks.
    QCOMPARE(c.prompt.lastText(), question + QStringLiteral("127.0.0.25 : Name : PC-25"));
    QVERIFY(b.waitFor(token));
    QCOMPARE(b.received, token);
    QVERIFY(a.received.isEmpty());
    QTRY_VERIFY(!rebuilt.isEmpty());
    QCOMPARE(ready()->text(0), shown(freeAfter));
    QCOMPARE(ready()->toolTip(0), freeAfter ? FrmMain::FreeTip : QString());
    QCOMPARE(console.onlineList()->topLevelItem(1)->text(0), QStringLiteral("PC-24"));
    // The window stays open for the next workstation.
    QVERIFY(w.isVisible());
    // A workstation that goes down when told to leaves the list.
    if (token == Proto::Shutdown) {
        b.socket.disconnectFromHost();
        QTRY_COMPARE(gridRows(grid(w)), QStringList({QStringLiteral("VK Server|10.9.9.9"),
                                                     QStringLiteral("PC-24|127.0.0.24")}));
    }
}

void TstFrmTools::cancelOwnComputerAndGoneWorkstationSendNothing()
{
    Console c;
    FakeAgent a;
    QVERIFY(c.join(a, QStringLiteral("127.0.0.23"), QStringLiteral("PC-23")));
    FrmTools w(c.db);
    command(w, c, 1, "cmdlock", Prompt::Answer::Cancel);
    QCOMPARE(c.prompt.asked().size(), 1);
    const auto& q = c.prompt.asked().first();
    QCOMPARE(q.text, QStringLiteral("Do you want to Lock the Client 127.0.0.23 : Name : PC-23"));
    QCOMPARE(q.title, QStringLiteral("Message"));
    QCOMPARE(q.icon, Prompt::Icon::Question);
    QCOMPARE(q.buttons, Prompt::Buttons::OkCancel);
    // The console's own computer is skipped quietly.
    command(w, c, 0, "cmdlock");
    QCOMPARE(c.prompt.asked().size(), 2);
    // The row of a workstation that went away meanwhile: the command is dropped silently.
    grid(w)->setCurrentCell(1, 0);
    c.db.run(QStringLiteral("DELETE FROM online WHERE ip = '127.0.0.23'"));
    command(w, c, -1, "cmdrestart");
    QCOMPARE(c.prompt.asked().size(), 3);
    QCOMPARE(a.heard({}), QByteArray());
    QVERIFY(c.home.errorLog().isEmpty());
}

void TstFrmTools::reportedNameIsShownLiterally()
{
    // A laptop names itself so that the question would read as a message of the system's own.
    Console c;
    FakeAgent a;
    const QString name =
        QStringLiteral("<font color=red><b>SYSTEM: press OK to lock every workstation</b></font>");
    QVERIFY(c.join(a, QStringLiteral("127.0.0.26"), name));
    FrmTools w(c.db);
    QCOMPARE(grid(w)->item(1, 0)->text(), name);
    const ShownBox box = ShownBox::during([&] { command(w, c, 1, "cmdlock"); }, &c.prompt);
    QCOMPARE(box.format, Qt::PlainText);
    QVERIFY2(box.text.endsWith(QStringLiteral("Name : ") + name), qPrintable(box.text));
    QCOMPARE(a.heard({}), QByteArray());
}

QTEST_MAIN(TstFrmTools)
#include "tst_frmtools.moc"
