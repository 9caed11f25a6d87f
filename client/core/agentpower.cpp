// SPDX-License-Identifier: Apache-2.0
// Ending the workstation's use: power requests, the customer's login, the staff's service unlock.
#include "client/core/agentcontroller.h"

#include "common/errorlog.h"
#include "platform/loginsession.h"
#include "platform/power.h"

void AgentController::power(bool reboot)
{
    // Locked before anything is asked of the system: a request that is refused, slow or never
    // carried out must not leave a billed workstation open.
    endPasswordCheck();
    m_state.keysLocked = true;
    showLockScreen();
    m_state.optionsVisible = false;
    m_state.caption = AgentSettings::AppTitle;
    m_state.lastPowerAction = reboot ? QStringLiteral("reboot") : QStringLiteral("shutdown");
    notify();
    if (m_powerRequest) {
        return; // the workstation is already on its way down
    }
    m_state.powerFailed = false;
    const bool fromSession = m_settings.sessionRunning();
    m_powerRequest = Power::request(reboot ? Power::Action::Reboot : Power::Action::Shutdown, this,
                                    [this, fromSession](bool accepted) {
                                        // Logged by the power interface; the agent stays locked.
                                        m_powerRequest = nullptr;
                                        m_state.powerFailed = !accepted;
                                        // Refused, the workstation stays on with the session
                                        // over: the customer's programs must not go on.
                                        if (accepted) {
                                            m_settings.setSessionRunning(false);
                                        } else if (fromSession) {
                                            endCustomerLogin();
                                        }
                                        notify();
                                    });
}

void AgentController::endCustomerLogin()
{
    m_settings.setSessionRunning(false);
    // After the batch: the lock goes up before the login manager is asked.
    if (LoginSession::enabled()) {
        QTimer::singleShot(0, this, [this] { LoginSession::endOnDisplay(this); });
    }
}

void AgentController::lockedOnConsolesWord()
{
    if (m_settings.sessionRunning() && m_state.lockScreenVisible && !m_powerRequest) {
        endCustomerLogin();
    }
}

void AgentController::serviceUnlock()
{
    endPasswordCheck();
    m_settings.setSessionRunning(false);
    m_state.lockScreenVisible = false;
    m_state.keysLocked = false;
    notify();
}

void AgentController::inputWithheld()
{
    if (!m_state.keysLocked || !LoginSession::enabled()) {
        return;
    }
    ErrorLog::write(QStringLiteral("LoginSession"),
                    QStringLiteral("Another program keeps the keyboard and pointer from the lock: "
                                   "ending the logins on the display"));
    m_settings.setSessionRunning(false);
    LoginSession::endOnDisplay(this);
}

void AgentController::restartWorkstation()
{
    power(true);
}

void AgentController::shutdownWorkstation()
{
    power(false);
}
