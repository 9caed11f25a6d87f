#include "server/core/messagelog.h"

void MessageLog::append(const QString& line)
{
    m_lines.append(line);
    if (m_lines.size() > MaxLines) {
        m_lines.removeFirst();
    }
    Q_EMIT lineAdded(line);
}
