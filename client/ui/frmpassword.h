#pragma once

#include <QDialog>
#include <QTimer>

class AgentSettings;
class QLineEdit;
class XpCmdButton;

// The settings password window, opened from the lock screen's System menu. The right
// password opens the settings window; once that closes, Restart and Shut down become usable
// on the lock screen (powerItemsEnabled). Left alone for a minute, the window closes itself.
//
// Use: FrmPassword w(settings, lockScreen); connect its signals; w.exec();
class FrmPassword : public QDialog
{
    Q_OBJECT

public:
    static constexpr int IdleCloseMs = 60 * 1000;

    explicit FrmPassword(AgentSettings& settings, QWidget* parent = nullptr);

    QTimer* inactivityTimer() { return &m_idle; }

Q_SIGNALS:
    // The settings window was opened with the right password and has closed again.
    void powerItemsEnabled();
    // Passed on from the settings window (see FrmSettings).
    void reconnectRequested();
    void screenApplied(const QString& mode);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void showEvent(QShowEvent* event) override;

private:
    void ok();

    AgentSettings& m_settings;
    QLineEdit* m_password;
    XpCmdButton* m_ok;
    XpCmdButton* m_cancel;
    QTimer m_idle;
};
