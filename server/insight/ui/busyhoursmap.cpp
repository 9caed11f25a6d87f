// SPDX-License-Identifier: Apache-2.0
#include "server/insight/ui/busyhoursmap.h"

#include <QHelpEvent>
#include <QLocale>
#include <QPainter>
#include <QToolTip>

namespace {

constexpr int LabelWidth = 40;
constexpr int LabelHeight = 18;

} // namespace

BusyHoursMap::BusyHoursMap(QWidget* parent) : QWidget(parent)
{
    setObjectName(QStringLiteral("busyhours"));
    setMinimumSize(LabelWidth + 24 * 12, LabelHeight + 7 * 12);
}

void BusyHoursMap::setHours(const Takings::BusyHours& hours)
{
    m_hours = hours;
    update();
}

QSize BusyHoursMap::sizeHint() const
{
    return {LabelWidth + 24 * 22, LabelHeight + 7 * 22};
}

QRect BusyHoursMap::cellRect(int day, int hour) const
{
    const double w = double(width() - LabelWidth) / 24;
    const double h = double(height() - LabelHeight) / 7;
    const int x0 = LabelWidth + int(hour * w);
    const int y0 = LabelHeight + int(day * h);
    return QRect(x0, y0, LabelWidth + int((hour + 1) * w) - x0,
                 LabelHeight + int((day + 1) * h) - y0);
}

void BusyHoursMap::paintEvent(QPaintEvent*)
{
    QPainter p(this);
    p.fillRect(rect(), palette().base());
    const int peak = m_hours.peak();
    const QColor busiest(0xC0, 0x30, 0x20);
    const QColor idle = palette().base().color();
    for (int d = 0; d < 7; ++d) {
        for (int h = 0; h < 24; ++h) {
            const double share = peak == 0 ? 0 : double(m_hours.sessions[d][h]) / peak;
            const QColor c =
                QColor::fromRgbF(float(idle.redF() + (busiest.redF() - idle.redF()) * share),
                                 float(idle.greenF() + (busiest.greenF() - idle.greenF()) * share),
                                 float(idle.blueF() + (busiest.blueF() - idle.blueF()) * share));
            const QRect r = cellRect(d, h);
            p.fillRect(r, c);
            p.setPen(palette().mid().color());
            p.drawRect(r.adjusted(0, 0, -1, -1));
        }
    }
    p.setPen(palette().text().color());
    const QLocale locale;
    for (int d = 0; d < 7; ++d) {
        const QRect r = cellRect(d, 0);
        p.drawText(QRect(0, r.top(), LabelWidth - 4, r.height()), Qt::AlignRight | Qt::AlignVCenter,
                   locale.dayName(d + 1, QLocale::ShortFormat));
    }
    for (int h = 0; h < 24; h += 3) {
        const QRect r = cellRect(0, h);
        p.drawText(QRect(r.left(), 0, r.width() * 2, LabelHeight), Qt::AlignLeft | Qt::AlignVCenter,
                   QStringLiteral("%1").arg(h, 2, 10, QLatin1Char('0')));
    }
}

bool BusyHoursMap::event(QEvent* event)
{
    if (event->type() == QEvent::ToolTip) {
        const auto* help = static_cast<QHelpEvent*>(event);
        for (int d = 0; d < 7; ++d) {
            for (int h = 0; h < 24; ++h) {
                if (cellRect(d, h).contains(help->pos())) {
                    QToolTip::showText(help->globalPos(),
                                       QStringLiteral("%1 %2:00, %3 sessions in %4 weeks")
                                           .arg(QLocale().dayName(d + 1, QLocale::ShortFormat))
                                           .arg(h, 2, 10, QLatin1Char('0'))
                                           .arg(m_hours.sessions[d][h])
                                           .arg(m_hours.weeks),
                                       this);
                    return true;
                }
            }
        }
        QToolTip::hideText();
        return true;
    }
    return QWidget::event(event);
}
