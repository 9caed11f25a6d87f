// SPDX-License-Identifier: Apache-2.0
#include "client/core/staffthrottle.h"

#include "client/core/agentsettings.h"

#include <algorithm>

namespace {

const QString WrongValue = QStringLiteral("wrong");
const QString UntilValue = QStringLiteral("until");

} // namespace

StaffThrottle::StaffThrottle(AgentSettings& settings) : m_settings(settings) {}

qint64 StaffThrottle::delayAfter(int wrong)
{
    if (wrong < FreeAttempts) {
        return 0;
    }
    qint64 delay = FirstDelaySeconds;
    for (int i = FreeAttempts; i < wrong && delay < LongestDelaySeconds; ++i) {
        delay *= 2;
    }
    return std::min(delay, LongestDelaySeconds);
}

qint64 StaffThrottle::secondsLeft(const QDateTime& now)
{
    const QDateTime until =
        QDateTime::fromString(m_settings.read(RegKey::Password, UntilValue), Qt::ISODate);
    if (!until.isValid() || until <= now) {
        return 0;
    }
    qint64 left = now.secsTo(until);
    if (left > LongestDelaySeconds) {
        left = LongestDelaySeconds;
        m_settings.write(RegKey::Password, UntilValue,
                         now.toUTC().addSecs(left).toString(Qt::ISODate));
    }
    return std::max<qint64>(left, 1);
}

qint64 StaffThrottle::record(bool right, const QDateTime& now)
{
    if (right) {
        m_settings.write(RegKey::Password, WrongValue, QStringLiteral("0"));
        m_settings.write(RegKey::Password, UntilValue, QString());
        return 0;
    }
    // Capped, so a long siege cannot overflow the count.
    const int wrong =
        int(std::clamp<qint64>(
            AgentSettings::leadingNumber(m_settings.read(RegKey::Password, WrongValue)), 0, 1000)) +
        1;
    m_settings.write(RegKey::Password, WrongValue, QString::number(wrong));
    const qint64 delay = delayAfter(wrong);
    if (delay > 0) {
        m_settings.write(RegKey::Password, UntilValue,
                         now.toUTC().addSecs(delay).toString(Qt::ISODate));
    }
    return delay;
}
