// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/insight/takings.h"

#include <QDate>
#include <QList>
#include <QStringList>

class Database;

// What the Takings window shows, without the window: the chosen day or month, the weeks of
// the busy hours, and the figures read for them as the chart's series and the totals table.
class TakingsView
{
public:
    enum class Span
    {
        Day,
        Month
    };

    explicit TakingsView(Database& db) : m_db(db) {}

    void setSpan(Span span) { m_span = span; }
    Span span() const { return m_span; }
    void setDate(const QDate& date) { m_date = date; }
    QDate date() const { return m_date; }
    void setWeeks(int weeks) { m_weeks = weeks; }
    int weeks() const { return m_weeks; }

    // Reads the figures afresh; the busy hours end at `now`.
    void refresh(const QDateTime& now);
    const Takings::Period& period() const { return m_period; }
    const Takings::BusyHours& busyHours() const { return m_busy; }

    // The chart: one stacked series per kind (the time of each category, then job work,
    // tickets, net entered by hand and top-ups), each with one amount per hour or day.
    QStringList seriesNames() const;
    QList<QList<Money>> series() const;
    QStringList bucketLabels() const; // "09" for an hour, "7" for a day

    // The totals table: one row for each hour or day with takings, then the "Total" row.
    QStringList header() const;
    QList<QStringList> rows() const;

private:
    QStringList row(const QString& label, const Takings::Bucket& b) const;

    Database& m_db;
    Span m_span = Span::Day;
    QDate m_date;
    int m_weeks = 4;
    Takings::Period m_period;
    Takings::BusyHours m_busy;
};
