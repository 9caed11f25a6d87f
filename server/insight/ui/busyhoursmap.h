// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/insight/takings.h"

#include <QWidget>

// The busy hours as a grid of the week's days by the day's hours, each cell shaded by how many
// sessions ran in it against the busiest cell; its tool tip gives the count.
class BusyHoursMap : public QWidget
{
    Q_OBJECT
public:
    explicit BusyHoursMap(QWidget* parent = nullptr);
    void setHours(const Takings::BusyHours& hours);
    QSize sizeHint() const override;

protected:
    void paintEvent(QPaintEvent* event) override;
    bool event(QEvent* event) override;

private:
    QRect cellRect(int day, int hour) const;

    Takings::BusyHours m_hours;
};
