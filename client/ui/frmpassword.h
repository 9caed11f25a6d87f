// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDialog>
#include <QTimer>

class AgentSettings;
class QLabel;
class QLineEdit;
class XpCmdButton;

// The settings password window, opened from the lock screen's System menu. The right
// password opens the settings window; once that closes, Restart and Shut down become usable
// on the lock screen (powerItemsEnabled). Left alone for a minute, the window closes itself.
//
// Opened by a service key instead, the right password confirms that service (serviceConfirmed)
// and no settings window opens. Wrong passwords are held back (StaffThrottle): while shut out the
// window says so and compares nothing.
//
// Use: FrmPassword w(settings, lockScreen); connect its signals; w.exec();
class FrmPassword : public QDialog
{
    Q_OBJECT

public:
    static constexpr int IdleCloseMs = 60 * 1000;

    enum class Purpose
    {
        Settings,
        FreeWorkstation,
        EndAgent
    };

    explicit FrmPassword(AgentSettings& settings, QWidget* parent = nullptr,
                         Purpose purpose = Purpose::Settings);

    QTimer* inactivityTimer() { return &m_idle; }

Q_SIGNALS:
    // The settings window was opened with the right password and has closed again.
    void powerItemsEnabled();
    // Passed on from the settings window (see FrmSettings).
    void reconnectRequested();
    void screenApplied(const QString& mode);
    // A service key's window got the right password.
    void serviceConfirmed();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ok();
    // Shows the shut-out line with the seconds left, or hides it.
    void showShutOut();

    AgentSettings& m_settings;
    Purpose m_purpose;
    QLabel* m_wait;
    QTimer m_waitTick;
    QLineEdit* m_password;
    XpCmdButton* m_ok;
    XpCmdButton* m_cancel;
    QTimer m_idle;
};
