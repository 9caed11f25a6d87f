// SPDX-License-Identifier: Apache-2.0
// Settlement end to end: the window over a real database file and a real agent connection.

#include "common/clock.h"
#include "common/protocol.h"
#include "server/accounts/ui/preview.h"
#include "server/core/consolecommands.h"
#include "server/core/database.h"
#include "server/core/ui/gridcelleditor.h"
#include "server/sessions/jobworkstore.h"
#include "server/sessions/sessionservice.h"
#include "server/sessions/settlementform.h"
#include "server/sessions/tariffstore.h"
#include "server/sessions/ui/frmjobworkdetails.h"
#include "server/sessions/ui/frmsessionend.h"
#include "support/consolefixture.h"
#include "support/datarow.h"
#include "support/loopbackagentlink.h"
#include "support/refusedwrites.h"
#include "support/tariffrows.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QSqlRecord>
#include <QTimer>
#include <QtTest>

#include <csignal>

namespace {

const QDateTime T0(QDate(2026, 3, 14), QTime(10, 0, 0));

// Usage categories used below: the standard rate rows, or none.
void addCategory(Database& db, const QString& name, bool withRates = true)
{
    QVERIFY(TariffStore(db).save(name, QString(), true,
                                 withRates ? standardRateRows() : QList<RateRow>(), {}));
}

void addOnline(Database& db, const QString& name, qint64 id)
{
    QVERIFY(db.run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES (?, ?, ?)"),
                   {name, QStringLiteral("10.0.0.%1").arg(id), id}));
}

// Starts a session at T0 on the ready workstation `name`.
void startAt(Database& db, const QString& name, const QString& category,
             const QString& member = QString(), const QString& advance = QStringLiteral("0"),
             bool maintenance = false)
{
    Clock::setFixed(T0);
    StartRequest req;
    req.terminal = name;
    req.category = category;
    req.memberId = member;
    req.amountReceived = advance;
    req.maintenance = maintenance;
    QVERIFY(SessionService(db).start(req).ok);
}

// The usual case: "Std" sessions by the period started at T0 on each workstation named, the
// i-th on agent agents[i] (i + 1 when not given).
void running(Database& db, const QStringList& names, const QList<qint64>& agents = {})
{
    addCategory(db, QStringLiteral("Std"));
    for (qsizetype i = 0; i < names.size(); ++i) {
        addOnline(db, names[i], agents.value(i, i + 1));
        startAt(db, names[i], QStringLiteral("Std"));
    }
}

// Picks `terminal` in the window, `seconds` after T0 when given.
void pick(FrmSessionEnd& w, const QString& terminal, int seconds = -1)
{
    if (seconds >= 0) {
        Clock::setFixed(T0.addSecs(seconds));
    }
    child<QComboBox>(w, "cmbterminal")->setEditText(terminal);
    w.pickTerminal();
}

// Sets the quantity of the first job-work line through "&Jobwork Details" and closes it.
void runJobWork(FrmSessionEnd& w, const QString& qty)
{
    QTimer::singleShot(0, &w, [qty] {
        auto* d = qobject_cast<FrmJobWorkDetails*>(QApplication::activeModalWidget());
        QVERIFY(d != nullptr);
        d->editor()->open(0, 2, qty);
        QTest::keyClick(d->editor()->textEditor(), Qt::Key_Return);
        d->findChild<QPushButton*>(QStringLiteral("cmdback"))->click();
    });
    child<QPushButton>(w, "cmdjobworkdetails")->click();
}

// The states a settlement may leave behind: the session still running and nothing billed,
// or exactly one whole bill.
enum class State
{
    Running,
    Billed,
    Broken
};

State stateOf(Database& db, bool member, bool jobWork)
{
    const auto count = [&db](const QString& table) {
        return db.scalar(QStringLiteral("SELECT count(*) FROM ") + table).toLongLong();
    };
    const qint64 terminals = count(QStringLiteral("terminals"));
    const qint64 history = count(QStringLiteral("history"));
    const qint64 ledger = count(QStringLiteral("transactions"));
    const qint64 lines = count(QStringLiteral("jobwork_details"));
    const qint64 online = count(QStringLiteral("online"));
    const qint64 next = db.scalar(QStringLiteral("SELECT billno FROM defalt")).toLongLong();
    if (terminals == 1 && history == 0 && ledger == 0 && lines == 0 && online == 0 && next == 1) {
        return State::Running;
    }
    const qint64 billed =
        db.scalar(QStringLiteral("SELECT count(*) FROM history WHERE billno = 1")).toLongLong();
    if (terminals == 0 && history == 1 && billed == 1 && ledger == (member ? 2 : 0) &&
        lines == (jobWork ? 1 : 0) && online == 1 && next == 2) {
        return State::Billed;
    }
    return State::Broken;
}

// A member session with an advance and one job-work line: every kind of write a settlement
// makes (history, credit, debit, job-work line, bill number, online, terminals).
void prepareFullSession(Database& db)
{
    addCategory(db, QStringLiteral("Std"));
    addOnline(db, QStringLiteral("PC1"), 1);
    QVERIFY(db.run(QStringLiteral("INSERT INTO members (memberid, Password, category) "
                                  "VALUES ('M1', '', 'Std')")));
    QVERIFY(db.run(QStringLiteral("INSERT INTO jobwork (Type, amount) VALUES ('Print', 2.5)")));
    startAt(db, QStringLiteral("PC1"), QStringLiteral("Std"), QStringLiteral("M1"),
            QStringLiteral("20"));
}

SettleResult settleFull(Database& db, std::function<bool(int)> hook)
{
    Clock::setFixed(T0.addSecs(70 * 60));
    SettlementForm form(db, 2);
    form.open();
    form.pick(QStringLiteral("PC1"));
    // Entered on the connection that settles: the lines are that console's own.
    JobWorkStore jobs(db);
    if (!jobs.storeQuantities({{QStringLiteral("Print"), Money::parse(QStringLiteral("2.5")),
                                QStringLiteral("3"), Money::parse(QStringLiteral("7.5"))}})) {
        return {};
    }
    form.jobWorkClosed(jobs.total());
    form.otherEntered();
    form.service().setWriteHook(std::move(hook));
    return form.settle();
}

// Child mode: settles the prepared session and kills itself right after write `n`.
int settleAndDie(const QString& home, int n)
{
    Database db;
    if (!db.open(DatabaseTarget::fromSettings(home + QStringLiteral("/server.db"),
                                              home + QStringLiteral("/vantirokit.conf")))) {
        return 3;
    }
    settleFull(db, [n](int w) {
        if (w == n) {
            std::raise(SIGKILL);
        }
        return true;
    });
    return 0;
}

} // namespace

class TestSettlement : public QObject, public ConsoleFixture
{
    Q_OBJECT

    // The cashier presses End and answers Yes.
    void endSession(FrmSessionEnd& w)
    {
        m_prompt->answerNext(Prompt::Answer::Yes);
        child<QPushButton>(w, "cmdend")->click();
    }

private Q_SLOTS:
    void init()
    {
        openConsole();
        Preview::setSkipModal(true);
        Preview::resetRecord();
    }
    void cleanup() { closeConsole(); }

    void chargeThroughWindow_data()
    {
        QTest::addColumn<int>("seconds");
        QTest::addColumn<QString>("duration");
        QTest::addColumn<QString>("amount");
        // The amounts for each setting are tst_charge's; this shows the window bills them.
        dataRow("1:10 by period", 70 * 60, " 1: 10: 0", "35");
        // A category without rates: the zero amounts are left empty on the bill.
        dataRow("no rates", 3000, " 0: 50: 0", "0");
    }
    void chargeThroughWindow()
    {
        QFETCH(int, seconds);
        QFETCH(QString, duration);
        QFETCH(QString, amount);
        addCategory(*m_db, QStringLiteral("Std"), amount != QLatin1String("0"));
        LoopbackAgentLink link;
        const qint64 agent = link.connectAgent();
        QVERIFY(agent > 0);
        addOnline(*m_db, QStringLiteral("PC1"), agent);
        startAt(*m_db, QStringLiteral("PC1"), QStringLiteral("Std"));

        FrmSessionEnd w(*m_db);
        pick(w, QStringLiteral("  PC1 "), seconds);
        QCOMPARE(child<QLabel>(w, "lbl1(0)")->text(), QStringLiteral("PC1"));
        // Reported names are shown as they came, never rendered as markup.
        QCOMPARE(child<QLabel>(w, "lbl1(0)")->textFormat(), Qt::PlainText);
        QCOMPARE(child<QLabel>(w, "lbl1(5)")->text(), duration);
        QCOMPARE(child<QLabel>(w, "lbl1(6)")->text(), QLatin1Char(' ') + amount);
        QCOMPARE(child<QLineEdit>(w, "txtamt")->text(), amount);

        // Settled later than picked: the bill ends when the session was picked.
        Clock::advance(600);
        endSession(w);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("DO YOU WANT TO END THE SESSION")});
        const auto h = m_db->firstRow(QStringLiteral("SELECT * FROM history"));
        QVERIFY(h);
        QCOMPARE(h->value(QStringLiteral("billno")).toLongLong(), 1);
        QCOMPARE(h->value(QStringLiteral("duration")).toString(), duration);
        QCOMPARE(Money::fromVariant(h->value(QStringLiteral("charge"))).toString(), amount);
        QCOMPARE(Money::fromVariant(h->value(QStringLiteral("netamount"))).toString(), amount);
        for (const char* c : {"charge", "netamount"}) {
            QVERIFY2(h->value(QLatin1String(c)).isNull() == (amount == QLatin1String("0")), c);
        }
        QVERIFY(h->value(QStringLiteral("received")).isNull());
        QVERIFY(h->value(QStringLiteral("otheramt")).isNull());
        QCOMPARE(Database::parseTime(h->value(QStringLiteral("send"))), T0.addSecs(seconds));
        QCOMPARE(h->value(QStringLiteral("terminal")).toString(), QStringLiteral("PC1"));
        QCOMPARE(h->value(QStringLiteral("cip")).toString(), QStringLiteral("10.0.0.1"));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT billno FROM defalt")).toLongLong(), 2);
        QCOMPARE(count(QStringLiteral("terminals")), 0);
        QCOMPARE(
            m_db->scalar(QStringLiteral("SELECT id FROM online WHERE name = 'PC1'")).toLongLong(),
            agent);
        QCOMPARE(link.received(agent, Proto::EndSession.size()), Proto::EndSession);
    }

    void memberAdvanceAndTotal_data()
    {
        QTest::addColumn<QString>("advance");
        QTest::addColumn<int>("lines");
        dataRow("advance 20", "20", 2);
        dataRow("no advance", "0", 1);
    }
    void memberAdvanceAndTotal()
    {
        QFETCH(QString, advance);
        QFETCH(int, lines);
        addCategory(*m_db, QStringLiteral("Std"));
        addOnline(*m_db, QStringLiteral("PC1"), 1);
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO members (memberid, Password, category) "
                                         "VALUES ('M1', '', 'Std')")));
        QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET billno = 4294967296")));
        startAt(*m_db, QStringLiteral("PC1"), QStringLiteral("Std"), QStringLiteral("M1"), advance);
        LoopbackAgentLink link;
        FrmSessionEnd w(*m_db);
        pick(w, QStringLiteral("PC1"), 70 * 60); // 1:10 costs 35
        QCOMPARE(child<QLineEdit>(w, "txtramt")->text(), advance);
        QCOMPARE(child<QLineEdit>(w, "txtbillNo")->text(), QStringLiteral("4294967296"));
        endSession(w);
        // The agent's connection (index 1) is not there: the bill stays, the row goes.
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(count(QStringLiteral("online")), 0);

        const auto rows = m_db->rows(QStringLiteral(
            "SELECT memberid, part, credit, debit FROM transactions ORDER BY rowid"));
        QCOMPARE(rows.size(), lines);
        if (lines == 2) {
            QCOMPARE(rows[0].value(1).toString(), QStringLiteral("Received By Bill No 4294967296"));
            QCOMPARE(Money::fromVariant(rows[0].value(2)), Money::fromWhole(20));
            QCOMPARE(Money::fromVariant(rows[0].value(3)), Money());
        }
        const QSqlRecord& debit = rows.last();
        QCOMPARE(debit.value(0).toString(), QStringLiteral("M1"));
        QCOMPARE(debit.value(1).toString(), QStringLiteral("By Bill No 4294967296"));
        QCOMPARE(Money::fromVariant(debit.value(3)), Money::fromWhole(35));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT billno FROM history")).toLongLong(),
                 4294967296LL);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT billno FROM defalt")).toLongLong(),
                 4294967297LL);
    }

    void maintenanceTakesNoBillNumber()
    {
        addCategory(*m_db, QStringLiteral("Std"));
        QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET printbill = 1")));
        LoopbackAgentLink link;
        const qint64 a = link.connectAgent();
        const qint64 b = link.connectAgent();
        addOnline(*m_db, QStringLiteral("PC1"), a);
        addOnline(*m_db, QStringLiteral("PC2"), b);
        startAt(*m_db, QStringLiteral("PC1"), QStringLiteral("Std"));
        startAt(*m_db, QStringLiteral("PC2"), QString(), QString(), QStringLiteral("0"), true);
        FrmSessionEnd w(*m_db);
        // A billed session picked first must not leak its amounts into the maintenance row.
        pick(w, QStringLiteral("PC1"), 70 * 60);
        QCOMPARE(child<QLineEdit>(w, "txtamt")->text(), QStringLiteral("35"));
        pick(w, QStringLiteral("PC2"));
        endSession(w);

        const auto h = m_db->firstRow(QStringLiteral("SELECT * FROM history"));
        QVERIFY(h);
        QCOMPARE(h->value(QStringLiteral("user")).toString(), QStringLiteral("Maintaining"));
        QVERIFY(h->value(QStringLiteral("billno")).isNull());
        QVERIFY(h->value(QStringLiteral("charge")).isNull());
        QVERIFY(h->value(QStringLiteral("netamount")).isNull());
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT billno FROM defalt")).toLongLong(), 1);
        QCOMPARE(Preview::presentedCount(), 0);
        QCOMPARE(link.received(b, Proto::EndSession.size()), Proto::EndSession);
        // The other session is still running, untouched by its pick.
        QCOMPARE(count(QStringLiteral("terminals")), 1);
        QVERIFY(m_db->scalar(QStringLiteral("SELECT send FROM terminals")).isNull());
    }

    void printsAfterCommit()
    {
        // The preview waits for the cashier with the bill committed and no write pending.
        QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET printbill = 1")));
        LoopbackAgentLink link;
        const qint64 a = link.connectAgent();
        running(*m_db, {QStringLiteral("PC1")}, {a});
        Preview::setSkipModal(false);
        FrmSessionEnd w(*m_db);
        pick(w, QStringLiteral("PC1"), 20 * 60);
        QVERIFY(child<QCheckBox>(w, "Chkprint")->isChecked());
        bool sawPreview = false;
        qint64 billsWhileShown = -1;
        bool otherWriterGotIn = false;
        QByteArray agentWhileShown = "unread";
        QTimer::singleShot(100, this, [&] {
            QWidget* modal = QApplication::activeModalWidget();
            sawPreview = modal != nullptr && qobject_cast<Preview*>(modal) != nullptr;
            billsWhileShown = count(QStringLiteral("history"));
            {
                QSqlDatabase other =
                    QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("other"));
                other.setDatabaseName(m_db->path());
                other.setConnectOptions(QStringLiteral("QSQLITE_BUSY_TIMEOUT=200"));
                if (other.open()) {
                    QSqlQuery q(other);
                    otherWriterGotIn = q.exec(QStringLiteral("BEGIN IMMEDIATE")) &&
                                       q.exec(QStringLiteral("ROLLBACK"));
                }
                other.close();
            }
            QSqlDatabase::removeDatabase(QStringLiteral("other"));
            agentWhileShown = link.received(a, 1, 100);
            if (modal != nullptr) {
                modal->close();
            }
        });
        endSession(w);
        QVERIFY(sawPreview);
        QCOMPARE(billsWhileShown, 1);
        QVERIFY(otherWriterGotIn);
        QVERIFY(agentWhileShown.isEmpty()); // the agent hears of it after the preview
        QCOMPARE(link.received(a, Proto::EndSession.size()), Proto::EndSession);
        Preview::setSkipModal(true);
    }

    // The console's own computer has no agent to tell and keeps its row whatever is chosen.
    void closeChoices_data()
    {
        QTest::addColumn<QString>("terminal");
        QTest::addColumn<QString>("choice");
        QTest::addColumn<QByteArray>("message");
        QTest::addColumn<int>("online");
        dataRow("lock", "PC1", "chklock", Proto::EndSession, 1);
        dataRow("shut down", "PC1", "chkshutdown", Proto::Shutdown, 0);
        dataRow("restart", "PC1", "chkrestart", Proto::Reboot, 0);
        dataRow("own computer, shut down", "VK Server", "chkshutdown", QByteArray(), 1);
    }
    void closeChoices()
    {
        QFETCH(QString, terminal);
        QFETCH(QString, choice);
        QFETCH(QByteArray, message);
        QFETCH(int, online);
        LoopbackAgentLink link;
        const qint64 a = message.isEmpty() ? 0 : link.connectAgent();
        running(*m_db, {terminal}, {a});
        FrmSessionEnd w(*m_db);
        pick(w, terminal, 600);
        w.findChild<QRadioButton*>(choice)->setChecked(true);
        endSession(w);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        if (message.isEmpty()) {
            QVERIFY(link.sent().isEmpty());
        } else {
            QCOMPARE(link.received(a, message.size()), message);
        }
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM online WHERE id = ?"), {a})
                     .toLongLong(),
                 online);
        QCOMPARE(count(QStringLiteral("terminals")), 0);
        QCOMPARE(count(QStringLiteral("history")), 1);
    }

    // A charge or net of 0 entered is refused and the box keeps a billable amount; the
    // received amount is rounded to the currency digits.
    void amountBoxes()
    {
        prepareFullSession(*m_db);
        FrmSessionEnd w(*m_db);
        w.show();
        pick(w, QStringLiteral("PC1"), 70 * 60);
        QLineEdit* amt = child<QLineEdit>(w, "txtamt");
        QLineEdit* ramt = child<QLineEdit>(w, "txtramt");
        QLineEdit* net = child<QLineEdit>(w, "txtnetamt");

        net->setText(QStringLiteral("0"));
        QTest::keyClick(net, Qt::Key_Return);
        QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("Please Enter Amount")});
        QCOMPARE(net->text(), QStringLiteral("35"));

        ramt->setText(QStringLiteral("3.335"));
        QTest::keyClick(ramt, Qt::Key_Return);
        QCOMPARE(ramt->text(), QStringLiteral("3.34"));

        m_prompt->clear();
        amt->setText(QStringLiteral("0"));
        QTest::keyClick(amt, Qt::Key_Return);
        QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("Please Enter Amount")});
        QCOMPARE(amt->text(), QStringLiteral("0"));
    }

    // Whatever changes the amount or the other amount, the net shown and billed is their sum;
    // a net typed after the last such change is billed as typed and marked as such.
    void netFollowsTheAmounts_data()
    {
        QTest::addColumn<QStringList>("steps"); // "job:qty", "box=typed" or "box" for Enter
        QTest::addColumn<QString>("net");
        QTest::addColumn<bool>("byHand");
        QTest::addColumn<QString>("charge");
        QTest::addColumn<QString>("other");  // "" when none is stored
        QTest::addColumn<QString>("billed"); // the net on the bill; "" when the one shown
        // What the window shows below the net: the billed net less the 20 received.
        QTest::addColumn<QString>("balance");
        dataRow("job work added", QStringList{"job:3"}, "42.5", false, "35", "7.5", "",
                "Balance Due 22.5");
        dataRow("job work removed", QStringList{"job:3", "txtoamt", "job:0"}, "35", false, "35", "",
                "", "Balance Due 15");
        dataRow("other reset to 0", QStringList{"txtoamt=5", "txtoamt", "txtoamt=0", "txtoamt"},
                "35", false, "35", "", "", "Balance Due 15");
        dataRow("charge not entered", QStringList{"txtamt=40"}, "40", false, "40", "", "",
                "Balance Due 20");
        dataRow("charge rounded at End", QStringList{"txtamt=12.125"}, "12.12", false, "12.12", "",
                "", "Change 7.88");
        dataRow("other not entered", QStringList{"txtoamt=5"}, "40", false, "35", "5", "",
                "Balance Due 20");
        dataRow("net by hand", QStringList{"txtoamt=5", "txtnetamt=30"}, "30", true, "35", "5", "",
                "Balance Due 10");
        dataRow("net by hand, then the charge changed", QStringList{"txtnetamt=30", "txtamt=40"},
                "40", false, "40", "", "", "Balance Due 20");
        dataRow("net by hand, then job work", QStringList{"txtnetamt=30", "job:2"}, "40", false,
                "35", "5", "", "Balance Due 20");
        // A net emptied or set to 0 by hand is no discount: the amounts are billed in full.
        dataRow("net emptied by hand", QStringList{"txtoamt=5", "txtnetamt="}, "", true, "35", "5",
                "40", "Balance Due 20");
        dataRow("net typed as 0", QStringList{"txtnetamt=0"}, "0", true, "35", "", "35",
                "Balance Due 15");
    }

    void netFollowsTheAmounts()
    {
        QFETCH(QStringList, steps);
        QFETCH(QString, net);
        QFETCH(bool, byHand);
        QFETCH(QString, charge);
        QFETCH(QString, other);
        QFETCH(QString, billed);
        QFETCH(QString, balance);
        if (billed.isEmpty()) {
            billed = net;
        }
        prepareFullSession(*m_db);
        FrmSessionEnd w(*m_db);
        w.show();
        pick(w, QStringLiteral("PC1"), 70 * 60); // 1:10 costs 35
        for (const QString& step : steps) {
            if (step.startsWith(QLatin1String("job:"))) {
                runJobWork(w, step.mid(4));
                continue;
            }
            auto* box = w.findChild<QLineEdit*>(step.section(QLatin1Char('='), 0, 0));
            QVERIFY2(box != nullptr, qPrintable(step));
            if (step.contains(QLatin1Char('='))) {
                box->selectAll();
                QTest::keyClick(box, Qt::Key_Delete);
                QTest::keyClicks(box, step.section(QLatin1Char('='), 1));
            } else {
                QTest::keyClick(box, Qt::Key_Return);
            }
        }
        QCOMPARE(child<QLineEdit>(w, "txtnetamt")->text(), net);
        QCOMPARE(child<QLabel>(w, "lblnetbyhand")->isVisible(), byHand);
        QCOMPARE(child<QLabel>(w, "lblbalancecaption")->text() + QLatin1Char(' ') +
                     child<QLabel>(w, "lblbalance")->text(),
                 balance);

        endSession(w);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        const auto h =
            m_db->firstRow(QStringLiteral("SELECT charge, otheramt, netamount FROM history"));
        QVERIFY(h);
        QCOMPARE(Money::fromVariant(h->value(0)).toString(), charge);
        QCOMPARE(h->value(1).isNull() ? QString() : Money::fromVariant(h->value(1)).toString(),
                 other);
        QCOMPARE(Money::fromVariant(h->value(2)).toString(), billed);
        QCOMPARE(Money::fromVariant(m_db->scalar(
                     QStringLiteral("SELECT debit FROM transactions WHERE part LIKE 'By Bill%'"))),
                 Money::parse(billed));
        // The member's ledger moves by exactly what the window said is still owed or given back.
        const Money shown = Money::parse(balance.section(QLatin1Char(' '), -1));
        QCOMPARE(Money::fromVariant(m_db->scalar(
                     QStringLiteral("SELECT coalesce(sum(credit), 0) - coalesce(sum(debit), 0) "
                                    "FROM transactions WHERE memberid = 'M1'"))),
                 balance.startsWith(QLatin1String("Change")) ? shown : -shown);
    }

    // The service takes no amount below zero, whoever asks: a negative net would credit the
    // member instead of debiting.
    void negativeAmountIsRefused_data()
    {
        QTest::addColumn<QString>("field");
        for (const char* f : {"charge", "other", "received", "net"}) {
            QTest::newRow(f) << QString::fromLatin1(f);
        }
    }
    void negativeAmountIsRefused()
    {
        QFETCH(QString, field);
        prepareFullSession(*m_db);
        Clock::setFixed(T0.addSecs(70 * 60));
        SettlementForm form(*m_db, 2);
        form.open();
        form.pick(QStringLiteral("PC1"));
        form.jobWorkClosed(JobWorkStore(*m_db).total());
        const QString minus = QStringLiteral("-5");
        if (field == QLatin1String("charge")) {
            form.setAmount(minus);
            form.setNet(QStringLiteral("40"));
        } else if (field == QLatin1String("other")) {
            form.setOther(minus);
        } else if (field == QLatin1String("received")) {
            form.setReceived(minus);
        } else {
            form.setNet(minus);
        }
        const SettleResult r = form.settle();
        QVERIFY(!r.ok);
        QCOMPARE(r.error, SessionService::NegativeAmount);
        QCOMPARE(stateOf(*m_db, true, true), State::Running);
    }

    void categoryGoneIsNotBilledWithOldAmounts()
    {
        addCategory(*m_db, QStringLiteral("Std"));
        addCategory(*m_db, QStringLiteral("Old"));
        addOnline(*m_db, QStringLiteral("PC1"), 1);
        addOnline(*m_db, QStringLiteral("PC2"), 2);
        startAt(*m_db, QStringLiteral("PC1"), QStringLiteral("Std"));
        startAt(*m_db, QStringLiteral("PC2"), QStringLiteral("Old"), QString(),
                QStringLiteral("4"));
        QVERIFY(m_db->run(QStringLiteral("DELETE FROM user_category WHERE \"user\" = 'Old'")));
        FrmSessionEnd w(*m_db);
        pick(w, QStringLiteral("PC1"), 70 * 60);
        QCOMPARE(child<QLineEdit>(w, "txtamt")->text(), QStringLiteral("35"));
        pick(w, QStringLiteral("PC2"));
        QCOMPARE(m_prompt->lastText(), SettlementForm::CategoryGone);
        QCOMPARE(child<QLineEdit>(w, "txtamt")->text(), QStringLiteral("0"));
        QCOMPARE(child<QLineEdit>(w, "txtnetamt")->text(), QStringLiteral("0"));
    }

    void automaticLogoutKeepsItsEnd()
    {
        running(*m_db, {QStringLiteral("PC1")});
        QVERIFY(m_db->run(QStringLiteral("UPDATE terminals SET AUTOLOGOUT = 1, send = ?"),
                          {Database::timeText(T0.addSecs(20 * 60))}));
        FrmSessionEnd w(*m_db);
        pick(w, QStringLiteral("PC1"), 5 * 3600);
        QCOMPARE(child<QLabel>(w, "lbl1(4)")->text(), QStringLiteral("AUTO LOGOUT BY USER"));
        QCOMPARE(child<QLabel>(w, "lbl1(5)")->text(), QStringLiteral(" 0: 20: 0"));
        QCOMPARE(child<QLineEdit>(w, "txtamt")->text(), QStringLiteral("15"));
        QCOMPARE(Database::parseTime(m_db->scalar(QStringLiteral("SELECT send FROM terminals"))),
                 T0.addSecs(20 * 60));
    }

    void jobWorkThroughWindow()
    {
        QVERIFY(
            m_db->run(QStringLiteral("INSERT INTO jobwork (Type, amount) VALUES ('Print', 2.5), "
                                     "('Scan', 4)")));
        LoopbackAgentLink link;
        const qint64 a = link.connectAgent();
        running(*m_db, {QStringLiteral("PC1")}, {a});
        FrmSessionEnd w(*m_db);
        pick(w, QStringLiteral("PC1"), 70 * 60);
        runJobWork(w, QStringLiteral("3"));
        // Another desk on the same database opens End Session and enters lines of its own
        // meanwhile: neither clears this one's lines nor lands on its bill.
        Database other;
        QVERIFY(other.open(m_db->target()));
        QCOMPARE(ConsoleCommands::endSessionRefusal(other), QString());
        JobWorkStore otherJobs(other);
        QList<JobWorkStore::Line> entered = otherJobs.lines();
        QCOMPARE(entered.size(), 2);
        QCOMPARE(entered[0].qty, QStringLiteral("0"));
        entered[1].qty = QStringLiteral("5");
        entered[1].netAmount = Money::fromWhole(20);
        QVERIFY(otherJobs.storeQuantities(entered));
        endSession(w);
        QCOMPARE(otherJobs.total(), Money::fromWhole(20));
        const auto lines = m_db->rows(QStringLiteral("SELECT billno, Type, qty, amount FROM "
                                                     "jobwork_details"));
        QCOMPARE(lines.size(), 1);
        QCOMPARE(lines[0].value(0).toLongLong(), 1);
        QCOMPARE(lines[0].value(1).toString(), QStringLiteral("Print"));
        QCOMPARE(Money::fromVariant(lines[0].value(2)), Money::fromWhole(3));
        QCOMPARE(Money::fromVariant(lines[0].value(3)).toString(), QStringLiteral("7.5"));
        QCOMPARE(Money::fromVariant(m_db->scalar(QStringLiteral("SELECT otheramt FROM history")))
                     .toString(),
                 QStringLiteral("7.5"));
        QCOMPARE(Money::fromVariant(m_db->scalar(QStringLiteral("SELECT netamount FROM history")))
                     .toString(),
                 QStringLiteral("42.5"));
    }

    void guardsAndBack()
    {
        running(*m_db, {QStringLiteral("PC1")});
        FrmSessionEnd w(*m_db);
        w.endClicked();
        QCOMPARE(m_prompt->texts(),
                 QStringList{QStringLiteral("Please select the Terminal First")});
        // Picked and answered No: nothing was written, the session runs on. (Back after a pick
        // is anotherPickLeavesTheFirstSessionAsItWas's.)
        pick(w, QStringLiteral("PC1"), 60);
        m_prompt->answerNext(Prompt::Answer::No);
        child<QPushButton>(w, "cmdend")->click();
        QCOMPARE(count(QStringLiteral("history")), 0);
        QVERIFY(m_db->scalar(QStringLiteral("SELECT send FROM terminals")).isNull());
    }

    // Enter in the workstation box prices the session; the next Enter is End.
    void keyboardAlone()
    {
        running(*m_db, {QStringLiteral("PC1")});
        Clock::setFixed(T0.addSecs(70 * 60));
        FrmSessionEnd w(*m_db);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        typeKeys(QStringLiteral("PC1"));
        pressKey(Qt::Key_Return);
        QCOMPARE(child<QLineEdit>(w, "txtamt")->text(), QStringLiteral("35"));
        m_prompt->answerNext(Prompt::Answer::Yes);
        pressKey(Qt::Key_Return);
        QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("DO YOU WANT TO END THE SESSION")});
        QCOMPARE(count(QStringLiteral("history")), 1);
    }

    // PC1 picked, then PC2 named: picked with Enter and left with Back, or typed over PC1
    // without Enter and ended. Either way PC1's session stays as it was.
    void anotherPickLeavesTheFirstSessionAsItWas_data()
    {
        QTest::addColumn<bool>("entered");
        dataRow("entered, then Back", true);
        dataRow("typed, then End", false);
    }
    void anotherPickLeavesTheFirstSessionAsItWas()
    {
        QFETCH(bool, entered);
        running(*m_db, {QStringLiteral("PC1"), QStringLiteral("PC2")});
        const QString pc1 = QStringLiteral("SELECT * FROM terminals WHERE terminal = 'PC1'");
        const auto before = m_db->firstRow(pc1);
        QVERIFY(before);
        {
            FrmSessionEnd w(*m_db);
            pick(w, QStringLiteral("PC1"), 600);
            QCOMPARE(child<QLineEdit>(w, "txtamt")->text(), QStringLiteral("10"));
            if (entered) {
                pick(w, QStringLiteral("PC2"));
                QCOMPARE(child<QLabel>(w, "lbl1(0)")->text(), QStringLiteral("PC2"));
                child<QPushButton>(w, "cmdback")->click();
            } else {
                // The first End prices the name in the box, not PC1, and bills nothing.
                child<QComboBox>(w, "cmbterminal")->setEditText(QStringLiteral("PC2"));
                endSession(w);
                QCOMPARE(count(QStringLiteral("history")), 0);
                QCOMPARE(child<QLabel>(w, "lbl1(0)")->text(), QStringLiteral("PC2"));
                QVERIFY(m_prompt->texts().isEmpty());
                child<QPushButton>(w, "cmdend")->click();
                QCOMPARE(m_prompt->texts(),
                         QStringList{QStringLiteral("DO YOU WANT TO END THE SESSION")});
                QCOMPARE(m_db->scalar(QStringLiteral("SELECT terminal FROM history")).toString(),
                         QStringLiteral("PC2"));
            }
        }
        const auto after = m_db->firstRow(pc1);
        QVERIFY(after);
        for (int c = 0; c < before->count(); ++c) {
            QCOMPARE(after->value(c), before->value(c));
        }
        // Settled later, it is billed from its start to the real end.
        FrmSessionEnd w(*m_db);
        pick(w, QStringLiteral("PC1"), 70 * 60);
        endSession(w);
        const auto h =
            m_db->firstRow(QStringLiteral("SELECT * FROM history WHERE terminal = 'PC1'"));
        QVERIFY(h);
        QCOMPARE(Database::parseTime(h->value(QStringLiteral("sstart"))), T0);
        QCOMPARE(Database::parseTime(h->value(QStringLiteral("send"))), T0.addSecs(70 * 60));
        QCOMPARE(Money::fromVariant(h->value(QStringLiteral("charge"))).toString(),
                 QStringLiteral("35"));
    }

    void secondSettlementOfTheSameSessionIsRefused()
    {
        running(*m_db, {QStringLiteral("PC1")});
        Clock::setFixed(T0.addSecs(600));
        SettlementForm a(*m_db, 2);
        SettlementForm b(*m_db, 2);
        a.open();
        b.open();
        a.pick(QStringLiteral("PC1"));
        b.pick(QStringLiteral("PC1"));
        QVERIFY(a.settle().ok);
        const SettleResult second = b.settle();
        QVERIFY(!second.ok);
        QCOMPARE(count(QStringLiteral("history")), 1);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT billno FROM defalt")).toLongLong(), 2);
    }

    void failureAfterEachWriteLeavesSessionOrBill_data()
    {
        QTest::addColumn<int>("failAt");
        for (int n = 1; n <= 7; ++n) {
            QTest::addRow("after write %d", n) << n;
        }
    }
    void failureAfterEachWriteLeavesSessionOrBill()
    {
        QFETCH(int, failAt);
        prepareFullSession(*m_db);
        int writes = 0;
        const SettleResult r = settleFull(*m_db, [&](int n) {
            writes = n;
            return n != failAt;
        });
        QVERIFY(!r.ok);
        QCOMPARE(writes, failAt);
        QCOMPARE(stateOf(*m_db, true, true), State::Running);
        // The same session settles completely afterwards, under the same single number.
        QVERIFY(settleFull(*m_db, {}).ok);
        QCOMPARE(stateOf(*m_db, true, true), State::Billed);
    }

    void databaseRefusalOnEachTable_data()
    {
        // Each row is named after the table that refuses the write.
        QTest::addColumn<QString>("event");
        for (const char* table : {"history", "transactions", "jobwork_details", "online"}) {
            dataRow(table, "INSERT");
        }
        dataRow("defalt", "UPDATE");
        dataRow("terminals", "DELETE");
    }
    void databaseRefusalOnEachTable()
    {
        QFETCH(QString, event);
        prepareFullSession(*m_db);
        QVERIFY(refuseWrites(*m_db, event, QString::fromUtf8(QTest::currentDataTag()),
                             QStringLiteral("disk says no")));
        const SettleResult r = settleFull(*m_db, {});
        QVERIFY(!r.ok);
        QVERIFY(!r.error.isEmpty());
        QCOMPARE(stateOf(*m_db, true, true), State::Running);
        QVERIFY(m_home->errorLog().contains(QStringLiteral("disk says no")));
    }

    void killedMidSettlement_data()
    {
        QTest::addColumn<int>("killAt");
        for (int n = 1; n <= 8; ++n) {
            QTest::addRow("killed after write %d", n) << n;
        }
    }
    void killedMidSettlement()
    {
        QFETCH(int, killAt);
        prepareFullSession(*m_db);
        m_db->close();

        QProcess child;
        child.setProgram(QCoreApplication::applicationFilePath());
        child.setArguments(
            {QStringLiteral("--settle-and-die"), m_home->path(), QString::number(killAt)});
        child.start();
        QVERIFY(child.state() == QProcess::NotRunning || child.waitForFinished(30000));
        if (killAt <= 7) {
            QCOMPARE(child.exitStatus(), QProcess::CrashExit);
        } else {
            QCOMPARE(child.exitStatus(), QProcess::NormalExit);
            QCOMPARE(child.exitCode(), 0);
        }
        Database again;
        QVERIFY(again.open(m_db->target()));
        QCOMPARE(stateOf(again, true, true), killAt <= 7 ? State::Running : State::Billed);
    }
};

int main(int argc, char** argv)
{
    if (argc == 4 && qstrcmp(argv[1], "--settle-and-die") == 0) {
        QCoreApplication app(argc, argv);
        return settleAndDie(QString::fromLocal8Bit(argv[2]), QByteArray(argv[3]).toInt());
    }
    QApplication app(argc, argv);
    TestSettlement test;
    QTEST_SET_MAIN_SOURCE_PATH
    return QTest::qExec(&test, argc, argv);
}

#include "tst_settlement.moc"
