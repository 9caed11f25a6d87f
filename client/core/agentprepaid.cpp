// SPDX-License-Identifier: Apache-2.0
// Prepaid time on the workstation: the lock screen's login, the countdown and the log off.
#include "client/core/agentcontroller.h"

#include "common/clock.h"
#include "common/errorlog.h"
#include "common/timesplit.h"

namespace {

// No prepaid session is longer than a day; a larger number from the console must not overflow
// the countdown's milliseconds.
constexpr qint64 MostSeconds = 7 * 24 * 3600;

qint64 secondsLeft(const QDeadlineTimer& deadline)
{
    // Rounded up: "0:00:00" is shown only when the time is up.
    return (deadline.remainingTime() + 999) / 1000;
}

} // namespace

bool AgentController::prepaidLogin(const Proto::PrepaidCredentials& typed)
{
    // One check at a time, and only from the lock screen: a second press while the console
    // checks would send a second login.
    if (m_state.checkingPassword || m_state.checkingPrepaid || !m_state.lockScreenVisible) {
        return false;
    }
    Proto::PrepaidCredentials c = typed;
    c.id = c.id.trimmed();
    QString refusal;
    if (c.id.isEmpty()) {
        refusal =
            c.kind == Proto::PrepaidCredentials::Kind::Ticket ? EnterCodeText : EnterMemberText;
    } else if (c.id.size() > Proto::MaxCredentialLength ||
               c.password.size() > Proto::MaxCredentialLength) {
        refusal = TooLongText;
    }
    if (refusal.isEmpty()) {
        m_pendingTime.reset();
        if (!send(Proto::prepaidLogin(c))) {
            refusal = NoAnswerText;
        }
    }
    if (!refusal.isEmpty()) {
        m_state.caption = refusal;
        notify();
        return false;
    }
    m_state.checkingPrepaid = true;
    m_state.caption = CheckingText;
    m_passwordCheck.start();
    notify();
    return true;
}

void AgentController::prepaidRefusalArrived(const QString& text)
{
    endPasswordCheck();
    // The lock stays as it is; a refusal that finds a session running (a late answer) changes
    // nothing.
    if (!m_state.lockScreenLoaded) {
        return;
    }
    m_state.caption = text.simplified();
    Q_EMIT prepaidRefused();
}

void AgentController::prepaidTimeArrived(const QString& value)
{
    const std::optional<Proto::PrepaidTimeLeft> t = Proto::parsePrepaidTime(value);
    if (!t) {
        ErrorLog::write(QStringLiteral("objTCP_DataArrival_Error"),
                        QStringLiteral("Unreadable prepaid time: ") + value);
        return;
    }
    const QDeadlineTimer deadline(qMin(t->seconds, MostSeconds) * 1000);
    if (!m_state.prepaid) {
        // Nothing is freed by a time alone: it waits for the console's start.
        m_pendingTime = PendingTime{deadline, t->credit};
        return;
    }
    // Credit added to the running session.
    m_prepaidDeadline = deadline;
    m_state.prepaidCredit = t->credit;
    m_state.prepaidSecondsLeft = secondsLeft(deadline);
    if (m_state.prepaidSecondsLeft >= 10 * 60) {
        m_state.warningLoaded = false;
        m_prepaidWarned = -1;
    }
}

void AgentController::beginPrepaid()
{
    if (!m_pendingTime) {
        return; // counted the usual way, or a prepaid session already running goes on
    }
    const PendingTime p = *m_pendingTime;
    m_pendingTime.reset();
    if (!m_state.sessionWindowLoaded && !m_settings.sessionRunning()) {
        // A new session (not an agent coming back to its own): the time spent counts from now.
        m_settings.setLoginTime(Clock::now());
        m_settings.setMinlast(QString());
    }
    // The countdown is the only limit: the usual limit's warnings and logout stay off.
    m_settings.setAutologoff(false);
    m_settings.setSurfupto(QStringLiteral("0"));
    m_state.prepaid = true;
    m_prepaidDeadline = p.deadline;
    m_state.prepaidCredit = p.credit;
    m_state.prepaidSecondsLeft = secondsLeft(p.deadline);
    m_prepaidWarned = -1;
}

void AgentController::prepaidTick()
{
    if (!m_state.prepaid) {
        return;
    }
    m_state.prepaidSecondsLeft = secondsLeft(m_prepaidDeadline);
    if (m_state.prepaidSecondsLeft <= 0) {
        // The console's own watch ends the session too; the workstation does not wait for it.
        endPrepaid();
        notify();
        return;
    }
    // Today's rule on the time left: each of the last ten minutes warns once.
    const qint64 minutes = (m_state.prepaidSecondsLeft + 59) / 60;
    if (minutes < 10 && minutes != m_prepaidWarned) {
        m_prepaidWarned = minutes;
        m_state.warningLoaded = true;
        m_state.warningMinutes = minutes;
        ++m_state.warningsShown;
    }
    notify();
}

void AgentController::prepaidLogoff()
{
    // Only a running prepaid session logs off, once: the lock that follows ends it.
    if (!m_state.prepaid || !m_state.sessionWindowLoaded) {
        return;
    }
    endPrepaid();
    notify();
}

void AgentController::endPrepaid()
{
    // Owed until the console ends the session: a log off lost with the link, or with this
    // agent, must not let the console resume the session for whoever sits down next.
    m_settings.setLogoffOwed(true);
    m_logoffSentOnLink = false;
    sendOwedLogoff();
    endOfSessionLock();
}

void AgentController::sendOwedLogoff()
{
    if (!m_settings.logoffOwed() || m_logoffSentOnLink) {
        return;
    }
    if (send(Proto::PrepaidLogoff)) {
        m_logoffSentOnLink = true;
        ++m_state.prepaidLogoffsSent;
    }
}

bool AgentController::refuseResume()
{
    if (!m_pendingTime || !m_settings.logoffOwed()) {
        return false;
    }
    if (m_state.checkingPrepaid) {
        // A customer typed a code after the log off: this start answers their login.
        logoffSettled();
        return false;
    }
    m_pendingTime.reset();
    // The console takes the connection in before it reads anything from it, so a log off
    // already sent on this link reaches the resumed session: it is not repeated.
    sendOwedLogoff();
    return true;
}

void AgentController::logoffSettled()
{
    m_settings.setLogoffOwed(false);
    m_logoffSentOnLink = false;
}

QString AgentController::prepaidTimeText() const
{
    return splitSeconds(qMax<qint64>(0, m_state.prepaidSecondsLeft)).clockText();
}

void AgentController::endOfSessionLock()
{
    endPasswordCheck();
    m_state.keysLocked = true;
    unloadSessionWindow();
    showLockScreen();
    m_state.optionsVisible = false;
    m_state.passwordVisible = false;
    // Locked first, then the customer's login and everything it runs are ended.
    endCustomerLogin();
}
