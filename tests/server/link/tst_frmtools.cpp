// SPDX-License-Identifier: Apache-2.0
#include "common/protocol.h"
#include "server/core/agentlink.h"
#include "server/core/database.h"
#include "server/core/messagelog.h"
#include "server/core/ui/frmmain.h"
#include "server/link/connectionmanager.h"
#include "server/link/linkserver.h"
#include "server/link/ui/frmtools.h"
#include "support/scriptedprompt.h"
#include "support/shownbox.h"
#include "support/testdatabase.h"
#include "support/testhome.h"
#include "tests/server/link/fakeagent.h"

#include <QPushButton>
#include <QSignalSpy>
#include <QTableWidget>
#include <QTest>
#include <QTreeWidget>

#include <memory>

namespace {

struct Console
{
    TestHome home;
    Database db;
    LinkServer server;
    std::unique_ptr<ConnectionManager> manager;
    ScriptedPrompt prompt;

    Console()
    {
        if (!db.open(testDatabaseTarget(home))) {
            qFatal("database");
        }
        manager = std::make_unique<ConnectionManager>(db, server);
        if (!server.listen(0, QHostAddress::LocalHost)) {
            qFatal("listen");
        }
        AgentLink::setInstance(&server);
        // The console's own computer is listed with index 0.
        db.run(QStringLiteral(
            "INSERT INTO online (name, ip, id) VALUES ('VK Server', '10.9.9.9', 0)"));
    }

    // An agent that has connected and reported its name.
    bool join(FakeAgent& a, const QString& ip, const QString& name)
    {
        if (!a.connectFrom(ip, server.serverPort()) || !a.waitFor(Proto::CName)) {
            return false;
        }
        a.write(Proto::cnameReply(name));
        const QDeadlineTimer deadline(5000);
        while (db.scalar(QStringLiteral("SELECT name FROM online WHERE ip = ?"), {ip}).toString() !=
                   name &&
               !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        a.received.clear();
        return !deadline.hasExpired();
    }
};

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
    void listsConnectedWorkstations();
    void cancelSendsNothing();
    void commandReachesTheChosenWorkstation_data();
    void commandReachesTheChosenWorkstation();
    void shutdownTakesTheWorkstationOffTheList();
    void ownComputerAndGoneWorkstationAreSkippedQuietly();
    void backCloses();
    void reportedNameIsShownLiterally();
};

void TstFrmTools::listsConnectedWorkstations()
{
    Console c;
    FakeAgent a;
    QVERIFY(c.join(a, QStringLiteral("127.0.0.21"), QStringLiteral("PC-21")));
    FrmTools w(c.db);
    QCOMPARE(w.objectName(), QStringLiteral("frmtools"));
    QCOMPARE(w.windowTitle(), QStringLiteral("Tools"));
    auto* grid = w.findChild<QTableWidget*>(QStringLiteral("Grdonline"));
    QVERIFY(grid);
    QCOMPARE(grid->columnCount(), 2);
    QCOMPARE(gridRows(grid), QStringList({QStringLiteral("VK Server|10.9.9.9"),
                                          QStringLiteral("PC-21|127.0.0.21")}));
    QCOMPARE(grid->currentRow(), 0);
    for (const char* name : {"cmdlock", "cmdunlock", "cmdshutdown", "cmdrestart", "cmdclose"}) {
        QVERIFY2(w.findChild<QPushButton*>(QLatin1String(name)), name);
    }
    QCOMPARE(w.findChild<QPushButton*>(QStringLiteral("cmdunlock"))->text(),
             QStringLiteral("&UnLock"));

    // The list follows the table: a second agent appears without reopening the window.
    FakeAgent b;
    QVERIFY(c.join(b, QStringLiteral("127.0.0.22"), QStringLiteral("PC-22")));
    QTRY_COMPARE(grid->rowCount(), 3);
    QCOMPARE(grid->item(2, 0)->text(), QStringLiteral("PC-22"));
}

void TstFrmTools::cancelSendsNothing()
{
    Console c;
    FakeAgent a;
    QVERIFY(c.join(a, QStringLiteral("127.0.0.23"), QStringLiteral("PC-23")));
    FrmTools w(c.db);
    auto* grid = w.findChild<QTableWidget*>(QStringLiteral("Grdonline"));
    grid->setCurrentCell(1, 0);
    c.prompt.answerNext(Prompt::Answer::Cancel);
    w.findChild<QPushButton*>(QStringLiteral("cmdlock"))->click();
    QCOMPARE(c.prompt.asked().size(), 1);
    const auto& q = c.prompt.asked().first();
    QCOMPARE(q.text, QStringLiteral("Do you want to Lock the Client 127.0.0.23 : Name : PC-23"));
    QCOMPARE(q.title, QStringLiteral("Message"));
    QCOMPARE(q.icon, Prompt::Icon::Question);
    QCOMPARE(q.buttons, Prompt::Buttons::OkCancel);
    FakeAgent::settle();
    QVERIFY(a.received.isEmpty());
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
    QTest::newRow("lock") << "cmdlock"
                          << "Do you want to Lock the Client " << Proto::Lock << true << false;
    QTest::newRow("unlock") << "cmdunlock"
                            << " Do you want to UnLock the Client " << Proto::Unlock << false
                            << true;
    QTest::newRow("shutdown") << "cmdshutdown"
                              << " Do you want to Shutdown the Client " << Proto::Shutdown << true
                              << true;
    QTest::newRow("restart") << "cmdrestart"
                             << " Do you want to Reboot the Client " << Proto::Reboot << false
                             << false;
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
    w.findChild<QTableWidget*>(QStringLiteral("Grdonline"))->setCurrentCell(2, 1);
    QSignalSpy rebuilt(console.onlineList()->model(), &QAbstractItemModel::rowsInserted);
    c.prompt.answerNext(Prompt::Answer::Ok);
    w.findChild<QPushButton*>(button)->click();
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
}

void TstFrmTools::shutdownTakesTheWorkstationOffTheList()
{
    Console c;
    FakeAgent a;
    QVERIFY(c.join(a, QStringLiteral("127.0.0.26"), QStringLiteral("PC-26")));
    // The workstation goes down when told to.
    QObject::connect(&a.socket, &QTcpSocket::readyRead, &a, [&a] {
        if (a.received.contains(Proto::Shutdown)) {
            a.socket.disconnectFromHost();
        }
    });
    FrmTools w(c.db);
    auto* grid = w.findChild<QTableWidget*>(QStringLiteral("Grdonline"));
    grid->setCurrentCell(1, 0);
    c.prompt.answerNext(Prompt::Answer::Ok);
    w.findChild<QPushButton*>(QStringLiteral("cmdshutdown"))->click();
    QTRY_COMPARE(gridRows(grid), QStringList({QStringLiteral("VK Server|10.9.9.9")}));
}

void TstFrmTools::ownComputerAndGoneWorkstationAreSkippedQuietly()
{
    Console c;
    FakeAgent a;
    QVERIFY(c.join(a, QStringLiteral("127.0.0.27"), QStringLiteral("PC-27")));
    FrmTools w(c.db);
    auto* grid = w.findChild<QTableWidget*>(QStringLiteral("Grdonline"));
    grid->setCurrentCell(0, 0);
    c.prompt.answerNext(Prompt::Answer::Ok);
    w.findChild<QPushButton*>(QStringLiteral("cmdlock"))->click();
    QCOMPARE(c.prompt.asked().size(), 1);
    // The row of a workstation that went away meanwhile: the command is dropped silently.
    grid->setCurrentCell(1, 0);
    c.db.run(QStringLiteral("DELETE FROM online WHERE ip = '127.0.0.27'"));
    c.prompt.answerNext(Prompt::Answer::Ok);
    w.findChild<QPushButton*>(QStringLiteral("cmdrestart"))->click();
    QCOMPARE(c.prompt.asked().size(), 2);
    FakeAgent::settle();
    QVERIFY(a.received.isEmpty());
    QVERIFY(c.home.errorLog().isEmpty());
}

void TstFrmTools::backCloses()
{
    Console c;
    FrmTools w(c.db);
    w.show();
    QVERIFY(w.isVisible());
    w.findChild<QPushButton*>(QStringLiteral("cmdclose"))->click();
    QVERIFY(!w.isVisible());
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
    auto* grid = w.findChild<QTableWidget*>(QStringLiteral("Grdonline"));
    grid->setCurrentCell(1, 0);
    QCOMPARE(grid->item(1, 0)->text(), name);
    const ShownBox box = ShownBox::during(
        [&] { w.findChild<QPushButton*>(QStringLiteral("cmdlock"))->click(); }, &c.prompt);
    QCOMPARE(box.format, Qt::PlainText);
    QVERIFY2(box.text.endsWith(QStringLiteral("Name : ") + name), qPrintable(box.text));
    FakeAgent::settle();
    QVERIFY(a.received.isEmpty());
}

QTEST_MAIN(TstFrmTools)
#include "tst_frmtools.moc"
