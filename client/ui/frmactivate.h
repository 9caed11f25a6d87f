#pragma once

#include <QWidget>

class AgentController;
class QLabel;

// The session window: small, bottom right, above other windows, with the time used so far.
// Minimized, its caption carries the time instead ("Time 1:05:09").
class FrmActivate : public QWidget
{
    Q_OBJECT
public:
    explicit FrmActivate(AgentController& controller, QWidget* parent = nullptr);

    // One tick of the session clock: time text or caption, and back on top.
    void refresh();
    void placeBottomRight();
    QString timeText() const;

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    AgentController& m_controller;
    QLabel* m_shadow;
    QLabel* m_time;
};
