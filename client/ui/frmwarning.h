// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QWidget>

class AgentController;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QPushButton;

// The remaining-time warning. "Show Details" opens a panel where the customer can change the
// approximate surfing time and the automatic logoff.
// It comes up in a corner of the screen without taking the keyboard: the customer is typing in
// another program when it appears (every minute near the end), and keys meant for that program
// must not land here. Only "Show Details" makes it take the keyboard, for the surf-time field.
class FrmWarning : public QWidget
{
    Q_OBJECT
public:
    static constexpr int ShortHeight = 82; // 1230 twips
    static constexpr int TallHeight = 188; // 2820 twips
    static inline const QString LockLine =
        QStringLiteral("This workstation locks when the time is up. Please save your work.");

    explicit FrmWarning(AgentController& controller, QWidget* parent = nullptr);

    void setRemaining(qint64 minutes);
    void toggleDetails();

protected:
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;

private:
    void fitHeight(int height);
    // Top right of the screen, clear of the session window in the bottom right corner.
    void placeTopRight();
    void acceptFocus(bool accept);

    AgentController& m_controller;
    QLabel* m_line;
    QPushButton* m_details;
    QGroupBox* m_options;
    QLineEdit* m_surf;
    QCheckBox* m_auto;
};
