// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QWidget>

class AgentController;
struct AgentState;
class QLabel;
class QPushButton;

// The session window: small, bottom right, above other windows, with the time used so far.
// It cannot be closed or minimized away: the workstations' window manager has no task bar,
// and a clock minimized there could never be brought back. (A tray icon would only help where
// a tray exists, which is not the set-up the workstations run; one window works everywhere.)
// Should a window manager keep it minimized all the same, its caption carries the time
// instead ("Time 1:05:09"). A prepaid session's Log off sits at the bottom, across the window.
class FrmActivate : public QWidget
{
    Q_OBJECT
public:
    explicit FrmActivate(AgentController& controller, QWidget* parent = nullptr);

    // One tick of the session clock: time text or caption, and back on top.
    void refresh();
    void placeBottomRight();
    QString timeText() const;
    // A prepaid session adds the time and credit left and Log off; a session paid at the end
    // shows none of them.
    void showPrepaid(const AgentState& state);

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void changeEvent(QEvent* e) override;

private:
    AgentController& m_controller;
    QLabel* m_shadow;
    QLabel* m_time;
    QWidget* m_prepaid;
    QLabel* m_timeLeft;
    QLabel* m_creditLeft;
    QPushButton* m_logoff;
};
