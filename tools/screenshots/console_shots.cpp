// SPDX-License-Identifier: Apache-2.0
// Opens every console window over a small demonstration cafe and saves a picture of each.
// Usage: vk_console_shots <output folder>   (run under an X server; see tools/screenshots.sh)
#include "common/clock.h"
#include "common/money.h"
#include "server/accounts/consolesettings.h"
#include "server/accounts/ui/preview.h"
#include "server/accounts/ui/printing.h"
#include "server/app/console.h"
#include "server/core/database.h"
#include "server/core/ui/frmmain.h"
#include "server/core/ui/helpviewer.h"
#include "server/sessions/tariffstore.h"

#include <QAbstractButton>
#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QMessageBox>
#include <QTcpSocket>
#include <QTemporaryDir>
#include <QTextStream>
#include <QTimer>
#include <QWizard>

#include <functional>

namespace {

QString g_out;
int g_failures = 0;

void save(QWidget* w, const QString& name)
{
    const QString file = QDir(g_out).filePath(name + QStringLiteral(".png"));
    if (!w->grab().save(file)) {
        QTextStream(stderr) << "could not write " << file << '\n';
        ++g_failures;
        return;
    }
    QTextStream(stdout) << file << '\n';
}

// Shows a window the way a command does (usually modal), pictures it once it has painted,
// and closes everything that opened.
void shoot(const QString& name, const std::function<void()>& open,
           const std::function<void(QWidget*)>& prepare = {})
{
    bool taken = false;
    QTimer::singleShot(600, qApp, [&] {
        QWidget* w = QApplication::activeModalWidget();
        if (!w) {
            QTextStream(stderr) << name << ": no window opened\n";
            ++g_failures;
            return;
        }
        if (prepare) {
            prepare(w);
        }
        QTimer::singleShot(300, qApp, [&, w] {
            save(w, name);
            taken = true;
            // Close the window and any question it raised on the way out.
            for (int i = 0; i < 5 && QApplication::activeModalWidget(); ++i) {
                QWidget* m = QApplication::activeModalWidget();
                if (auto* box = qobject_cast<QMessageBox*>(m)) {
                    box->reject();
                } else if (auto* dialog = qobject_cast<QDialog*>(m)) {
                    dialog->reject();
                } else {
                    m->close();
                }
                QCoreApplication::processEvents();
            }
        });
    });
    open();
    if (!taken) {
        QTextStream(stderr) << name << ": not taken\n";
        ++g_failures;
    }
}

// Chooses a list entry the way a click does, so the window fills in what depends on it.
void pick(QWidget* w, const char* combo, int index = 0)
{
    if (auto* c = w->findChild<QComboBox*>(QString::fromLatin1(combo)); c && c->count() > index) {
        c->setCurrentIndex(index);
        if (c->isEditable()) {
            c->setEditText(c->itemText(index));
        }
        Q_EMIT c->activated(index);
        Q_EMIT c->textActivated(c->itemText(index));
    }
}

void seed(Database& db)
{
    const QDateTime day(QDate(2026, 12, 5), QTime(18, 40));
    TariffStore tariffs(db);
    const auto row = [](int minutes, const char* rate) {
        RateRow r;
        r.timeslice = Money::fromWhole(minutes);
        r.rate = Money::parse(QString::fromLatin1(rate));
        r.tperiod = QString::number(minutes);
        r.rateslice = QString::fromLatin1(rate);
        r.rpermin = r.rate.dividedBy(minutes);
        return r;
    };
    tariffs.save(QStringLiteral("Normal"), QStringLiteral("Walk-in customers"), true,
                 {row(30, "20"), row(45, "28"), row(60, "35")}, {});
    tariffs.save(QStringLiteral("Member"), QStringLiteral("Members with an account"), true,
                 {row(30, "15"), row(45, "22"), row(60, "28")}, {});
    db.run(QStringLiteral("INSERT INTO members (memberid, name, address1, address2, ob, category, "
                          "createddate) VALUES (?, ?, ?, ?, ?, ?, ?)"),
           {QStringLiteral("M001"), QStringLiteral("Asha Raman"), QStringLiteral("12 Lake Road"),
            QStringLiteral("Kochi"), 100, QStringLiteral("Member"),
            Database::timeText(day.addDays(-30))});
    db.run(QStringLiteral("INSERT INTO transactions (memberid, Date, part, credit, debit) VALUES "
                          "('M001', ?, 'Advance', 200, 0), ('M001', ?, 'Bill No 3', 0, 28)"),
           {Database::timeText(day.addDays(-2)), Database::timeText(day.addDays(-1))});
    db.run(QStringLiteral("INSERT INTO jobwork (Type, amount, qty, totamt) VALUES "
                          "('Printout', 2, 0, 0), ('Scan', 5, 0, 0), ('CD burning', 30, 0, 0)"));
    for (int i = 1; i <= 6; ++i) {
        const QDateTime start = day.addSecs(-3600 * (8 - i));
        db.run(QStringLiteral("INSERT INTO history (billno, sstart, send, terminal, cip, user, "
                              "memberid, duration, charge, otheramt, netamount, received) VALUES "
                              "(?, ?, ?, ?, ?, ?, ?, ?, ?, 0, ?, ?)"),
               {i, Database::timeText(start), Database::timeText(start.addSecs(2700)),
                QStringLiteral("PC%1").arg(i, 2, 10, QLatin1Char('0')),
                QStringLiteral("192.168.1.%1").arg(10 + i), QStringLiteral("Normal"), QString(),
                QStringLiteral(" 0: 45: 0"), 28, 28, 28});
    }
    // Three weeks of earlier bills, job work, member top-ups and a sale of tickets, for the
    // takings and the shift close.
    int billno = 7;
    for (int back = 21; back >= 0; --back) {
        const QDate date = day.date().addDays(-back);
        for (int k = 0; back > 0 && k < 2 + (back * 7) % 5; ++k) {
            const QDateTime start(date, QTime(10 + (k * 3 + back) % 12, (k * 17) % 60));
            const bool member = (back + k) % 3 == 0;
            const int charge = member ? 22 : 20 + 8 * (k % 3);
            const int job = k % 2 == 0 ? 2 * (back % 4) : 0;
            db.run(QStringLiteral("INSERT INTO history (billno, sstart, send, terminal, cip, "
                                  "user, memberid, duration, charge, otheramt, netamount, "
                                  "received) VALUES (?, ?, ?, ?, '', ?, ?, ' 0: 45: 0', ?, ?, ?, "
                                  "?)"),
                   {billno++, Database::timeText(start), Database::timeText(start.addSecs(2700)),
                    QStringLiteral("PC%1").arg(1 + k % 5, 2, 10, QLatin1Char('0')),
                    member ? QStringLiteral("Member") : QStringLiteral("Normal"),
                    member ? QStringLiteral("M001") : QString(), charge, job, charge + job,
                    member ? 0 : charge + job});
        }
        if (back % 3 == 0) {
            db.run(QStringLiteral("INSERT INTO transactions (memberid, Date, part, credit, debit) "
                                  "VALUES ('M001', ?, 'Top-up', 100, 0)"),
                   {Database::timeText(QDateTime(date, QTime(13, 5)))});
        }
    }
    db.run(QStringLiteral("INSERT INTO history (billno, sstart, send, terminal, cip, user, "
                          "duration, charge, otheramt, netamount, received) VALUES (?, ?, ?, "
                          "'Tickets', '', 'Normal', '5 tickets', 0, 100, 100, 100)"),
           {billno++, Database::timeText(day.addSecs(-3 * 3600)),
            Database::timeText(day.addSecs(-3 * 3600))});
    db.run(QStringLiteral("UPDATE defalt SET billno = ?"), {billno});
    db.run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES ('PC03', '192.168.1.13', 3), "
                          "('PC04', '192.168.1.14', 4), ('PC05', '192.168.1.15', 5)"));
    db.run(QStringLiteral("INSERT INTO terminals (terminal, ip, cid, sstart, user, memberid, "
                          "amtreceived, logout, logouttime) VALUES "
                          "('PC01', '127.0.0.41', 1, ?, 'Normal', '', 20, 1, 45), "
                          "('PC02', '192.168.1.12', 2, ?, 'Member', 'M001', 0, 0, 0)"),
           {Database::timeText(day.addSecs(-1500)), Database::timeText(day.addSecs(-4000))});
}

} // namespace

int main(int argc, char** argv)
{
    QApplication app(argc, argv);
    if (argc < 2) {
        QTextStream(stderr) << "usage: vk_console_shots <output folder>\n";
        return 2;
    }
    g_out = QDir(QString::fromLocal8Bit(argv[1])).absolutePath();
    QDir().mkpath(g_out);
    QTemporaryDir home;
    qputenv("VANTIROKIT_HOME", home.path().toLocal8Bit());
    QDir::setCurrent(home.path());
    {
        QFile conf(QDir(home.path()).filePath(QStringLiteral("vantirokit.conf")));
        if (conf.open(QIODevice::WriteOnly)) {
            conf.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n\"port\"=\"0\"\n");
        }
    }
    Clock::setFixed(QDateTime(QDate(2026, 12, 5), QTime(18, 40)));
    ConsoleSettings settings;
    settings.setCafeName(QStringLiteral("Harbour Net Cafe"));
    settings.setCafeAddress1(QStringLiteral("4 Quay Street"));
    settings.setCafeAddress2(QStringLiteral("Open 9 to 23"));
    settings.setExportFolder(home.path());

    Console console;
    console.start();
    // A new cafe's first start: the guided setup, page by page, then left for the tour.
    if (auto* setup = qobject_cast<QWizard*>(console.firstRunWindow())) {
        setup->resize(560, 420);
        const QList<std::pair<const char*, const char*>> answers = {
            {"txtpassword", "secret"},
            {"txtretype", "secret"},
            {"txtcafename", "Harbour Net Cafe"},
            {"txtaddress1", "4 Quay Street"},
            {"txtaddress2", "Open 9 to 23"},
            {"txtdescription", "Walk-in customers"},
            {"txtrate30", "20"},
            {"txtrate45", "28"},
            {"txtrate60", "35"}};
        for (const auto& [name, text] : answers) {
            if (auto* line = setup->findChild<QLineEdit*>(QString::fromLatin1(name))) {
                line->setText(QString::fromLatin1(text));
            }
        }
        for (int page = 1; page <= 4; ++page) {
            QCoreApplication::processEvents();
            save(setup, QStringLiteral("console-first-run-%1").arg(page));
            setup->next();
        }
        setup->button(QWizard::CustomButton1)->click();
    }
    seed(console.database());
    for (const char* table : {"online", "terminals", "history", "members", "jobwork"}) {
        console.database().notifyChanged(QString::fromLatin1(table));
    }
    // PC01's agent is connected (it re-attaches by its address); PC02's is not.
    QTcpSocket agent;
    agent.bind(QHostAddress(QStringLiteral("127.0.0.41")));
    agent.connectToHost(QHostAddress::LocalHost, console.listeningPort());
    agent.waitForConnected(3000);
    FrmMain& w = console.window();
    w.resize(1260, 720);
    w.setAdministrator(true);
    w.show();

    QTimer::singleShot(800, &app, [&] {
        save(&w, QStringLiteral("console-main"));
        const auto command = [&w](const char* action) {
            return [&w, action] { w.action(QString::fromLatin1(action))->trigger(); };
        };
        shoot(QStringLiteral("console-session-start"), command("mnustartsession"), [](QWidget* d) {
            pick(d, "cmbonline", 1);
            pick(d, "cmbcategory");
        });
        shoot(QStringLiteral("console-session-end"), command("mnusession"),
              [](QWidget* d) { pick(d, "cmbterminal"); });
        shoot(QStringLiteral("console-session-transfer"), command("mnutransfer"));
        shoot(QStringLiteral("console-tools"), command("mnutool"));
        shoot(QStringLiteral("console-transactions"), command("mnutransactions"),
              [](QWidget* d) { pick(d, "cmbfield"); });
        shoot(QStringLiteral("console-options"), command("mnuoptions"));
        shoot(QStringLiteral("console-jobwork"), command("mnujobwork"));
        shoot(QStringLiteral("console-tariffs"), command("mnuusercat"),
              [](QWidget* d) { pick(d, "cmbusage"); });
        shoot(QStringLiteral("console-members"), command("mnumemberdetails"));
        shoot(QStringLiteral("console-login"), command("mnulogin"));
        shoot(QStringLiteral("console-housekeeping"), command("mnuhouskeeping"));
        shoot(QStringLiteral("console-history-report"), command("mnurpthistory"));
        shoot(QStringLiteral("console-bill-reprint"), command("mnurptbillreprint"));
        shoot(QStringLiteral("console-transaction-report"), command("mnutranrepo"));
        shoot(QStringLiteral("console-takings"), command("mnutakings"),
              [](QWidget* d) { d->resize(1100, 760); });
        shoot(QStringLiteral("console-shift-close"), command("mnushiftclose"), [](QWidget* d) {
            if (auto* counted = d->findChild<QLineEdit*>(QStringLiteral("txtcounted"))) {
                counted->setText(QStringLiteral("2640"));
            }
        });
        shoot(QStringLiteral("console-about"), command("mnuabout"));
        // The help as a machine without a browser shows it (the window is not modal).
        if (HelpViewer::showInOwnWindow(&w)) {
            for (QWidget* top : QApplication::topLevelWidgets()) {
                if (top->objectName() == QLatin1String("frmhelp")) {
                    QEventLoop painted;
                    QTimer::singleShot(300, &painted, &QEventLoop::quit);
                    painted.exec();
                    save(top, QStringLiteral("console-help"));
                    top->close();
                }
            }
        }
        shoot(QStringLiteral("console-bill-preview"),
              [&console, &w] { PrintBill(console.database(), 6, &w); });
        console.shutDown();
    });
    QObject::connect(&console, &Console::finished, &app, &QCoreApplication::quit);
    app.exec();
    return g_failures == 0 ? 0 : 1;
}
