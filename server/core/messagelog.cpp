#include "server/core/messagelog.h"

void MessageLog::append(const QString& line)
{
    m_lines.append(line);
    Q_EMIT lineAdded(line);
}
