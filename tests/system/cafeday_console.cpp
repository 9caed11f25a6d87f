// SPDX-License-Identifier: Apache-2.0
// The cashier of the cafe-day test: the console exactly as vkserver composes it, plus a reader
// of cashier's actions on standard input. Each action goes through the window or service class
// that the console's own button uses; once it is committed, one line is appended (and synced)
// to the journal: the journal is what the cashier was told. Every action is answered on
// standard output with "done <verb> ok|fail <detail>".
// The journal file is named by VANTIROKIT_DAY_JOURNAL.
#include "cafeday_prepaidcashier.h"
#include "common/clock.h"
#include "common/money.h"
#include "common/prompt.h"
#include "server/accounts/backup.h"
#include "server/accounts/housekeeping.h"
#include "server/accounts/memberledger.h"
#include "server/accounts/memberregister.h"
#include "server/app/console.h"
#include "server/core/agentlink.h"
#include "server/core/consolecore.h"
#include "server/core/database.h"
#include "server/core/ui/frmmain.h"
#include "server/link/remotecontrol.h"
#include "server/sessions/jobworkstore.h"
#include "server/sessions/settlementform.h"
#include "server/sessions/tariffstore.h"
#include "server/sessions/ui/frmsessionend.h"
#include "server/sessions/ui/frmsessionstart.h"
#include "server/sessions/ui/frmsessiontran.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFile>
#include <QHash>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSocketNotifier>
#include <QTreeWidget>

#include <cstdio>
#include <unistd.h>

namespace {

// Every question is answered Yes, every message recorded so the action's reply can carry it.
class CashierPrompt final : public Prompt
{
public:
    Answer ask(const QString& text, const QString&, Icon, Buttons buttons) override
    {
        said.append(text);
        return buttons == Buttons::Ok ? Answer::Ok : Answer::Yes;
    }
    QStringList said;
};

// Several desks may append to one journal: each line is one write at the end of the file, and
// names its desk when the database is shared.
class Journal
{
public:
    explicit Journal(const QString& path) : m_file(path)
    {
        m_file.open(QIODevice::WriteOnly | QIODevice::Append | QIODevice::Unbuffered);
    }
    void setDesk(const QString& desk) { m_tail = desk.isEmpty() ? QString() : " desk=" + desk; }
    // The cashier's confirmation is only as good as the line on disk.
    void write(const QString& line)
    {
        m_file.write((line + m_tail).toUtf8() + '\n');
        ::fsync(m_file.handle());
    }

private:
    QFile m_file;
    QString m_tail;
};

using Args = QHash<QString, QString>;

Args parseArgs(const QStringList& words)
{
    Args a;
    for (const QString& w : words) {
        const qsizetype eq = w.indexOf('=');
        if (eq > 0) {
            a.insert(w.left(eq), w.mid(eq + 1));
        }
    }
    return a;
}

template <typename T> T* child(QWidget& w, const char* name)
{
    return w.findChild<T*>(QLatin1String(name));
}

void sendAll(Database& db, const QList<AgentMessage>& messages)
{
    AgentLink* link = AgentLink::instance();
    for (const AgentMessage& m : messages) {
        if (link == nullptr || !link->send(m.index, m.bytes)) {
            // As the settlement window does: an agent that is gone is not ready either.
            if (m.index > 0 && db.run("DELETE FROM online WHERE id = ?", {m.index})) {
                db.notifyChanged("online");
            }
            break;
        }
    }
}

class Cashier
{
public:
    Cashier(Console& console, CashierPrompt& prompt, Journal& journal)
        : m_console(console), m_db(console.database()), m_prompt(prompt), m_journal(journal),
          m_prepaid(
              m_db, console.core().currencyDigits(),
              [this](const QString& line) { m_journal.write(line); },
              [this](const QString& terminal, const QString& sstart) {
                  journalBill(terminal, sstart);
              })
    {
    }

    // Runs one action; the reply's detail is what the cashier saw.
    QString run(const QString& line, bool& ok)
    {
        QStringList words = line.split(' ', Qt::SkipEmptyParts);
        using Action = bool (Cashier::*)(const Args&, QString&);
        static const QHash<QString, Action> actions{
            {"category", &Cashier::category},
            {"jobcatalogue", &Cashier::jobCatalogue},
            {"member", &Cashier::member},
            {"start", &Cashier::start},
            {"end", &Cashier::end},
            {"endjob", &Cashier::endWithJobWork},
            {"transfer", &Cashier::transfer},
            {"remote", &Cashier::remote},
            {"ledger", &Cashier::ledger},
            {"housekeeping", &Cashier::housekeeping},
            {"backup", &Cashier::backup},
            {"tickets", &Cashier::sell},
            {"topup", &Cashier::topUp},
            {"prepaidend", &Cashier::prepaidEnd},
            {"addcredit", &Cashier::addCredit},
            {"ready", &Cashier::readyList},
        };
        m_prompt.said.clear();
        QString detail;
        const Action action = actions.value(words.value(0));
        ok = action != nullptr && (this->*action)(parseArgs(words.mid(1)), detail);
        if (action == nullptr) {
            detail = "unknown action";
        }
        if (!m_prompt.said.isEmpty()) {
            detail += " said=" + m_prompt.said.join('/');
        }
        return detail;
    }

private:
    bool sell(const Args& a, QString& detail) { return m_prepaid.sell(a, detail); }
    bool topUp(const Args& a, QString&) { return m_prepaid.topUp(a); }
    bool prepaidEnd(const Args& a, QString& detail) { return m_prepaid.end(a, detail); }
    bool addCredit(const Args& a, QString&) { return m_prepaid.addCredit(a); }

    bool category(const Args& a, QString&)
    {
        // Per minute with a minimum: every second of a long session counts. minute=1 puts a
        // first slice of one minute before the hour: a session costs from a minute's worth, so
        // a little credit buys a minute or two.
        const Money hour = Money::parse(a.value("hour", "30"));
        QList<RateRow> rows;
        for (const int minutes : a.value("minute") == "1" ? QList{1, 60} : QList{60}) {
            RateRow r;
            r.timeslice = Money::fromWhole(minutes);
            r.rpermin = hour.dividedBy(60);
            r.rate = minutes == 60 ? hour : r.rpermin;
            r.tperiod = QString::number(minutes);
            r.rateslice = r.rate.toString();
            rows.append(r);
        }
        TariffSettings s;
        s.chargebyminute = true;
        return TariffStore(m_db).save(a.value("name"), QString(), true, rows, s);
    }

    bool jobCatalogue(const Args& a, QString&)
    {
        QList<JobWorkStore::CatalogueRow> rows;
        for (auto it = a.begin(); it != a.end(); ++it) {
            rows.append({it.key(), it.value()});
        }
        return JobWorkStore(m_db).saveCatalogue(rows);
    }

    bool member(const Args& a, QString&)
    {
        MemberRegister reg(m_db);
        reg.newRecord();
        reg.chooseId(a.value("id"));
        MemberRegister::Fields f;
        f.name = a.value("name", a.value("id"));
        f.openingBalance = a.value("ob", "0");
        f.password = a.value("pw");
        f.category = a.value("cat");
        reg.setFields(f);
        return reg.save();
    }

    bool start(const Args& a, QString& detail)
    {
        const QString terminal = a.value("term");
        FrmSessionStart w(m_db, &m_console.window());
        child<QComboBox>(w, "cmbonline")->setEditText(terminal);
        w.pickOnline();
        if (a.contains("member")) {
            child<QComboBox>(w, "cmbmemberid")->setEditText(a.value("member"));
            w.memberEntered();
            if (a.value("byuser") == "1") {
                child<QCheckBox>(w, "chkpassword")->setChecked(true);
            } else {
                child<QLineEdit>(w, "txtPassword")->setText(a.value("pw"));
            }
        }
        if (a.contains("cat")) {
            child<QComboBox>(w, "cmbcategory")->setEditText(a.value("cat"));
        }
        if (a.value("maint") == "1") {
            child<QCheckBox>(w, "chkMaintains")->setChecked(true);
        }
        child<QLineEdit>(w, "txtamtr")->setText(a.value("adv", "0"));
        if (a.value("options") == "1") {
            child<QCheckBox>(w, "chkoptionsinclient")->setChecked(true);
        }
        if (a.contains("auto")) {
            child<QCheckBox>(w, "chkautologout")->setChecked(true);
            child<QLineEdit>(w, "txtautologout")->setText(a.value("auto"));
        }
        if (a.value("close") == "shutdown") {
            child<QRadioButton>(w, "chkshutdown")->setChecked(true);
        }
        child<QPushButton>(w, "cmdstart")->click();
        const QString sstart = sstartOn(terminal);
        if (w.result() != QDialog::Accepted || sstart.isEmpty()) {
            detail = "refused";
            return false;
        }
        m_journal.write(QString("start %1 sstart=%2").arg(terminal, sstart));
        return true;
    }

    // When the session on the workstation started; empty when none runs there.
    QString sstartOn(const QString& terminal)
    {
        const auto row =
            m_db.firstRow("SELECT sstart FROM terminals WHERE trim(terminal) = ?", {terminal});
        return row ? row->value(0).toString() : QString();
    }

    // A bill as the cashier saw it confirmed.
    void journalBill(const QString& terminal, const QString& sstart)
    {
        const auto h = m_db.firstRow("SELECT billno, memberid, received, netamount "
                                     "FROM history WHERE terminal = ? AND sstart = ?",
                                     {terminal, sstart});
        if (!h) {
            return;
        }
        m_journal.write(QString("bill %1 sstart=%2 no=%3 member=%4 received=%5 net=%6")
                            .arg(terminal, sstart,
                                 h->value(0).isNull() ? "none" : h->value(0).toString(),
                                 h->value(1).toString(), Money::fromVariant(h->value(2)).toString(),
                                 Money::fromVariant(h->value(3)).toString()));
    }

    bool end(const Args& a, QString& detail)
    {
        const QString terminal = a.value("term");
        FrmSessionEnd w(m_db, &m_console.window());
        if (auto* print = child<QCheckBox>(w, "Chkprint")) {
            print->setChecked(false);
        }
        child<QComboBox>(w, "cmbterminal")->setEditText(terminal);
        w.pickTerminal();
        const QString picked = sstartOn(terminal);
        if (picked.isEmpty()) {
            detail = "no session";
            return false;
        }
        if (a.contains("recv")) {
            child<QLineEdit>(w, "txtramt")->setText(a.value("recv"));
        }
        child<QPushButton>(w, "cmdend")->click();
        if (w.result() != QDialog::Accepted) {
            detail = "refused";
            return false;
        }
        journalBill(terminal, picked);
        return true;
    }

    // The settlement with job work, on the window's own logic class so that a test can stall
    // it between two of its writes.
    bool endWithJobWork(const Args& a, QString& detail)
    {
        const QString terminal = a.value("term");
        SettlementForm form(m_db, m_console.core().currencyDigits());
        form.open();
        form.pick(terminal);
        if (!form.hasSession()) {
            detail = "no session";
            return false;
        }
        const QString sstart = Database::timeText(form.session()->sstart);
        JobWorkStore jobs(m_db);
        QList<JobWorkStore::Line> lines = jobs.lines();
        for (JobWorkStore::Line& l : lines) {
            l.qty = a.value(l.type, "0");
            l.netAmount = JobWorkStore::lineAmount(l.amount, l.qty);
        }
        if (!jobs.storeQuantities(lines)) {
            detail = "quantities not stored";
            return false;
        }
        form.jobWorkClosed(jobs.total());
        if (jobs.total() > Money()) {
            // Enter in the other-amount box, which brings the net amount up to date.
            form.otherEntered();
        }
        if (a.contains("recv")) {
            form.setReceived(a.value("recv"));
            form.receivedEntered();
        }
        const int stallAt = a.value("stall", "0").toInt();
        if (stallAt > 0) {
            form.service().setWriteHook(holdAt(stallAt));
        }
        const SettleResult result = form.settle();
        if (!result.ok) {
            detail = result.error;
            return false;
        }
        sendAll(m_db, result.messages);
        journalBill(terminal, sstart);
        detail = QString::number(result.billno);
        return true;
    }

    bool transfer(const Args& a, QString& detail)
    {
        const QString from = a.value("from");
        const QString to = a.value("to");
        const QString before = sstartOn(from);
        FrmSessionTran w(m_db, &m_console.window());
        child<QComboBox>(w, "cmbterminal")->setEditText(from);
        w.pickSource();
        child<QComboBox>(w, "cmbonline")->setEditText(to);
        w.pickDestination();
        w.transferClicked();
        if (before.isEmpty() || sstartOn(to) != before) {
            detail = "not moved";
            return false;
        }
        m_journal.write(QString("transfer %1 %2 sstart=%3").arg(from, to, before));
        return true;
    }

    bool remote(const Args& a, QString&)
    {
        const QString cmd = a.value("cmd");
        const RemoteControl::Command c = cmd == "unlock"     ? RemoteControl::Command::Unlock
                                         : cmd == "shutdown" ? RemoteControl::Command::Shutdown
                                                             : RemoteControl::Command::Lock;
        const QString ip = a.value("ip");
        // As the Tools window does: a workstation nothing can reach now is refused, and said so.
        const RemoteControl control(m_db);
        if (const QString why = control.refusal(ip, AgentLink::instance()); !why.isEmpty()) {
            Prompt::message(why, "Message", Prompt::Icon::Exclamation);
            return false;
        }
        return control.send(c, ip, AgentLink::instance());
    }

    // The console window's list of ready workstations as the cashier reads it: name@address,
    // separated by semicolons.
    bool readyList(const Args&, QString& detail)
    {
        m_console.window().refreshOnlineList();
        auto* list = m_console.window().findChild<QTreeWidget*>("lvwonline");
        QStringList shown;
        for (int i = 0; list != nullptr && i < list->topLevelItemCount(); ++i) {
            shown.append(list->topLevelItem(i)->text(0) + '@' + list->topLevelItem(i)->text(1));
        }
        detail = shown.join(';');
        return true;
    }

    bool ledger(const Args& a, QString& detail)
    {
        MemberLedger l(m_db);
        if (!l.load(a.value("id"))) {
            detail = "unknown member";
            return false;
        }
        // An empty ledger shows one blank row, which the cashier fills in; otherwise a new one.
        int r = 0;
        if (l.rowCount() == 1 && !l.row(0).date.isValid()) {
            l.setDate(0, Clock::now());
        } else if ((r = l.addRow()) < 0) {
            return false;
        }
        l.setText(r, MemberLedger::PartColumn, "Counter");
        l.setText(r, MemberLedger::CreditColumn, a.value("credit", "0"));
        l.setText(r, MemberLedger::DebitColumn, a.value("debit", "0"));
        return l.save();
    }

    bool housekeeping(const Args& a, QString&)
    {
        Housekeeping h(m_db);
        Housekeeping::HistoryDeletion d = h.byBillNumbers(a.value("from"), a.value("to"));
        return d.isValid() && h.confirm(d) && h.runAll(d);
    }

    bool backup(const Args&, QString& detail)
    {
        Backup b(m_db);
        const bool done = b.runAndWait();
        detail = b.lastError();
        return done;
    }

    Console& m_console;
    Database& m_db;
    CashierPrompt& m_prompt;
    Journal& m_journal;
    PrepaidCashier m_prepaid;
};

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    QApplication::setApplicationName("vkserver");
    QApplication::setQuitOnLastWindowClosed(false);

    CashierPrompt prompt;
    Prompt::install(&prompt);
    Journal journal(qEnvironmentVariable("VANTIROKIT_DAY_JOURNAL"));

    Console console;
    QObject::connect(&console, &Console::finished, &app, [] { QApplication::quit(); });
    console.start();
    if (console.database().isShared()) {
        journal.setDesk(console.database().target().desk);
    }
    Cashier cashier(console, prompt, journal);

    QByteArray pending;
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, &app, [&] {
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            input.setEnabled(false);
            console.shutDown();
            return;
        }
        pending.append(buf, n);
        qsizetype nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            const QString line = QString::fromUtf8(pending.left(nl)).trimmed();
            pending.remove(0, nl + 1);
            if (line.isEmpty()) {
                continue;
            }
            bool ok = false;
            const QString detail = cashier.run(line, ok);
            const QByteArray reply = "done " + line.section(' ', 0, 0).toUtf8() +
                                     (ok ? " ok " : " fail ") + detail.toUtf8() + '\n';
            std::fwrite(reply.constData(), 1, size_t(reply.size()), stdout);
            std::fflush(stdout);
        }
    });
    std::fputs(qPrintable(QString("listening %1\n").arg(console.listeningPort())), stdout);
    std::fflush(stdout);
    const int rc = app.exec();
    Prompt::install(nullptr);
    return rc;
}
