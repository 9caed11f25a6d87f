// SPDX-License-Identifier: Apache-2.0
#include "server/insight/ui/frmtakings.h"

#include "common/clock.h"
#include "server/insight/ui/busyhoursmap.h"

#include <QBarCategoryAxis>
#include <QBarSet>
#include <QChart>
#include <QChartView>
#include <QComboBox>
#include <QDateEdit>
#include <QDialogButtonBox>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QLabel>
#include <QPushButton>
#include <QSpinBox>
#include <QStackedBarSeries>
#include <QTableWidget>
#include <QVBoxLayout>
#include <QValueAxis>

FrmTakings::FrmTakings(Database& db, QWidget* parent) : QDialog(parent), m_view(db)
{
    setObjectName(QStringLiteral("frmtakings"));
    setWindowTitle(QStringLiteral("Takings"));
    auto* top = new QVBoxLayout(this);
    auto* choose = new QHBoxLayout;
    m_span = new QComboBox(this);
    m_span->setObjectName(QStringLiteral("cbospan"));
    m_span->addItems({QStringLiteral("Day by the Hour"), QStringLiteral("Month by the Day")});
    m_date = new QDateEdit(Clock::now().date(), this);
    m_date->setObjectName(QStringLiteral("dtpdate"));
    m_date->setCalendarPopup(true);
    m_date->setDisplayFormat(QStringLiteral("dd-MMM-yyyy"));
    m_weeks = new QSpinBox(this);
    m_weeks->setObjectName(QStringLiteral("spnweeks"));
    m_weeks->setRange(1, 52);
    m_weeks->setValue(m_view.weeks());
    auto* weeksLabel = new QLabel(QStringLiteral("Busy Hours of the Last Weeks"), this);
    weeksLabel->setBuddy(m_weeks);
    choose->addWidget(m_span);
    choose->addWidget(m_date);
    choose->addStretch();
    choose->addWidget(weeksLabel);
    choose->addWidget(m_weeks);
    top->addLayout(choose);

    m_chart = new QChartView(this);
    m_chart->setObjectName(QStringLiteral("chttakings"));
    m_chart->setRenderHint(QPainter::Antialiasing);
    m_chart->setMinimumHeight(260);
    top->addWidget(m_chart, 3);

    auto* below = new QHBoxLayout;
    m_table = new QTableWidget(this);
    m_table->setObjectName(QStringLiteral("grdtotals"));
    m_table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    m_table->verticalHeader()->hide();
    below->addWidget(m_table, 3);
    m_busy = new BusyHoursMap(this);
    below->addWidget(m_busy, 2);
    top->addLayout(below, 2);

    auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
    buttons->button(QDialogButtonBox::Close)->setObjectName(QStringLiteral("cmdclose"));
    connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
    top->addWidget(buttons);

    connect(m_span, &QComboBox::currentIndexChanged, this, [this](int i) {
        m_date->setDisplayFormat(i == 0 ? QStringLiteral("dd-MMM-yyyy")
                                        : QStringLiteral("MMM-yyyy"));
        refresh();
    });
    connect(m_date, &QDateEdit::dateChanged, this, &FrmTakings::refresh);
    connect(m_weeks, &QSpinBox::valueChanged, this, &FrmTakings::refresh);
    resize(1000, 700);
    refresh();
}

void FrmTakings::refresh()
{
    m_view.setSpan(m_span->currentIndex() == 0 ? TakingsView::Span::Day : TakingsView::Span::Month);
    m_view.setDate(m_date->date());
    m_view.setWeeks(m_weeks->value());
    m_view.refresh(Clock::now());
    showChart();
    showTable();
    m_busy->setHours(m_view.busyHours());
}

void FrmTakings::showChart()
{
    auto* chart = new QChart;
    auto* series = new QStackedBarSeries(chart);
    const QStringList names = m_view.seriesNames();
    const QList<QList<Money>> values = m_view.series();
    double most = 0;
    QList<double> stacked(m_view.bucketLabels().size(), 0);
    for (int s = 0; s < names.size(); ++s) {
        bool any = false;
        for (const Money m : values.at(s)) {
            any = any || !m.isZero();
        }
        if (!any) {
            continue;
        }
        auto* set = new QBarSet(names.at(s), series);
        for (int i = 0; i < values.at(s).size(); ++i) {
            // Drawing only: the exact amounts are in the table.
            const double v = values.at(s).at(i).toDouble();
            set->append(v);
            stacked[i] += v;
            most = std::max(most, stacked[i]);
        }
        series->append(set);
    }
    chart->addSeries(series);
    auto* x = new QBarCategoryAxis(chart);
    x->append(m_view.bucketLabels());
    chart->addAxis(x, Qt::AlignBottom);
    series->attachAxis(x);
    auto* y = new QValueAxis(chart);
    y->setRange(0, most > 0 ? most : 1);
    y->applyNiceNumbers();
    y->setLabelFormat(QStringLiteral("%.0f"));
    chart->addAxis(y, Qt::AlignLeft);
    series->attachAxis(y);
    chart->legend()->setAlignment(Qt::AlignRight);
    chart->setTitle(m_view.span() == TakingsView::Span::Day
                        ? m_view.date().toString(QStringLiteral("dddd d MMMM yyyy"))
                        : m_view.date().toString(QStringLiteral("MMMM yyyy")));
    QChart* old = m_chart->chart();
    m_chart->setChart(chart);
    delete old;
}

void FrmTakings::showTable()
{
    const QStringList header = m_view.header();
    const QList<QStringList> rows = m_view.rows();
    m_table->clear();
    m_table->setColumnCount(int(header.size()));
    m_table->setRowCount(int(rows.size()));
    m_table->setHorizontalHeaderLabels(header);
    for (int r = 0; r < rows.size(); ++r) {
        for (int c = 0; c < rows.at(r).size(); ++c) {
            auto* item = new QTableWidgetItem(rows.at(r).at(c));
            item->setTextAlignment(c == 0 ? Qt::AlignLeft | Qt::AlignVCenter
                                          : Qt::AlignRight | Qt::AlignVCenter);
            if (r == rows.size() - 1) {
                QFont f = item->font();
                f.setBold(true);
                item->setFont(f);
            }
            m_table->setItem(r, c, item);
        }
    }
    m_table->resizeColumnsToContents();
}
