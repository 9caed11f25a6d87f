// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"
#include "server/sessions/tariffstore.h"

// Amounts and rate rows written as the tariff editor shows them.
inline Money m(const char* text)
{
    return Money::parse(QString::fromLatin1(text));
}

inline RateRow row(const char* slice, const char* rate, const char* rpm)
{
    RateRow r;
    r.timeslice = m(slice);
    r.rate = m(rate);
    r.rpermin = m(rpm);
    return r;
}

// The category of the worked examples: 15 minutes 10, 30 minutes 15, the hour 25.
inline QList<RateRow> standardRateRows()
{
    return {row("15", "10", "0.67"), row("30", "15", "0.33"), row("60", "25", "0.33")};
}
