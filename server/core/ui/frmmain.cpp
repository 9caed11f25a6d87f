#include "server/core/ui/frmmain.h"

#include "server/core/consolecore.h"
#include "server/core/database.h"
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
                           QStringLiteral("Elapsed"), QStringLiteral("Charge")});
    (new QVBoxLayout(sessionBox))->addWidget(m_sessions);

    auto* historyBox = new QGroupBox(QStringLiteral("Session History Listing"));
    m_history = new QTableView;
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
    m_log->addItems(log.lines());
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
    auto* cmdtool = makeButton(QStringLiteral("cmdtool"), QStringLiteral("Tools"));
    auto* cmdsystray = makeButton(QStringLiteral("cmdsystray"), QStringLiteral("Send To Tray"));
    for (QPushButton* b : {cmdsession, cmdendsession, cmdtransfer, cmdtool, cmdsystray}) {
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
    QMenu* about = menuBar()->addMenu(QStringLiteral("&About"));
    addAction(about, QStringLiteral("mnuabout"), QStringLiteral("&About"));
    QMenu* help = menuBar()->addMenu(QStringLiteral("&Help"));
    addAction(help, QStringLiteral("mnuhelp"), QStringLiteral("&Help Topics"))
        ->setShortcut(QKeySequence::HelpContents);

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
    bind(cmdtool, QStringLiteral("mnutool"));
    bind(cmdsystray, QStringLiteral("mnusystray"));

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
    resize(1000, 700);
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
    for (const char* name :
         {"mnuexit", "mnuoptions", "mnuusercat", "mnuhouskeeping", "mnurestore"}) {
        if (QAction* a = action(QString::fromLatin1(name))) {
            a->setEnabled(admin);
        }
    }
    Q_EMIT administratorChanged(admin);
}

void FrmMain::refreshOnlineList()
{
    m_onlineDirty = false;
    m_online->clear();
    const auto rows = m_db.rows(QStringLiteral("SELECT name, ip FROM online"), {},
                                QStringLiteral("refresh online list"));
    QList<QTreeWidgetItem*> items;
    items.reserve(rows.size());
    for (const QSqlRecord& r : rows) {
        auto* item = new QTreeWidgetItem({r.value(0).toString(), r.value(1).toString()});
        item->setIcon(0, computerIcon());
        items.append(item);
    }
    m_online->addTopLevelItems(items);
}

void FrmMain::refreshSessionList()
{
    m_sessionsDirty = false;
    m_sessions->clear();
    const auto rows = m_db.rows(
        QStringLiteral("SELECT terminal, sstart, user, memberid, AUTOLOGOUT, rowid FROM terminals "
                       "ORDER BY rowid"),
        {}, QStringLiteral("refresh session list"));
    QList<QTreeWidgetItem*> items;
    items.reserve(rows.size());
    for (const QSqlRecord& r : rows) {
        QStringList cols;
        for (int c = 0; c < 4; ++c) {
            cols.append(r.value(c).isNull() ? QString() : r.value(c).toString());
        }
        auto* item = new QTreeWidgetItem(cols);
        item->setIcon(0, r.value(4).toInt() != 0 ? exitIcon() : computerIcon());
        item->setData(0, SessionRowidRole, r.value(5).toLongLong());
        items.append(item);
    }
    m_sessions->addTopLevelItems(items);
    Q_EMIT sessionListRefilled();
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
