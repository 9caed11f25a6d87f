// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/timesplit.h"

#include <QObject>
#include <QTimer>

class AgentSettings;

// The session window's two one-second timers without the window: the elapsed time from the
// stored login time, and the check of the customer's limit (remaining-time warnings and the
// automatic logout request). Runs exactly while the session window is loaded.
class SessionClock : public QObject
{
    Q_OBJECT
public:
    enum class Outcome
    {
        None,
        Autologout,
        Warning
    };
    struct Check
    {
        Outcome outcome = Outcome::None;
        qint64 remainingMinutes = 0;
    };

    explicit SessionClock(AgentSettings& settings, QObject* parent = nullptr);

    void start();
    void stop();
    bool isRunning() const { return m_timer.isActive(); }

    // The elapsed-time counters, shared with the warning window; 0 after start-up.
    const TimeSplit& elapsed() const { return m_elapsed; }
    qint64 elapsedMinutes() const { return m_elapsed.hours * 60 + m_elapsed.minutes; }
    void resetCounters() { m_elapsed = {}; }
    // "h:mm:ss", hours past 23.
    QString timeText() const;

    // One tick of the time timer: recount from the login time. An unreadable login time
    // leaves the counters as they are.
    void updateElapsed();
    // One tick of the warning timer. Writes `minlast` when it warns.
    Check checkAutoLogout();

Q_SIGNALS:
    void ticked();
    void autologoutDue();
    void warningDue(qint64 remainingMinutes);

private:
    AgentSettings& m_settings;
    TimeSplit m_elapsed;
    QTimer m_timer;
    QTimer m_warningTimer;
};
