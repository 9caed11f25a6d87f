// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/ui/livesessionview.h"

#include "server/core/ui/frmmain.h"

#include <QFont>
#include <QPalette>
#include <QTreeWidget>

LiveSessionView::LiveSessionView(Database& db, int currencyDigits, FrmMain& window, AgentLink* link,
                                 QObject* parent)
    : QObject(parent), m_live(db, currencyDigits, link), m_window(window),
      m_list(window.sessionList())
{
    connect(&window, &FrmMain::sessionListRefilled, this, &LiveSessionView::refill);
    connect(&m_live, &LiveSessions::rowsChanged, this, &LiveSessionView::apply);
    connect(&m_timer, &QTimer::timeout, this, &LiveSessionView::tick);
    m_timer.setInterval(DefaultIntervalMs);
    m_timer.start();
    refill();
}

void LiveSessionView::refill()
{
    m_live.reload();
    m_items.clear();
    const int n = m_list->topLevelItemCount();
    m_items.reserve(n);
    for (int i = 0; i < n; ++i) {
        QTreeWidgetItem* item = m_list->topLevelItem(i);
        m_items.insert(item->data(0, FrmMain::SessionRowidRole).toLongLong(), item);
    }
    const QList<LiveSession>& all = m_live.sessions();
    for (const LiveSession& s : all) {
        if (QTreeWidgetItem* item = m_items.value(s.rowid)) {
            applyRow(s, item);
        }
    }
}

int LiveSessionView::tick()
{
    m_window.refreshSessionListOnNewDay();
    const QList<int> changed = m_live.tick();
    apply(changed);
    return int(changed.size());
}

void LiveSessionView::agentDropped(qint64 index)
{
    apply(m_live.recheckConnections(index));
}

void LiveSessionView::apply(const QList<int>& positions)
{
    const QList<LiveSession>& all = m_live.sessions();
    for (int p : positions) {
        if (p < 0 || p >= all.size()) {
            continue;
        }
        if (QTreeWidgetItem* item = m_items.value(all[p].rowid)) {
            applyRow(all[p], item);
        }
    }
}

void LiveSessionView::applyRow(const LiveSession& s, QTreeWidgetItem* item)
{
    item->setText(FrmMain::ElapsedColumn, LiveSessions::elapsedText(s.elapsed));
    item->setText(FrmMain::ChargeColumn, m_live.chargeText(s));
    if (s.prepaid != 0) {
        item->setText(FrmMain::MemberColumn, LiveSessions::prepaidText(s));
        item->setText(FrmMain::TimeLeftColumn, LiveSessions::timeLeftText(s));
        item->setText(FrmMain::CreditLeftColumn, m_live.creditLeftText(s));
    }

    const bool marked = item->data(0, DisconnectedRole).toBool();
    if (marked == !s.connected) {
        return;
    }
    item->setData(0, DisconnectedRole, !s.connected);
    const QString name =
        s.connected ? s.terminal : s.terminal + QLatin1Char(' ') + LiveSessions::DisconnectedMark;
    item->setText(0, name);
    // The row's own tip (an automatic logout's) stays; the mark's is added below it.
    const QString own = item->data(0, FrmMain::SessionTipRole).toString();
    const QString tip = s.connected     ? own
                        : own.isEmpty() ? DisconnectedTip
                                        : own + QLatin1Char('\n') + DisconnectedTip;
    const int columns = m_list->columnCount();
    for (int c = 0; c < columns; ++c) {
        QFont f = item->font(c);
        f.setItalic(!s.connected);
        item->setFont(c, f);
        item->setToolTip(c, tip);
        if (s.connected) {
            item->setData(c, Qt::ForegroundRole, QVariant());
        } else {
            item->setForeground(c, m_list->palette().brush(QPalette::Disabled, QPalette::Text));
        }
    }
}
