// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDateTime>
#include <cstdint>

// The elapsed time between two moments as whole hours (not limited to 23), minutes and
// seconds. An end before the start (a clock set back during a session) gives the span with
// every part negated, e.g. -0:-1:-5, and `negative` set: no price is ever made from it.
struct TimeSplit
{
    std::int64_t hours = 0;
    int minutes = 0;
    int seconds = 0;
    bool negative = false;

    std::int64_t totalSeconds() const { return hours * 3600 + minutes * 60 + seconds; }
    // "h:m:s" in the label form: each part with one leading blank when not negative.
    QString labelText() const;
    // "h:mm:ss" with hours past 23, as the agent's session window shows it.
    QString clockText() const;
};

TimeSplit splittime(const QDateTime& start, const QDateTime& end);
TimeSplit splitSeconds(std::int64_t seconds);
