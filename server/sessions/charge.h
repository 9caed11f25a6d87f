// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"
#include "server/sessions/tariffstore.h"

#include <QString>
#include <cstdint>

class Database;

// The price of whole hours and minutes of use by the rate rows of one usage category, read
// afresh on every call (so a tariff saved during a session prices that session). Seconds are
// accepted and never charged. The result is unrounded; the caller rounds it to the currency
// digits. A category without rows prices at 0. A negative part in any of hours, minutes or
// seconds (what splittime gives for an end before the start) prices at 0: a clock set back
// during a session is never billed, not even the first slice.
// An absurd duration (a clock set years ahead) prices at Money's bound, never at a wrapped
// negative amount.
Money calccharge(Database& db, const QString& category, std::int64_t hours, int minutes,
                 int seconds);

// The same pricing over rate rows already read (ascending by timeslice, as TariffStore gives
// them), for callers that price many sessions of one category at once.
Money calccharge(const QList<RateRow>& rows, const TariffSettings& settings, std::int64_t hours,
                 int minutes, int seconds);
