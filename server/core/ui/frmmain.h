// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDate>
#include <QMainWindow>

class Database;
class HistoryModel;
class MessageLog;
class QAction;
class QListWidget;
class QTableView;
class QTreeWidget;

// The console window: ready workstations, running sessions, billed history, the message log,
// the command buttons and the menu bar. Commands are actions found by their object names
// (for example "mnustartsession"); the console program connects them to the windows of the
// other layers. A command whose window is not built stays disabled.
class FrmMain : public QMainWindow
{
    Q_OBJECT
public:
    FrmMain(Database& db, MessageLog& log, QWidget* parent = nullptr);

    // Each session list row carries its `terminals` rowid under this role in column 0.
    static constexpr int SessionRowidRole = Qt::UserRole + 1;
    // The tip a session row carries whatever its connection (the automatic logout's), in column 0.
    static constexpr int SessionTipRole = Qt::UserRole + 2;
    // The session list's columns after Member ID, filled by whoever keeps the live figures.
    static constexpr int ElapsedColumn = 4;
    static constexpr int ChargeColumn = 5;
    // Filled for prepaid sessions only: what the credit held still buys.
    static constexpr int TimeLeftColumn = 6;
    static constexpr int CreditLeftColumn = 7;
    static constexpr int MemberColumn = 3;

    static inline const QString FreeMark = QStringLiteral("(free)");
    static inline const QString FreeTip = QStringLiteral(
        "Unlocked from Tools without a session: the workstation is free to use and nothing is "
        "billed.");
    // A workstation of another desk whose console is not running: nothing reaches it now.
    static inline const QString DownMark = QStringLiteral("(disconnected)");
    // "%1" is the time of the logout.
    static inline const QString AutoLogoutTip = QStringLiteral(
        "Logged out automatically at %1. The session waits to be ended and is billed to that "
        "time.");

    QAction* action(const QString& objectName) const;
    // The administrator-only commands: exit, options, tariffs, housekeeping, takings.
    void setAdministrator(bool admin);
    bool isAdministrator() const { return m_admin; }

    void refreshOnlineList();
    void refreshSessionList();
    // Start times read as a bare "HH:mm" on their own day only: once the clock's date moves on,
    // the list is rebuilt so yesterday's times carry their date.
    void refreshSessionListOnNewDay();
    // Shows the last history row at the top of the grid.
    void scrollHistoryToEnd();
    // Widens the history grid's columns to the texts of the rows on screen.
    void fitHistoryColumns();

    QTreeWidget* onlineList() const { return m_online; }
    QTreeWidget* sessionList() const { return m_sessions; }
    // The `terminals` rowid of the session selected in the list; 0 for none.
    qint64 selectedSessionRowid() const;
    QTableView* historyGrid() const { return m_history; }
    QListWidget* messageLog() const { return m_log; }
    HistoryModel* historyModel() const { return m_historyModel; }

Q_SIGNALS:
    // The window was closed by the operator (not hidden): the console shuts down.
    void closeRequested();
    void administratorChanged(bool admin);
    // The session list was rebuilt from `terminals`.
    void sessionListRefilled();

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    QAction* addAction(QMenu* menu, const QString& name, const QString& text);

    Database& m_db;
    QTreeWidget* m_online = nullptr;
    QTreeWidget* m_sessions = nullptr;
    QTableView* m_history = nullptr;
    QListWidget* m_log = nullptr;
    HistoryModel* m_historyModel = nullptr;
    bool m_admin = false;
    bool m_onlineDirty = false;
    bool m_sessionsDirty = false;
    QDate m_sessionsDay; // the date the session list's times were written for
};
