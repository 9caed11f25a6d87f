// SPDX-License-Identifier: Apache-2.0
#include "common/timesplit.h"

#include "common/money.h"

TimeSplit splitSeconds(std::int64_t seconds)
{
    TimeSplit t;
    t.negative = seconds < 0;
    const std::int64_t a = t.negative ? -seconds : seconds;
    const int sign = t.negative ? -1 : 1;
    t.hours = sign * (a / 3600);
    t.minutes = sign * int((a % 3600) / 60);
    t.seconds = sign * int(a % 60);
    return t;
}

TimeSplit splittime(const QDateTime& start, const QDateTime& end)
{
    if (!start.isValid() || !end.isValid()) {
        return {};
    }
    // Whole seconds of wall-clock time: both moments are local times of the same clock, so
    // the difference of their calendar readings counts across midnight, month and year ends.
    const std::int64_t s = start.secsTo(end);
    return splitSeconds(s);
}

QString TimeSplit::labelText() const
{
    return labelNumber(hours) + u':' + labelNumber(minutes) + u':' + labelNumber(seconds);
}

QString TimeSplit::clockText() const
{
    const std::int64_t total = totalSeconds();
    const std::int64_t a = total < 0 ? -total : total;
    return QStringLiteral("%1%2:%3:%4")
        .arg(total < 0 ? QStringLiteral("-") : QString())
        .arg(a / 3600)
        .arg((a % 3600) / 60, 2, 10, QLatin1Char('0'))
        .arg(a % 60, 2, 10, QLatin1Char('0'));
}
