#include "server/core/clockjumpwatch.h"

#include "common/clock.h"
#include "common/errorlog.h"
#include "common/prompt.h"
#include "platform/boottime.h"
#include "server/core/messagelog.h"

ClockJumpWatch::ClockJumpWatch(MessageLog& log, std::function<bool()> enabled,
                               std::function<qint64()> steadyMs, QObject* parent)
    : QObject(parent), m_log(log), m_enabled(std::move(enabled)),
      m_steadyMs(steadyMs ? std::move(steadyMs) : std::function<qint64()>(&BootTime::msecs))
{
    m_offsetMs = offsetMs();
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &ClockJumpWatch::check);
}

void ClockJumpWatch::start()
{
    m_offsetMs = offsetMs();
    m_timer.start();
}

qint64 ClockJumpWatch::offsetMs() const
{
    return Clock::now().toMSecsSinceEpoch() - m_steadyMs();
}

bool ClockJumpWatch::check()
{
    // Measured from the last look, not from the start: the slow corrections of time
    // synchronisation never add up to a jump, a hand on the clock shows at once.
    const qint64 now = offsetMs();
    const qint64 jumpMs = now - m_offsetMs;
    m_offsetMs = now;
    if (qAbs(jumpMs) <= ThresholdSeconds * 1000 || !m_enabled || !m_enabled()) {
        return false;
    }
    const QString what = QStringLiteral("The computer's clock was moved ") +
                         describe(jumpMs / 1000) + QStringLiteral(", now ") +
                         Clock::now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    m_log.append(what);
    ErrorLog::write(Label, what);
    // The baseline is already moved on: a timer firing while this box is open finds no jump.
    Prompt::message(
        what + QStringLiteral(".\nSessions running across the change show and bill the wrong "
                              "time: check them before settling."),
        QStringLiteral("Warning"), Prompt::Icon::Exclamation);
    return true;
}

QString ClockJumpWatch::describe(qint64 seconds)
{
    const qint64 minutes = (qAbs(seconds) + 30) / 60;
    QString size = QString::number(minutes % 60) + QStringLiteral(" min");
    if (minutes >= 60) {
        size = QString::number(minutes / 60) + QStringLiteral(" h ") + size;
    }
    return (seconds < 0 ? QStringLiteral("back ") : QStringLiteral("forward ")) + size;
}
