// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"

namespace {
QDateTime g_fixed;
}

QDateTime Clock::now()
{
    if (g_fixed.isValid()) {
        return g_fixed;
    }
    QDateTime t = QDateTime::currentDateTime();
    // Whole seconds: stored times and durations never carry milliseconds.
    return t.addMSecs(-t.time().msec());
}

void Clock::setFixed(const QDateTime& t)
{
    g_fixed = t;
}

void Clock::advance(qint64 seconds)
{
    if (g_fixed.isValid()) {
        g_fixed = g_fixed.addSecs(seconds);
    }
}

void Clock::reset()
{
    g_fixed = QDateTime();
}

bool Clock::isFixed()
{
    return g_fixed.isValid();
}
