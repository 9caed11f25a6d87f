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

} // namespace

class TstFrmTools : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void commandReachesTheChosenWorkstation_data();
    void commandReachesTheChosenWorkstation();
    void reportedNameIsShownLiterally();
};

void TstFrmTools::commandReachesTheChosenWorkstation_data()
{
    QTest::addColumn<QString>("button");
    QTest::addColumn<QString>("question");
    QTest::addColumn<QByteArray>("token"); // what the workstation hears
    QTest::addColumn<bool>("confirmed");
    QTest::addColumn<bool>("gone"); // its row went away before the click
    // How the ready list shows the workstation before and after: free or locked. Only a lock
    // or an unlock changes it.
    QTest::addColumn<bool>("freeBefore");
    QTest::addColumn<bool>("freeAfter");
    const QByteArray none;
    dataRow("lock", "cmdlock", "Do you want to Lock the Client ", Proto::Lock, true, false, true,
            false);
    dataRow("unlock", "cmdunlock", " Do you want to UnLock the Client ", Proto::Unlock, true, false,
            false, true);
    dataRow("shutdown", "cmdshutdown", " Do you want to Shutdown the Client ", Proto::Shutdown,
            true, false, true, true);
    dataRow("restart", "cmdrestart", " Do you want to Reboot the Client ", Proto::Reboot, true,
            false, false, false);
    dataRow("lock cancelled", "cmdlock", "Do you want to Lock the Client ", none, false, false,
            true, true);
    // A command for a row that is gone is dropped, never sent on the connection it had.
    dataRow("workstation gone meanwhile", "cmdrestart", " Do you want to Reboot the Client ", none,
            true, true, false, false);
}

void TstFrmTools::commandReachesTheChosenWorkstation()
{
    QFETCH(QString, button);
    QFETCH(QString, question);
    QFETCH(QByteArray, token);
    QFETCH(bool, confirmed);
    QFETCH(bool, gone);
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
    FrmTools w(c.db);
    w.show();
    QSignalSpy rebuilt(console.onlineList()->model(), &QAbstractItemModel::rowsInserted);
    grid(w)->setCurrentCell(2, 0);
    if (gone) {
        c.db.run(QStringLiteral("DELETE FROM online WHERE ip = '127.0.0.25'"));
    }
    command(w, c, -1, qPrintable(button), confirmed ? Prompt::Answer::Ok : Prompt::Answer::Cancel);
    // Whatever the command wrote, the ready list reads it back before it is looked at, so a
    // row that must stay as it was cannot pass merely by not having been redrawn yet.
    c.db.notifyChanged(QStringLiteral("online"));
    // The name is shown without its leading blanks.
    QCOMPARE(c.prompt.lastText(), question + QStringLiteral("127.0.0.25 : Name : PC-25"));
    QCOMPARE(b.heard(token), token);
    QVERIFY(a.received.isEmpty());
    if (gone) {
        QVERIFY(c.home.errorLog().isEmpty());
        return;
    }
    QTRY_VERIFY(!rebuilt.isEmpty());
    QCOMPARE(ready()->text(0), shown(freeAfter));
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
