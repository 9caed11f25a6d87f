// SPDX-License-Identifier: Apache-2.0
#include "server/core/ui/frmmain.h"

#include "common/clock.h"
#include "server/core/agentlink.h"
#include "server/core/consolecore.h"
#include "server/core/database.h"
#include "server/core/displaytime.h"
#include "server/core/historymodel.h"
#include "server/core/messagelog.h"

#include <QAction>
#include <QApplication>
#include <QCloseEvent>
#include <QGridLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QListWidget>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QScrollBar>
#include <QSqlRecord>
#include <QStyle>
#include <QTableView>
#include <QTimer>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace {

QIcon computerIcon()
{
    return QApplication::style()->standardIcon(QStyle::SP_ComputerIcon);
}

QIcon exitIcon()
{
    return QApplication::style()->standardIcon(QStyle::SP_BrowserStop);
}

QIcon freeIcon()
{
    return QApplication::style()->standardIcon(QStyle::SP_DialogYesButton);
}

// The history grid sizes its columns to what it shows. It cannot ask the whole model (a
// history of millions of rows is read a page at a time), so it measures the rows on screen, or
// before it has a screen the last rows, where it opens.
class HistoryGrid : public QTableView
{
public:
    static constexpr int OpeningRows = 64;

    void fitColumns()
    {
        const QAbstractItemModel* m = model();
        if (m == nullptr) {
            return;
        }
        const int rows = m->rowCount();
        int first = qMax(0, rows - OpeningRows);
        int last = rows - 1;
        if (isVisible() && rows > 0) {
            const int top = rowAt(0);
            const int bottom = rowAt(viewport()->height() - 1);
            first = qMax(0, top);
            last = bottom < 0 ? rows - 1 : bottom;
        }
        QStyleOptionViewItem option;
        initViewItemOption(&option);
        const int grid = showGrid() ? 1 : 0;
        QHeaderView* header = horizontalHeader();
        for (int c = 0; c < m->columnCount(); ++c) {
            int width = header->sectionSizeHint(c);
            for (int r = first; r <= last; ++r) {
                const QModelIndex i = m->index(r, c);
                width = qMax(width, itemDelegateForIndex(i)->sizeHint(option, i).width() + grid);
            }
            // Only ever wider: columns that shrank while scrolling would make the grid jump.
            if (width > header->sectionSize(c)) {
                header->resizeSection(c, width);
            }
        }
    }

protected:
    // Other rows come on screen.
    void resizeEvent(QResizeEvent* event) override
    {
        QTableView::resizeEvent(event);
        fitColumns();
    }
};

QTreeWidget* makeList(const QString& name, const QStringList& columns)
{
    auto* list = new QTreeWidget;
    list->setObjectName(name);
    list->setRootIsDecorated(false);
    list->setUniformRowHeights(true);
    list->setHeaderLabels(columns);
    list->setSelectionMode(QAbstractItemView::SingleSelection);
    return list;
}

QPushButton* makeButton(const QString& name, const QString& text)
{
    auto* b = new QPushButton(text);
    b->setObjectName(name);
    return b;
}

} // namespace

FrmMain::FrmMain(Database& db, MessageLog& log, QWidget* parent) : QMainWindow(parent), m_db(db)
{
    setObjectName(QStringLiteral("frmMain"));
    setWindowTitle(ConsoleCore::AppTitle);

    auto* central = new QWidget;
    auto* grid = new QGridLayout(central);

    auto* onlineBox = new QGroupBox(QStringLiteral("Ready Terminals List"));
    m_online =
        makeList(QStringLiteral("lvwonline"), {QStringLiteral("Name"), QStringLiteral("IP")});
    (new QVBoxLayout(onlineBox))->addWidget(m_online);

    auto* sessionBox = new QGroupBox(QStringLiteral("Current Session Lists"));
    m_sessions = makeList(QStringLiteral("lvwsession"),
                          {QStringLiteral("Terminal"), QStringLiteral("Session Start"),
                           QStringLiteral("Usage Type"), QStringLiteral("Member ID"),
                           QStringLiteral("Elapsed"), QStringLiteral("Charge"),
                           QStringLiteral("Time Left"), QStringLiteral("Credit Left")});
    // A handful of rows: every column follows its widest text as the figures move.
    m_sessions->header()->setStretchLastSection(false);
    m_sessions->header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    (new QVBoxLayout(sessionBox))->addWidget(m_sessions);

    auto* historyBox = new QGroupBox(QStringLiteral("Session History Listing"));
    m_history = new HistoryGrid;
    m_history->setObjectName(QStringLiteral("grdhistory"));
    m_historyModel = new HistoryModel(db, this);
    m_history->setModel(m_historyModel);
    m_history->setSelectionBehavior(QAbstractItemView::SelectRows);
    m_history->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_history->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
    m_history->verticalHeader()->setDefaultSectionSize(m_history->fontMetrics().height() + 6);
    m_history->verticalHeader()->hide();
    m_history->horizontalHeader()->setStretchLastSection(true);
    (new QVBoxLayout(historyBox))->addWidget(m_history);

    auto* logBox = new QGroupBox(QStringLiteral("Message Log"));
    m_log = new QListWidget;
    m_log->setObjectName(QStringLiteral("lstmain"));
    m_log->setUniformItemSizes(true);
    m_log->addItems(log.shownLines());
    (new QVBoxLayout(logBox))->addWidget(m_log);
    connect(&log, &MessageLog::lineAdded, this, [this](const QString& line) {
        m_log->addItem(line);
        // The window shows what the log keeps, no more.
        while (m_log->count() > MessageLog::MaxLines) {
            delete m_log->takeItem(0);
        }
        m_log->scrollToBottom();
    });

    auto* optionBox = new QGroupBox(QStringLiteral("Option"));
    auto* buttons = new QVBoxLayout(optionBox);
    auto* cmdsession = makeButton(QStringLiteral("cmdsession"), QStringLiteral("Start Session"));
    auto* cmdendsession =
        makeButton(QStringLiteral("cmdendsession"), QStringLiteral("End Session"));
    auto* cmdtransfer =
        makeButton(QStringLiteral("cmdtransfer"), QStringLiteral("Transfer Session"));
    auto* cmdtickets = makeButton(QStringLiteral("cmdtickets"), QStringLiteral("Tickets"));
    auto* cmdtool = makeButton(QStringLiteral("cmdtool"), QStringLiteral("Tools"));
    auto* cmdsystray = makeButton(QStringLiteral("cmdsystray"), QStringLiteral("Send To Tray"));
    for (QPushButton* b :
         {cmdsession, cmdendsession, cmdtransfer, cmdtickets, cmdtool, cmdsystray}) {
        buttons->addWidget(b);
    }
    buttons->addStretch();

    grid->addWidget(onlineBox, 0, 0);
    grid->addWidget(sessionBox, 0, 1);
    grid->addWidget(optionBox, 0, 2, 2, 1);
    grid->addWidget(historyBox, 1, 0, 1, 2);
    grid->addWidget(logBox, 2, 0, 1, 3);
    grid->setRowStretch(0, 2);
    grid->setRowStretch(1, 3);
    grid->setRowStretch(2, 1);
    grid->setColumnStretch(0, 1);
    grid->setColumnStretch(1, 2);
    setCentralWidget(central);

    QMenu* file = menuBar()->addMenu(QStringLiteral("&File"));
    addAction(file, QStringLiteral("mnusystray"), QStringLiteral("&Send To Tray"));
    addAction(file, QStringLiteral("mnuexit"), QStringLiteral("&Exit"));
    QMenu* option = menuBar()->addMenu(QStringLiteral("&Option"));
    addAction(option, QStringLiteral("mnustartsession"), QStringLiteral("Start New Session"));
    addAction(option, QStringLiteral("mnusession"), QStringLiteral("End Session"));
    addAction(option, QStringLiteral("mnutransfer"), QStringLiteral("Transfer Session"));
    addAction(option, QStringLiteral("mnuaddcredit"), QStringLiteral("Add Credit"));
    addAction(option, QStringLiteral("mnutickets"), QStringLiteral("Tickets"));
    addAction(option, QStringLiteral("mnutool"), QStringLiteral("Tools"));
    addAction(option, QStringLiteral("mnutransactions"), QStringLiteral("Transactions"));
    QMenu* settings = menuBar()->addMenu(QStringLiteral("&Setings"));
    addAction(settings, QStringLiteral("mnuoptions"), QStringLiteral("General Settings"));
    addAction(settings, QStringLiteral("mnujobwork"), QStringLiteral("&Jobwork Details"));
    addAction(settings, QStringLiteral("mnuusercat"), QStringLiteral("&Usage and Charge Details"));
    addAction(settings, QStringLiteral("mnumemberdetails"), QStringLiteral("&Member Details"));
    addAction(settings, QStringLiteral("mnulogin"), QStringLiteral("Login"));
    QMenu* tools = menuBar()->addMenu(QStringLiteral("&Tools"));
    addAction(tools, QStringLiteral("mnubackup"), QStringLiteral("Backup"));
    addAction(tools, QStringLiteral("mnurestore"), QStringLiteral("Restore..."));
    addAction(tools, QStringLiteral("mnuhouskeeping"), QStringLiteral("Hourkeeping"));
    QMenu* reports = menuBar()->addMenu(QStringLiteral("&Reports"));
    addAction(reports, QStringLiteral("mnurpthistory"), QStringLiteral("&History Details"));
    addAction(reports, QStringLiteral("mnurptbillreprint"), QStringLiteral("&Bill Reprint"));
    addAction(reports, QStringLiteral("mnutranrepo"), QStringLiteral("Transaction Details"));
    addAction(reports, QStringLiteral("mnutakings"), QStringLiteral("T&akings"));
    addAction(reports, QStringLiteral("mnushiftclose"), QStringLiteral("&Shift Close"));
    QMenu* about = menuBar()->addMenu(QStringLiteral("&About"));
    addAction(about, QStringLiteral("mnuabout"), QStringLiteral("&About"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    addAction(help, QStringLiteral("mnuhelp"), QStringLiteral("&Help Topics"))
        ->setShortcut(QKeySequence::HelpContents);
    for (QMenu* menu : {file, settings, tools, reports}) {
        menu->setToolTipsVisible(true);
    }

    // The buttons run the same commands as their menu items.
    const auto bind = [this](QPushButton* b, const QString& actionName) {
        connect(b, &QPushButton::clicked, this, [this, actionName] {
            if (QAction* a = action(actionName); a && a->isEnabled()) {
                a->trigger();
            }
        });
    };
    bind(cmdsession, QStringLiteral("mnustartsession"));
    bind(cmdendsession, QStringLiteral("mnusession"));
    bind(cmdtransfer, QStringLiteral("mnutransfer"));
    bind(cmdtickets, QStringLiteral("mnutickets"));
    bind(cmdtool, QStringLiteral("mnutool"));
    bind(cmdsystray, QStringLiteral("mnusystray"));
    // A running session double-clicked is one the cashier means to end.
    connect(m_sessions, &QTreeWidget::itemDoubleClicked, this, [this] {
        if (QAction* a = action(QStringLiteral("mnusession")); a && a->isEnabled()) {
            a->trigger();
        }
    });

    // The commands on one session, at hand on its row.
    m_sessions->setContextMenuPolicy(Qt::ActionsContextMenu);
    for (const char* name : {"mnusession", "mnutransfer", "mnuaddcredit"}) {
        m_sessions->addAction(action(QString::fromLatin1(name)));
    }

    setAdministrator(false);

    // Several changes in one event (a burst of agents connecting) refill a list once.
    connect(&db, &Database::tableChanged, this, [this](const QString& table) {
        if (table == QLatin1String("online") && !m_onlineDirty) {
            m_onlineDirty = true;
            QTimer::singleShot(0, this, &FrmMain::refreshOnlineList);
        } else if (table == QLatin1String("terminals") && !m_sessionsDirty) {
            m_sessionsDirty = true;
            QTimer::singleShot(0, this, &FrmMain::refreshSessionList);
        }
    });
    refreshOnlineList();
    refreshSessionList();

    connect(m_historyModel, &QAbstractItemModel::modelReset, this, &FrmMain::fitHistoryColumns);
    connect(m_history->verticalScrollBar(), &QScrollBar::valueChanged, this,
            &FrmMain::fitHistoryColumns);
    fitHistoryColumns();
    // Wide enough for the history's columns beside the buttons, but never beyond the screen
    // (a twentieth is left for the window manager's frame).
    const int historyWidth = m_history->horizontalHeader()->length() +
                             m_history->verticalScrollBar()->sizeHint().width() +
                             2 * m_history->frameWidth();
    const QSize wanted(qMax(1000, historyWidth + optionBox->sizeHint().width() + 80), 700);
    const QSize room = screen()->availableGeometry().size() * 0.95;
    resize(wanted.boundedTo(room));
}

QAction* FrmMain::addAction(QMenu* menu, const QString& name, const QString& text)
{
    QAction* a = menu->addAction(text);
    a->setObjectName(name);
    return a;
}

QAction* FrmMain::action(const QString& objectName) const
{
    return findChild<QAction*>(objectName);
}

void FrmMain::setAdministrator(bool admin)
{
    m_admin = admin;
    // A greyed-out item says why in its tool tip; the menus show tool tips for that.
    const struct
    {
        const char* name;
        const char* reason;
    } adminOnly[] = {
        {"mnuexit", "Log in as the administrator (Setings > Login) to exit the console."},
        {"mnuoptions", "Log in as the administrator (Setings > Login) to change settings."},
        {"mnuusercat",
         "Log in as the administrator (Setings > Login) to change usage categories and charges."},
        {"mnuhouskeeping", "Log in as the administrator (Setings > Login) to do housekeeping."},
        {"mnurestore", "Log in as the administrator (Setings > Login) to restore a backup."},
        {"mnutakings", "Log in as the administrator (Setings > Login) to see the takings."},
    };
    for (const auto& item : adminOnly) {
        if (QAction* a = action(QString::fromLatin1(item.name))) {
            a->setEnabled(admin);
            a->setToolTip(admin ? QString() : QString::fromLatin1(item.reason));
        }
    }
    Q_EMIT administratorChanged(admin);
}

void FrmMain::refreshOnlineList()
{
    m_onlineDirty = false;
    m_online->clear();
    const auto rows =
        m_db.rows(QStringLiteral("SELECT name, ip, unlocked, id FROM online ORDER BY rowid"), {},
                  QStringLiteral("refresh online list"));
    const AgentLink* link = AgentLink::instance();
    QList<QTreeWidgetItem*> items;
    items.reserve(rows.size());
    for (const QSqlRecord& r : rows) {
        const bool free = r.value(2).toInt() != 0;
        const bool down = link != nullptr && !link->deskRunning(r.value(3).toLongLong());
        QString name = r.value(0).toString();
        if (free) {
            name += QLatin1Char(' ') + FreeMark;
        }
        if (down) {
            name += QLatin1Char(' ') + DownMark;
        }
        auto* item = new QTreeWidgetItem({name, r.value(1).toString()});
        item->setIcon(0, free ? freeIcon() : computerIcon());
        if (free || down) {
            const QString tip = down ? AgentLink::DeskNotRunning : FreeTip;
            item->setToolTip(0, tip);
            item->setToolTip(1, tip);
        }
        items.append(item);
    }
    m_online->addTopLevelItems(items);
}

void FrmMain::refreshSessionListOnNewDay()
{
    if (Clock::now().date() != m_sessionsDay) {
        refreshSessionList();
    }
}

qint64 FrmMain::selectedSessionRowid() const
{
    const QList<QTreeWidgetItem*> picked = m_sessions->selectedItems();
    return picked.isEmpty() ? 0 : picked.first()->data(0, SessionRowidRole).toLongLong();
}

void FrmMain::refreshSessionList()
{
    m_sessionsDirty = false;
    // The cashier's choice outlives a rebuild for another workstation's change.
    const qint64 selected = selectedSessionRowid();
    m_sessions->clear();
    const auto rows = m_db.rows(
        QStringLiteral("SELECT terminal, sstart, \"user\", memberid, AUTOLOGOUT, rowid, send FROM "
                       "terminals ORDER BY rowid"),
        {}, QStringLiteral("refresh session list"));
    QList<QTreeWidgetItem*> items;
    items.reserve(rows.size());
    const QDate today = Clock::now().date();
    m_sessionsDay = today;
    for (const QSqlRecord& r : rows) {
        QStringList cols;
        for (int c = 0; c < 4; ++c) {
            cols.append(r.value(c).isNull() ? QString() : r.value(c).toString());
        }
        cols[1] = DisplayTime::compact(cols[1], today);
        auto* item = new QTreeWidgetItem(cols);
        const bool autologout = r.value(4).toInt() != 0;
        item->setIcon(0, autologout ? exitIcon() : computerIcon());
        item->setData(0, SessionRowidRole, r.value(5).toLongLong());
        if (autologout) {
            const QString tip =
                AutoLogoutTip.arg(DisplayTime::compact(r.value(6).toString(), today));
            item->setData(0, SessionTipRole, tip);
            for (int c = 0; c < m_sessions->columnCount(); ++c) {
                item->setToolTip(c, tip);
            }
        }
        items.append(item);
    }
    m_sessions->addTopLevelItems(items);
    for (QTreeWidgetItem* item : items) {
        if (selected != 0 && item->data(0, SessionRowidRole).toLongLong() == selected) {
            m_sessions->setCurrentItem(item);
        }
    }
    Q_EMIT sessionListRefilled();
}

void FrmMain::fitHistoryColumns()
{
    static_cast<HistoryGrid*>(m_history)->fitColumns();
}

void FrmMain::scrollHistoryToEnd()
{
    const int n = m_historyModel->rowCount();
    if (n > 0) {
        m_history->scrollTo(m_historyModel->index(n - 1, 0), QAbstractItemView::PositionAtTop);
    }
}

void FrmMain::closeEvent(QCloseEvent* event)
{
    event->accept();
    Q_EMIT closeRequested();
}
