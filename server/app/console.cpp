// SPDX-License-Identifier: Apache-2.0
#include "server/app/console.h"

#include "common/paths.h"
#include "common/prompt.h"
#include "common/settingsstore.h"
#include "server/accounts/operatorlogin.h"
#include "server/accounts/ui/backupwindow.h"
#include "server/accounts/ui/frmbillreprint.h"
#include "server/accounts/ui/frmcusttran.h"
#include "server/accounts/ui/frmhkeeping.h"
#include "server/accounts/ui/frmlogin.h"
#include "server/accounts/ui/frmmember.h"
#include "server/accounts/ui/frmoptions.h"
#include "server/accounts/ui/frmrpthistory.h"
#include "server/accounts/ui/frmtranrepo.h"
#include "server/app/frmfirstrun.h"
#include "server/core/administration.h"
#include "server/core/agentlink.h"
#include "server/core/clockjumpwatch.h"
#include "server/core/consolecommands.h"
#include "server/core/consolecore.h"
#include "server/core/database.h"
#include "server/core/messagelog.h"
#include "server/core/ui/frmabout.h"
#include "server/core/ui/frmmain.h"
#include "server/core/ui/helpviewer.h"
#include "server/core/ui/systemtray.h"
#include "server/desks/commanddelivery.h"
#include "server/desks/desklink.h"
#include "server/desks/deskregistry.h"
#include "server/insight/ui/frmshiftclose.h"
#include "server/insight/ui/frmtakings.h"
#include "server/link/connectionmanager.h"
#include "server/link/linkserver.h"
#include "server/link/ui/frmtools.h"
#include "server/prepaid/prepaidcounter.h"
#include "server/prepaid/prepaidlink.h"
#include "server/prepaid/prepaidservice.h"
#include "server/prepaid/prepaidwatch.h"
#include "server/prepaid/ui/addcredit.h"
#include "server/prepaid/ui/frmtickets.h"
#include "server/prepaid/ui/membercreditpanel.h"
#include "server/sessions/ui/frmjobwork.h"
#include "server/sessions/ui/frmsessiondetails.h"
#include "server/sessions/ui/frmsessionend.h"
#include "server/sessions/ui/frmsessionstart.h"
#include "server/sessions/ui/frmsessiontran.h"
#include "server/sessions/ui/livesessionview.h"
#include "server/web/ownerweb.h"

#include <QAction>
#include <QApplication>
#include <QFile>
#include <QPointer>
#include <QTableView>
#include <QTextStream>
#include <QTimer>

struct Console::Private
{
    Database db;
    MessageLog log;
    std::unique_ptr<ConsoleCore> core;
    std::unique_ptr<FrmMain> window;
    std::unique_ptr<LiveSessionView> live;
    std::unique_ptr<SystemTray> tray;
    // Held past the link and its manager, which hand them the agents' prepaid messages.
    std::unique_ptr<PrepaidService> prepaid;
    std::unique_ptr<PrepaidLink> prepaidLink;
    std::unique_ptr<PrepaidWatch> prepaidWatch;
    std::unique_ptr<LinkServer> link;
    // On a database shared by several desks: this desk, and the way to the others' agents.
    std::unique_ptr<DeskRegistry> desks;
    std::unique_ptr<DeskLink> deskLink;
    std::unique_ptr<CommandDelivery> delivery;
    std::unique_ptr<ConnectionManager> manager;
    std::unique_ptr<BackupWindow> backup;
    std::unique_ptr<ClockJumpWatch> clockWatch;
    std::unique_ptr<OwnerWeb> web;
    QPointer<FrmFirstRun> firstRun;
    quint16 port = 0;
    bool shutDown = false;
};

Console::Console(QObject* parent) : QObject(parent), d(std::make_unique<Private>())
{
    Database::setInstance(&d->db);
    d->core = std::make_unique<ConsoleCore>(d->db, d->log);
    d->tray = std::make_unique<SystemTray>();
}

Console::~Console()
{
    shutDown();
    d->live.reset();
    // The backup window is a child of the console window as well: it goes first, or the
    // console window would delete it under its owner.
    d->backup.reset();
    d->window.reset();
    if (Database::instance() == &d->db) {
        Database::setInstance(nullptr);
    }
}

Database& Console::database()
{
    return d->db;
}

MessageLog& Console::messageLog()
{
    return d->log;
}

ConsoleCore& Console::core()
{
    return *d->core;
}

FrmMain& Console::window()
{
    return *d->window;
}

LiveSessionView& Console::liveSessions()
{
    return *d->live;
}

SystemTray& Console::tray()
{
    return *d->tray;
}

quint16 Console::listeningPort() const
{
    return d->port;
}

void Console::start()
{
    d->tray->showIcon();
    d->tray->setMenuEnabled(true);

    d->link = std::make_unique<LinkServer>();
    bool portOk = false;
    const uint wakePort = qEnvironmentVariableIntValue("VANTIROKIT_WAKE_PORT", &portOk);
    if (portOk && wakePort > 0 && wakePort < 65536) {
        d->link->setWakePort(quint16(wakePort));
    }
    d->manager = std::make_unique<ConnectionManager>(d->db, *d->link);
    connect(d->manager.get(), &ConnectionManager::logLine, &d->log, &MessageLog::append);
    AgentLink::setInstance(d->link.get());

    ConsoleCore::Hooks hooks;
    LinkServer* link = d->link.get();
    hooks.wake = [link](const QString& ip) { link->wake(ip); };
    hooks.listen = [this, link](quint16 port) {
        link->setLinkKey(d->core->options().linkKey);
        d->manager->continueNumbering();
        if (!link->listen(port)) {
            return false;
        }
        d->port = link->serverPort();
        return true;
    };
    hooks.takeDesk = [this, link](QString* refusal) {
        d->desks = std::make_unique<DeskRegistry>(d->db);
        if (!d->desks->start()) {
            *refusal = d->desks->refusal();
            return -1;
        }
        link->setDesk(d->desks->desk());
        d->deskLink = std::make_unique<DeskLink>(d->db, *d->desks, *link);
        AgentLink::setInstance(d->deskLink.get());
        return d->desks->desk();
    };
    d->core->startUp(DatabaseTarget::fromSettings(Paths::databaseFile()), hooks);
    if (d->core->deskRefused()) {
        d->shutDown = true;
        d->tray->removeIcon();
        QTimer::singleShot(0, this, &Console::finished);
        return;
    }
    // Every list and sender below reaches the other desks' agents through the desk link.
    AgentLink* agents = AgentLink::instance();
    if (d->desks && d->deskLink) {
        d->delivery = std::make_unique<CommandDelivery>(d->db, *d->desks, *link);
        d->delivery->start();
        connect(&d->db, &Database::notice, &d->log,
                [this](const QString& channel, const QString& payload) {
                    if (channel == Administration::Channel) {
                        d->log.append(payload);
                    }
                });
        d->db.listen(Administration::Channel);
    }
    // Money is rounded to the digits read once at start-up.
    FrmSessionEnd::setCurrencyDigits(d->core->currencyDigits());
    FrmSessionDetails::setCurrencyDigits(d->core->currencyDigits());
    // Prepaid sessions left running by an earlier run go on to their time up from here.
    d->prepaid = std::make_unique<PrepaidService>(d->db, d->core->currencyDigits());
    d->prepaidLink = std::make_unique<PrepaidLink>(*d->prepaid, *agents);
    d->manager->setPrepaidHandler(d->prepaidLink.get());
    connect(d->prepaidLink.get(), &PrepaidLink::logLine, &d->log, &MessageLog::append);
    d->prepaidWatch = std::make_unique<PrepaidWatch>(*d->prepaid, *agents);
    connect(d->prepaidWatch.get(), &PrepaidWatch::logLine, &d->log, &MessageLog::append);
    if (d->db.isOpen()) {
        d->prepaidWatch->start();
    }

    d->window = std::make_unique<FrmMain>(d->db, d->log);
    d->live =
        std::make_unique<LiveSessionView>(d->db, d->core->currencyDigits(), *d->window, agents);
    connect(d->manager.get(), &ConnectionManager::agentDropped, d->live.get(),
            &LiveSessionView::agentDropped);
    if (d->desks) {
        // A desk that goes down takes its workstations' connections with it, for every list.
        const auto follow = [this] {
            d->live->agentDropped(-1);
            d->window->refreshOnlineList();
        };
        connect(d->desks.get(), &DeskRegistry::deskDown, this, follow);
        connect(d->desks.get(), &DeskRegistry::deskUp, this, follow);
    }
    wireCommands();
    d->web = std::make_unique<OwnerWeb>(d->db, d->core->currencyDigits(), agents);
    applyOwnerWeb();
    connect(d->tray.get(), &SystemTray::showControlPanel, this, &Console::showControlPanel);
    connect(d->tray.get(), &SystemTray::closeRequested, this, &Console::shutDown);
    connect(d->window.get(), &FrmMain::closeRequested, this, &Console::shutDown);
    connect(d->window.get(), &FrmMain::administratorChanged, d->tray.get(),
            &SystemTray::setCloseEnabled);

    // The option is read at each look: ticking it in the options takes effect at once.
    d->clockWatch = std::make_unique<ClockJumpWatch>(d->log, [] {
        return SettingsStore().readValue(RegKey::Options, QStringLiteral("lockdatetime")) ==
               QLatin1String("1");
    });
    d->clockWatch->start();

    // Without a tray the console window is the only way back to the console.
    if (!d->core->options().runMinimized || !SystemTray::trayAvailable()) {
        showControlPanel();
    }
    offerFirstRun();
    if (qEnvironmentVariableIsSet("VANTIROKIT_EXIT_WHEN_SHOWN")) {
        QTimer::singleShot(0, this, &Console::reportShownAndQuit);
    }
}

void Console::applyOwnerWeb()
{
    const QString line = d->web->apply();
    if (!line.isEmpty()) {
        d->log.append(line);
    }
}

OwnerWeb* Console::ownerWeb() const
{
    return d->web.get();
}

void Console::offerFirstRun()
{
    if (!FirstRun(d->db, d->core->currencyDigits()).isDue()) {
        return;
    }
    // Modal over the console window only, and shown rather than run: the console goes on
    // listening and taking agents while the new cafe is set up, but no session can be started
    // under the setup before the cafe has a usage category.
    d->firstRun = new FrmFirstRun(d->db, d->core->currencyDigits(), d->window.get());
    d->firstRun->setWindowModality(Qt::WindowModal);
    connect(d->firstRun, &FrmFirstRun::completed, this, [this](FrmFirstRun::Outcome how) {
        if (how == FrmFirstRun::Outcome::Saved) {
            d->log.append(QStringLiteral("New cafe setup saved."));
            return;
        }
        for (const QString& line :
             FirstRun::leftUnsavedLines(how == FrmFirstRun::Outcome::Skipped)) {
            d->log.append(line);
        }
    });
    d->firstRun->show();
    // Shown after the console window was raised, it would otherwise open without the focus.
    d->firstRun->raise();
    d->firstRun->activateWindow();
}

QWidget* Console::firstRunWindow() const
{
    return d->firstRun;
}

void Console::reportShownAndQuit()
{
    // Measurement mode: what the cashier sees first, and what it cost.
    QTableView* grid = d->window->historyGrid();
    const int last = grid->model()->rowCount() - 1;
    QString bill = QStringLiteral("none");
    if (last >= 0 &&
        grid->visualRect(grid->model()->index(last, 0)).intersects(grid->viewport()->rect())) {
        bill = grid->model()->index(last, 0).data().toString();
    }
    QTextStream out(stdout);
    out << "last-visible-bill=" << bill << '\n';
    QFile status(QStringLiteral("/proc/self/status"));
    if (status.open(QIODevice::ReadOnly)) {
        for (const QByteArray& line : status.readAll().split('\n')) {
            if (line.startsWith("VmHWM:")) {
                out << "peak-rss-kb=" << line.mid(6).trimmed().split(' ').value(0) << '\n';
            }
        }
    }
    out.flush();
    shutDown();
}

void Console::showControlPanel()
{
    d->tray->setMenuEnabled(false);
    d->window->setWindowState(d->window->windowState() & ~Qt::WindowMinimized);
    d->window->show();
    d->window->raise();
    d->window->activateWindow();
    d->window->scrollHistoryToEnd();
}

void Console::sendToTray()
{
    // Hidden on a desktop without a tray, the console could be neither seen nor closed.
    if (!SystemTray::trayAvailable()) {
        d->window->showMinimized();
        return;
    }
    d->tray->showIcon();
    d->tray->setMenuEnabled(true);
    d->window->hide();
}

void Console::shutDown()
{
    if (d->shutDown) {
        return;
    }
    d->shutDown = true;
    d->web.reset();
    if (d->link) {
        d->link->close();
    }
    if (d->delivery) {
        d->delivery->stop();
    }
    if (AgentLink::instance() == d->link.get() || AgentLink::instance() == d->deskLink.get()) {
        AgentLink::setInstance(nullptr);
    }
    if (d->live) {
        d->live->timer().stop();
    }
    if (d->prepaidWatch) {
        d->prepaidWatch->stop();
    }
    d->clockWatch.reset();
    d->core->shutDown();
    d->tray->removeIcon();
    if (d->window) {
        d->window->hide();
    }
    Q_EMIT finished();
}

template <typename Dialog> void Console::openModal()
{
    Dialog dialog(d->window.get());
    dialog.exec();
}

template <typename Dialog> void Console::openWithDatabase()
{
    Dialog dialog(d->db, d->window.get());
    dialog.exec();
}

template <typename Dialog> void Console::openOnSelectedSession()
{
    Dialog dialog(d->db, d->window.get());
    if (const qint64 rowid = d->window->selectedSessionRowid(); rowid != 0) {
        dialog.preselect(rowid);
    }
    dialog.exec();
}

bool Console::refused(const QString& message, bool critical)
{
    if (message.isEmpty()) {
        return false;
    }
    Prompt::message(message, QStringLiteral("Message"),
                    critical ? Prompt::Icon::Critical : Prompt::Icon::Information);
    return true;
}

void Console::wireCommands()
{
    FrmMain& w = *d->window;
    const auto on = [&w, this](const char* name, auto&& slot) {
        if (QAction* a = w.action(QString::fromLatin1(name))) {
            connect(a, &QAction::triggered, this, slot);
        }
    };
    Database& db = d->db;
    on("mnusystray", [this] { sendToTray(); });
    on("mnuexit", [this] { shutDown(); });
    on("mnuabout", [this] { openModal<FrmAbout>(); });
    // The Help menu and F1 anywhere in the console window open the help; without help pages
    // they do nothing.
    on("mnuhelp", [&w] { HelpViewer::show(&w); });
    on("mnustartsession", [this, &db] {
        if (!refused(ConsoleCommands::startSessionRefusal(db), true)) {
            openWithDatabase<FrmSessionStart>();
        }
    });
    on("mnusession", [this, &db] {
        // A prepaid session is paid from its credit: no settlement, no money at the counter.
        const qint64 rowid = d->window->selectedSessionRowid();
        PrepaidCounter counter(db, d->core->currencyDigits());
        if (rowid != 0 && counter.prepaid(rowid)) {
            counter.end(rowid);
            return;
        }
        if (!refused(ConsoleCommands::endSessionRefusal(db), false)) {
            openOnSelectedSession<FrmSessionEnd>();
        }
    });
    on("mnutransfer", [this, &db] {
        if (!refused(ConsoleCommands::transferRefusal(db), false)) {
            openOnSelectedSession<FrmSessionTran>();
        }
    });
    on("mnuaddcredit", [this, &db] {
        PrepaidCounter counter(db, d->core->currencyDigits());
        const qint64 rowid = d->window->selectedSessionRowid();
        if (rowid == 0 || !counter.prepaid(rowid)) {
            refused(QStringLiteral("Choose a prepaid session in the list first."), false);
            return;
        }
        AddCredit::ask(counter, rowid, d->window.get());
    });
    on("mnutickets", [this, &db] {
        FrmTickets tickets(db, d->core->currencyDigits(), d->window.get());
        tickets.exec();
    });
    on("mnutool", [this, &db] {
        if (!refused(ConsoleCommands::toolsRefusal(db), false)) {
            openWithDatabase<FrmTools>();
        }
    });
    on("mnutransactions", [this] { openWithDatabase<FrmCustTran>(); });
    on("mnuoptions", [this] {
        FrmOptions dialog(d->db, d->window.get());
        connect(&dialog, &FrmOptions::webOptionsSaved, this, &Console::applyOwnerWeb);
        dialog.exec();
    });
    on("mnujobwork", [this] { openWithDatabase<FrmJobWork>(); });
    on("mnuusercat", [this] { openWithDatabase<FrmSessionDetails>(); });
    on("mnumemberdetails", [this, &db] {
        FrmMember member(db, d->window.get());
        new MemberCreditPanel(member, db, d->core->currencyDigits());
        member.exec();
    });
    on("mnulogin", [this] {
        FrmLogin login(d->db, d->window.get());
        connect(&login, &FrmLogin::adminChanged, d->window.get(), &FrmMain::setAdministrator);
        login.exec();
    });
    on("mnubackup", [this] {
        if (!d->backup) {
            d->backup = std::make_unique<BackupWindow>(d->db, d->window.get());
        }
        d->backup->start();
    });
    on("mnurestore", [this] {
        if (!d->backup) {
            d->backup = std::make_unique<BackupWindow>(d->db, d->window.get());
        }
        d->backup->restore();
    });
    on("mnuhouskeeping", [this] { openWithDatabase<FrmHKeeping>(); });
    on("mnurpthistory", [this] { openWithDatabase<FrmRptHistory>(); });
    on("mnurptbillreprint", [this] { openWithDatabase<FrmBillReprint>(); });
    on("mnutranrepo", [this] { openWithDatabase<FrmTranRepo>(); });
    on("mnutakings", [this] { openWithDatabase<FrmTakings>(); });
    on("mnushiftclose", [this] {
        FrmShiftClose dialog(d->db,
                             d->window->isAdministrator() ? OperatorLogin::AdminName
                                                          : OperatorLogin::StaffName,
                             d->window.get());
        dialog.exec();
    });
}
