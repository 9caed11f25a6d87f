// SPDX-License-Identifier: Apache-2.0
#include "server/core/messagelog.h"

#include "common/clock.h"

void MessageLog::append(const QString& line)
{
    const QDateTime at = Clock::now();
    m_lines.append(line);
    m_times.append(at);
    if (m_lines.size() > MaxLines) {
        m_lines.removeFirst();
        m_times.removeFirst();
    }
    Q_EMIT lineAdded(shown(at, line));
}

QString MessageLog::shown(const QDateTime& at, const QString& line)
{
    return at.toString(QStringLiteral("HH:mm:ss")) + QStringLiteral("  ") + line;
}

QStringList MessageLog::shownLines() const
{
    QStringList out;
    out.reserve(m_lines.size());
    for (qsizetype i = 0; i < m_lines.size(); ++i) {
        out.append(shown(m_times.at(i), m_lines.at(i)));
    }
    return out;
}
