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
