// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDateTime>

// The one source of "now" for both programs, so tests can set and move time.
namespace Clock {
QDateTime now();
// Freezes the clock at the given local time (tests only).
void setFixed(const QDateTime& t);
// Moves a frozen clock forward (tests only).
void advance(qint64 seconds);
// Back to the system clock.
void reset();
bool isFixed();
} // namespace Clock
