// SPDX-License-Identifier: Apache-2.0
#include "server/core/displaytime.h"

#include "common/clock.h"

namespace {

bool isStoredForm(const QString& s)
{
    return s.size() == 19 && s.at(4) == QLatin1Char('-') && s.at(7) == QLatin1Char('-') &&
           s.at(10) == QLatin1Char(' ') && s.at(13) == QLatin1Char(':') &&
           s.at(16) == QLatin1Char(':');
}

} // namespace

QString DisplayTime::compact(const QString& stored, const QDate& today)
{
    if (!isStoredForm(stored)) {
        return stored;
    }
    // Compared as text: a list repaints many of these, and the stored date needs no time zone.
    if (today.isValid() &&
        QStringView(stored).left(10) == today.toString(QStringLiteral("yyyy-MM-dd"))) {
        return stored.mid(11, 5);
    }
    return stored.left(16);
}

QString DisplayTime::compact(const QString& stored)
{
    return compact(stored, Clock::now().date());
}
