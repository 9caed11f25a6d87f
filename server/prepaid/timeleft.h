// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"
#include "server/sessions/tariffstore.h"

#include <QList>

#include <cstdint>

// The longest a prepaid credit may be used: a free or nearly free tariff would otherwise give
// endless time from one login. The customer simply logs in again.
inline constexpr std::int64_t MaxPrepaidMinutes = 24 * 60;

// The whole minutes a credit buys by one category's rate rows: the largest D such that every
// use of at most D whole minutes is priced, rounded to `digits` as a bill is, at or below the
// credit, so that wherever the customer stops, the bill never exceeds what was paid. 0 when
// not even the first minute is covered. At most MaxPrepaidMinutes.
std::int64_t minutesBought(const QList<RateRow>& rows, const TariffSettings& settings, Money credit,
                           int digits);
