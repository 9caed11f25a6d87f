#pragma once

#include "common/money.h"

#include <cstdint>

class Database;

// The price of whole hours and minutes of use by the rate rows of one usage category, read
// afresh on every call. Seconds are accepted and never charged. The result is unrounded; the
// caller rounds it to the currency digits. A category without rows prices at 0, and a negative
// duration (an end before the start) is never priced above 0.
Money calccharge(Database& db, const QString& category, std::int64_t hours, int minutes,
                 int seconds);
