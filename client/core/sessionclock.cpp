// SPDX-License-Identifier: Apache-2.0
#include "client/core/sessionclock.h"

#include "client/core/agentsettings.h"
#include "common/clock.h"

SessionClock::SessionClock(AgentSettings& settings, QObject* parent)
    : QObject(parent), m_settings(settings)
{
    m_timer.setInterval(1000);
    m_warningTimer.setInterval(1000);
    connect(&m_timer, &QTimer::timeout, this, [this] {
        updateElapsed();
        Q_EMIT ticked();
    });
    connect(&m_warningTimer, &QTimer::timeout, this, [this] {
        const Check c = checkAutoLogout();
        if (c.outcome == Outcome::Autologout) {
            Q_EMIT autologoutDue();
        } else if (c.outcome == Outcome::Warning) {
            Q_EMIT warningDue(c.remainingMinutes);
        }
    });
}

void SessionClock::start()
{
    if (!m_timer.isActive()) {
        m_timer.start();
        m_warningTimer.start();
    }
}

void SessionClock::stop()
{
    m_timer.stop();
    m_warningTimer.stop();
}

QString SessionClock::timeText() const
{
    return m_elapsed.clockText();
}

void SessionClock::updateElapsed()
{
    const QDateTime login = m_settings.loginTime();
    if (!login.isValid()) {
        return;
    }
    m_elapsed = splittime(login, Clock::now());
}

SessionClock::Check SessionClock::checkAutoLogout()
{
    const QString autologoff = m_settings.autologoffText();
    if (!AgentSettings::isSet(autologoff)) {
        return {};
    }
    const qint64 limit = m_settings.surfupto();
    const qint64 used = elapsedMinutes();
    // A limit of 0 means no limit: it never logs a session out, even with the flag on.
    if (autologoff == QLatin1String("1") && limit > 0 && limit <= used) {
        return {Outcome::Autologout, 0};
    }
    if (limit == 0 || limit <= used || limit - used >= 10) {
        return {};
    }
    // The warning is keyed on the minutes counter, so each minute warns once.
    const QString minlast = m_settings.minlastText();
    if (AgentSettings::isSet(minlast) && !minlast.trimmed().isEmpty() &&
        AgentSettings::leadingNumber(minlast) == m_elapsed.minutes) {
        return {};
    }
    m_settings.setMinlast(QString::number(m_elapsed.minutes));
    return {Outcome::Warning, limit - used};
}
