// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/sessions/livesessions.h"

#include <QObject>
#include <QTimer>

class AgentLink;
class Database;
class FrmMain;
class QTreeWidget;
class QTreeWidgetItem;

// Keeps the elapsed time, the charge so far and the disconnected mark of the console
// window's session list current: the rows are matched by rowid after each rebuild, and a tick
// touches only the rows whose figures moved.
class LiveSessionView : public QObject
{
    Q_OBJECT
public:
    static constexpr int DefaultIntervalMs = 5000;
    static inline const QString DisconnectedTip = QStringLiteral(
        "The agent of this workstation is not connected. The session runs on and is billed as "
        "usual; it continues when the agent connects again.");

    LiveSessionView(Database& db, int currencyDigits, FrmMain& window, AgentLink* link = nullptr,
                    QObject* parent = nullptr);

    LiveSessions& sessions() { return m_live; }
    QTimer& timer() { return m_timer; }

    // Reads the sessions again and fills every row (after the list was rebuilt).
    void refill();
    // One refresh: brings the figures to now (and the start times, on a new day); returns how
    // many rows' figures were touched.
    int tick();
    // A connection closed: marks its session.
    void agentDropped(qint64 index);

private:
    // Set in column 0 while the row carries the disconnected mark.
    static constexpr int DisconnectedRole = Qt::UserRole + 3;

    void apply(const QList<int>& positions);
    void applyRow(const LiveSession& s, QTreeWidgetItem* item);

    LiveSessions m_live;
    FrmMain& m_window;
    QTreeWidget* m_list;
    QTimer m_timer;
    QHash<qint64, QTreeWidgetItem*> m_items; // by rowid
};
