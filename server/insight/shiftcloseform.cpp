// SPDX-License-Identifier: Apache-2.0
#include "server/insight/shiftcloseform.h"

#include "common/prompt.h"

void ShiftCloseForm::load(const QDateTime& now)
{
    m_figures = Shifts::current(m_db, now);
    m_figures.counted = Money::parse(m_counted);
}

QList<QPair<QString, QString>> ShiftCloseForm::lines() const
{
    const Shifts::Figures& f = m_figures;
    return {
        {QStringLiteral("Bills"), QString::number(f.bills)},
        {QStringLiteral("Time"), f.time.toString()},
        {QStringLiteral("Job Work"), f.jobWork.toString()},
        {QStringLiteral("Tickets"), f.tickets.toString()},
        {QStringLiteral("Net by Hand"), f.adjustment.toString()},
        {QStringLiteral("Total Billed"), f.billed().toString()},
        {QStringLiteral("Member Top-ups"), f.topUps.toString()},
        {QStringLiteral("Cash Expected"), f.expected.toString()},
    };
}

void ShiftCloseForm::setCounted(const QString& text)
{
    m_counted = text;
    m_figures.counted = Money::parse(text);
}

QString ShiftCloseForm::differenceText() const
{
    return m_figures.difference().toString();
}

std::optional<Shifts::Shift> ShiftCloseForm::close(const QDateTime& now)
{
    if (!Prompt::yesNo(QStringLiteral("Do you want to Close the Shift"), QStringLiteral("Message"),
                       Prompt::Icon::Question)) {
        return std::nullopt;
    }
    auto closed = Shifts::close(m_db, now, m_operator, Money::parse(m_counted));
    if (!closed) {
        Prompt::message(QStringLiteral("Shift Not Closed"), QStringLiteral("Message"),
                        Prompt::Icon::Critical);
        return std::nullopt;
    }
    m_counted.clear();
    load(now);
    return closed;
}
