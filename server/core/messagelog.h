#pragma once

#include <QObject>
#include <QStringList>

// The console's message log: lines appended by the start-up and the connection handling. Only
// the newest MaxLines are kept, so peers that connect and are refused all day cannot grow it.
class MessageLog : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype MaxLines = 1000;

    using QObject::QObject;

    void append(const QString& line);
    const QStringList& lines() const { return m_lines; }

Q_SIGNALS:
    void lineAdded(const QString& line);

private:
    QStringList m_lines;
};
