// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/timeleft.h"

#include "server/sessions/charge.h"

#include <algorithm>

namespace {

constexpr std::int64_t MaxHours = MaxPrepaidMinutes / 60;

bool anyNegative(const QList<RateRow>& rows, const TariffSettings& s)
{
    if (s.fhourrate.isNegative() || s.fhournos.isNegative()) {
        return true;
    }
    for (const RateRow& r : rows) {
        if (r.rate.isNegative() || r.rpermin.isNegative()) {
            return true;
        }
    }
    return false;
}

} // namespace

std::int64_t minutesBought(const QList<RateRow>& rows, const TariffSettings& settings, Money credit,
                           int digits)
{
    const auto covered = [&](std::int64_t hours, int minutes) {
        return calccharge(rows, settings, hours, minutes, 0).rounded(digits) <= credit;
    };
    // The first minute of `hours` that is not covered, or 60.
    const auto firstUncovered = [&](std::int64_t hours) {
        int m = 0;
        while (m < 60 && covered(hours, m)) {
            ++m;
        }
        return m;
    };
    // The price is not monotone within an hour (a slice tariff may price 59 minutes above a
    // whole hour), so the first hour is walked minute by minute.
    if (anyNegative(rows, settings)) {
        // A rate below zero (which no tariff should have) could make a later hour cheaper
        // than an earlier one; then only the walk through every minute is certain.
        std::int64_t d = 0;
        while (d <= MaxPrepaidMinutes && covered(d / 60, int(d % 60))) {
            ++d;
        }
        return d == 0 ? 0 : std::min(d - 1, MaxPrepaidMinutes);
    }
    const int inFirst = firstUncovered(0);
    if (inFirst < 60) {
        return inFirst == 0 ? 0 : inFirst - 1;
    }
    // From the first whole hour on, the price of h hours and m minutes never falls as h grows
    // (every part of a tariff is a rate at or above zero times the hours), so the hours all of
    // whose minutes are covered run from 1 up to some last one: found by halving.
    std::int64_t good = 0;
    std::int64_t bad = MaxHours + 1;
    while (bad - good > 1) {
        const std::int64_t mid = good + (bad - good) / 2;
        if (firstUncovered(mid) == 60) {
            good = mid;
        } else {
            bad = mid;
        }
    }
    if (bad > MaxHours) {
        return MaxPrepaidMinutes;
    }
    // The last hour searched runs past the longest use; only its first minute counts.
    return std::min(bad * 60 + firstUncovered(bad) - 1, MaxPrepaidMinutes);
}
