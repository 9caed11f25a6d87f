// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class MessageLog;

// Notices the console computer's date or time being changed while the date-time lock is on:
// sessions are timed by the wall clock, so moving it back shortens every running session and
// moving it forward lengthens them. The wall clock (Clock::now()) is held against a clock
// nobody can set; when the two have drifted apart by more than the threshold since the last
// report (or the start), the change goes to the message log and the error log and the cashier
// is warned, once per change. Small steps add up, so moving the clock a little at a time is
// seen as well. The difference of the two clocks is kept in the settings file with the name of
// the computer's run, so a change made while the console was closed is seen at its next start
// on the same run.
class ClockJumpWatch : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 ThresholdSeconds = 120;
    static constexpr int IntervalMs = 5000;
    static inline const QString Label = QStringLiteral("Date/Time Lock");

    // enabled says whether the lock is on now (the option may change while the console runs);
    // steadyMs is the clock nobody can set, in milliseconds, and bootId names the computer's
    // run it counts from (the computer's boot time clock and boot id unless a test gives
    // others).
    ClockJumpWatch(MessageLog& log, std::function<bool()> enabled,
                   std::function<qint64()> steadyMs = {}, std::function<QString()> bootId = {},
                   QObject* parent = nullptr);

    // Reports a change made since the last run on the same boot, then looks every IntervalMs
    // from now on; true when it reported one.
    bool start();
    // One look; true when it found and reported a change. While the lock is off, changes are
    // passed over and not reported later.
    bool check();

    // "forward 1 h 5 min", "back 45 min": the size and direction of a jump.
    static QString describe(qint64 seconds);

private:
    qint64 offsetMs() const;
    // Takes `offset` as the new baseline and keeps it for the next start.
    void rebase(qint64 offset);
    // A look; `when` tells the report when the change was made ("" while running).
    bool look(const QString& when);

    MessageLog& m_log;
    std::function<bool()> m_enabled;
    std::function<qint64()> m_steadyMs;
    std::function<QString()> m_bootId;
    qint64 m_offsetMs = 0;
    QTimer m_timer;
};
