// SPDX-License-Identifier: Apache-2.0
#include "server/core/clockjumpwatch.h"

#include "common/clock.h"
#include "common/errorlog.h"
#include "common/prompt.h"
#include "common/settingsstore.h"
#include "platform/boottime.h"
#include "server/core/messagelog.h"

namespace {

const QString Key = RegKey::Server + QStringLiteral("\\ClockLock");
const QString BootValue = QStringLiteral("bootid");
const QString OffsetValue = QStringLiteral("offsetms");

} // namespace

ClockJumpWatch::ClockJumpWatch(MessageLog& log, std::function<bool()> enabled,
                               std::function<qint64()> steadyMs, std::function<QString()> bootId,
                               QObject* parent)
    : QObject(parent), m_log(log), m_enabled(std::move(enabled)),
      m_steadyMs(steadyMs ? std::move(steadyMs) : std::function<qint64()>(&BootTime::msecs)),
      m_bootId(bootId ? std::move(bootId) : std::function<QString()>(&BootTime::bootId))
{
    m_offsetMs = offsetMs();
    m_timer.setInterval(IntervalMs);
    connect(&m_timer, &QTimer::timeout, this, &ClockJumpWatch::check);
}

bool ClockJumpWatch::start()
{
    const qint64 now = offsetMs();
    const QString boot = m_bootId();
    const SettingsStore store;
    bool known = false;
    const qint64 last = store.readValue(Key, OffsetValue).toLongLong(&known);
    // The boot time clock starts again at every start of the computer: only on the same run
    // does the kept difference mean anything.
    const bool sameRun = known && !boot.isEmpty() && store.readValue(Key, BootValue) == boot;
    bool reported = false;
    if (sameRun) {
        m_offsetMs = last;
        reported = look(QStringLiteral(" while the console was closed"));
    } else {
        rebase(now);
    }
    m_timer.start();
    return reported;
}

qint64 ClockJumpWatch::offsetMs() const
{
    return Clock::now().toMSecsSinceEpoch() - m_steadyMs();
}

void ClockJumpWatch::rebase(qint64 offset)
{
    m_offsetMs = offset;
    SettingsStore store;
    store.createKey(Key);
    store.writeValue(Key, BootValue, m_bootId());
    store.writeValue(Key, OffsetValue, QString::number(offset));
}

bool ClockJumpWatch::check()
{
    return look(QString());
}

bool ClockJumpWatch::look(const QString& when)
{
    // Measured from the last report, not the last look: steps each under the threshold add
    // up. The slow corrections of time synchronisation add up too, but take days to reach it
    // (one warning then, and the count starts afresh).
    const qint64 now = offsetMs();
    const qint64 jumpMs = now - m_offsetMs;
    if (qAbs(jumpMs) <= ThresholdSeconds * 1000) {
        return false;
    }
    // The baseline moves on first: a timer firing while the box below is open finds no
    // change, and one passed over while the lock is off is not reported later.
    rebase(now);
    if (!m_enabled || !m_enabled()) {
        return false;
    }
    const QString what = QStringLiteral("The computer's clock was moved ") +
                         describe(jumpMs / 1000) + when + QStringLiteral(", now ") +
                         Clock::now().toString(QStringLiteral("yyyy-MM-dd HH:mm:ss"));
    m_log.append(what);
    ErrorLog::write(Label, what);
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
