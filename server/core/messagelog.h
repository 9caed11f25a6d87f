#pragma once

#include <QObject>
#include <QStringList>

// The console's message log: lines appended by the start-up and the connection handling,
// never cleared during a run.
class MessageLog : public QObject
{
    Q_OBJECT
public:
    using QObject::QObject;

    void append(const QString& line);
    const QStringList& lines() const { return m_lines; }

Q_SIGNALS:
    void lineAdded(const QString& line);

private:
    QStringList m_lines;
};
