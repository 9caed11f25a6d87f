#pragma once

#include <QObject>
#include <QString>
#include <QTimer>

#include <functional>

class MessageLog;

// Notices the console computer's date or time being changed while the date-time lock is on:
// sessions are timed by the wall clock, so moving it back shortens every running session and
// moving it forward lengthens them. The wall clock (Clock::now()) is compared with a clock
// nobody can set; when the two disagree by more than the threshold since the last look, the
// jump goes to the message log and the error log and the cashier is warned, once per jump.
class ClockJumpWatch : public QObject
{
    Q_OBJECT
public:
    static constexpr qint64 ThresholdSeconds = 120;
    static constexpr int IntervalMs = 5000;
    static inline const QString Label = QStringLiteral("Date/Time Lock");

    // enabled says whether the lock is on now (the option may change while the console runs);
    // steadyMs is the clock nobody can set, in milliseconds (the computer's boot time clock
    // unless a test gives another).
    ClockJumpWatch(MessageLog& log, std::function<bool()> enabled,
                   std::function<qint64()> steadyMs = {}, QObject* parent = nullptr);

    // Looks every IntervalMs from now on.
    void start();
    // One look; true when it found and reported a jump. While the lock is off, jumps are
    // passed over and not reported later.
    bool check();

    // "forward 1 h 5 min", "back 45 min": the size and direction of a jump.
    static QString describe(qint64 seconds);

private:
    qint64 offsetMs() const;

    MessageLog& m_log;
    std::function<bool()> m_enabled;
    std::function<qint64()> m_steadyMs;
    qint64 m_offsetMs = 0;
    QTimer m_timer;
};
