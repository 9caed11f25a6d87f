// SPDX-License-Identifier: Apache-2.0
#include "server/insight/takingsview.h"

namespace {

const QStringList Kinds{QStringLiteral("Job Work"), QStringLiteral("Tickets"),
                        QStringLiteral("Net by Hand"), QStringLiteral("Top-ups")};

bool hasTakings(const Takings::Bucket& b)
{
    return b.bills > 0 || !b.topUps.isZero();
}

} // namespace

void TakingsView::refresh(const QDateTime& now)
{
    const QDate d = m_date.isValid() ? m_date : now.date();
    m_period = m_span == Span::Day ? Takings::day(m_db, d) : Takings::month(m_db, d);
    m_busy = Takings::busyHours(m_db, m_weeks, now);
}

QStringList TakingsView::seriesNames() const
{
    return m_period.categories + Kinds;
}

QList<QList<Money>> TakingsView::series() const
{
    QList<QList<Money>> out;
    for (const QString& c : m_period.categories) {
        QList<Money> s;
        for (const Takings::Bucket& b : m_period.buckets) {
            s.append(b.timeByCategory.value(c));
        }
        out.append(s);
    }
    const Money Takings::Bucket::*const kinds[] = {
        &Takings::Bucket::jobWork, &Takings::Bucket::tickets, &Takings::Bucket::adjustment,
        &Takings::Bucket::topUps};
    for (const auto kind : kinds) {
        QList<Money> s;
        for (const Takings::Bucket& b : m_period.buckets) {
            s.append(b.*kind);
        }
        out.append(s);
    }
    return out;
}

QStringList TakingsView::bucketLabels() const
{
    QStringList out;
    for (const Takings::Bucket& b : m_period.buckets) {
        out << (m_span == Span::Day ? b.start.toString(QStringLiteral("HH"))
                                    : QString::number(b.start.date().day()));
    }
    return out;
}

QStringList TakingsView::header() const
{
    return QStringList{m_span == Span::Day ? QStringLiteral("Hour") : QStringLiteral("Day")} +
           m_period.categories + Kinds.mid(0, 3) +
           QStringList{QStringLiteral("Billed"), Kinds.at(3), QStringLiteral("Received")};
}

QStringList TakingsView::row(const QString& label, const Takings::Bucket& b) const
{
    QStringList cells{label};
    for (const QString& c : m_period.categories) {
        cells << b.timeByCategory.value(c).toString();
    }
    cells << b.jobWork.toString() << b.tickets.toString() << b.adjustment.toString()
          << b.billed().toString() << b.topUps.toString() << b.received.toString();
    return cells;
}

QList<QStringList> TakingsView::rows() const
{
    QList<QStringList> out;
    const QStringList labels = bucketLabels();
    for (int i = 0; i < m_period.buckets.size(); ++i) {
        if (hasTakings(m_period.buckets.at(i))) {
            out << row(m_span == Span::Day
                           ? labels.at(i) + QStringLiteral(":00")
                           : m_period.buckets.at(i).start.toString(QStringLiteral("ddd d")),
                       m_period.buckets.at(i));
        }
    }
    out << row(QStringLiteral("Total"), m_period.total);
    return out;
}
