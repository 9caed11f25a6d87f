// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/insight/takingsview.h"

#include <QDialog>

class BusyHoursMap;
class Database;
class QChartView;
class QComboBox;
class QDateEdit;
class QSpinBox;
class QTableWidget;

// The owner's picture of the takings: a day by the hour or a month by the day, as stacked bars
// by kind and usage category with the exact figures in a table beside them, and the busy hours
// of the last weeks.
class FrmTakings : public QDialog
{
    Q_OBJECT
public:
    explicit FrmTakings(Database& db, QWidget* parent = nullptr);

    TakingsView& view() { return m_view; }
    // Reads the figures for the chosen day or month and weeks and shows them.
    void refresh();

private:
    void showChart();
    void showTable();

    TakingsView m_view;
    QComboBox* m_span = nullptr;
    QDateEdit* m_date = nullptr;
    QSpinBox* m_weeks = nullptr;
    QChartView* m_chart = nullptr;
    QTableWidget* m_table = nullptr;
    BusyHoursMap* m_busy = nullptr;
};
