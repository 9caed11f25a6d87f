// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDateTime>
#include <QList>
#include <QObject>
#include <QStringList>

// The console's message log: lines appended by the start-up and the connection handling, each
// with the time it was appended (from the settable clock). Only the newest MaxLines are kept,
// so peers that connect and are refused all day cannot grow it.
class MessageLog : public QObject
{
    Q_OBJECT
public:
    static constexpr qsizetype MaxLines = 1000;

    using QObject::QObject;

    void append(const QString& line);
    // The lines as they were said, without their times.
    const QStringList& lines() const { return m_lines; }
    const QList<QDateTime>& times() const { return m_times; }
    // The lines as the console shows them: "HH:mm:ss  " and the line.
    QStringList shownLines() const;
    static QString shown(const QDateTime& at, const QString& line);

Q_SIGNALS:
    // The new line as shown, with its time.
    void lineAdded(const QString& shownLine);

private:
    QStringList m_lines;
    QList<QDateTime> m_times;
};
