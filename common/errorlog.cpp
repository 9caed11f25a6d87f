// SPDX-License-Identifier: Apache-2.0
#include "common/errorlog.h"

#include "common/clock.h"

#include <QDir>
#include <QFile>
#include <QLocale>
#include <QMutex>
#include <QRegularExpression>

#include <cerrno>

namespace {

const QString Crlf = QStringLiteral("\r\n");

QString timeText(const QDateTime& t)
{
    return QLocale::system().toString(t, QLocale::ShortFormat);
}

void append(const QString& path, const QString& text)
{
    QFile f(path);
    if (f.open(QIODevice::Append | QIODevice::WriteOnly)) {
        // One write call per record keeps records whole when two processes share the folder.
        f.write(text.toUtf8());
    }
}

// What a process has recently written to one log file. A fault that repeats (a connection
// failing a hundred times a second) is one record and a count, and however many different
// faults come, the file grows by at most RecordsPerHour records an hour.
class Recent
{
public:
    ~Recent() { settle(); }

    void write(const QString& path, const QString& key, const QString& record, const QDateTime& now)
    {
        const QMutexLocker lock(&m_mutex);
        if (path != m_path) {
            settle();
            restart(path, now);
        }
        if (!m_key.isEmpty() && key == m_key) {
            ++m_repeats;
            m_lastRepeat = now;
            // A fault that never stops still shows in the log now and then.
            if (m_repeatsSince.secsTo(now) >= ErrorLog::RepeatReportSecs) {
                settleRepeats();
                m_repeatsSince = now;
            }
            return;
        }
        settleRepeats();
        if (m_hourStart.secsTo(now) >= 3600 || now < m_hourStart) {
            settleHeld();
            m_hourStart = now;
            m_written = 0;
        }
        if (m_written >= ErrorLog::RecordsPerHour) {
            ++m_held;
            m_key.clear();
            return;
        }
        ++m_written;
        m_key = key;
        m_repeatsSince = now;
        append(m_path, record);
    }

private:
    void restart(const QString& path, const QDateTime& now)
    {
        m_path = path;
        m_key.clear();
        m_hourStart = now;
        m_written = 0;
    }

    void settle()
    {
        settleRepeats();
        settleHeld();
    }
    void settleRepeats()
    {
        if (m_repeats > 0) {
            const QString count = m_repeats == 1 ? QStringLiteral("once more")
                                                 : QStringLiteral("%1 more times").arg(m_repeats);
            append(
                m_path,
                QStringLiteral("(repeated %1, the last at %2)").arg(count, timeText(m_lastRepeat)) +
                    Crlf);
            m_repeats = 0;
        }
    }
    void settleHeld()
    {
        if (m_held > 0) {
            append(m_path,
                   QStringLiteral("(%1 further errors within the hour not recorded)").arg(m_held) +
                       Crlf);
            m_held = 0;
        }
    }

    QMutex m_mutex;
    QString m_path;
    QString m_key;
    qint64 m_repeats = 0;
    QDateTime m_lastRepeat;
    QDateTime m_repeatsSince;
    QDateTime m_hourStart;
    int m_written = 0;
    qint64 m_held = 0;
};

Recent& recent()
{
    static Recent r;
    return r;
}

// The same fault whichever connection, port or count it names.
QString faultKey(const QString& label, const ErrorLog::Error& e)
{
    static const QRegularExpression digits(QStringLiteral("\\d+"));
    QString description = e.description;
    description.replace(digits, QStringLiteral("#"));
    return label + u'\n' + QString::number(e.number) + u'\n' + e.source + u'\n' + description;
}

} // namespace

void ErrorLog::write(const QString& label, const Error& error)
{
    const QDateTime now = Clock::now();
    const QString record =
        QStringLiteral("Error Occured Date & Time ") + timeText(now) + Crlf +
        QStringLiteral("Error Number: ") + QString::number(error.number) + Crlf +
        QStringLiteral("Description: ") + error.description + Crlf + QStringLiteral("Source: ") +
        error.source + Crlf + QStringLiteral("Calling Form: ") + label + Crlf +
        QStringLiteral("Last Dll Error: ") + QString::number(error.lastSystemError) + Crlf +
        QStringLiteral("Help Context: 0") + Crlf + QStringLiteral("Help File: ") + Crlf;
    recent().write(QDir::current().absoluteFilePath(QString::fromLatin1(FileName)),
                   faultKey(label, error), record, now);
}

void ErrorLog::write(const QString& label, const QString& description, long long number)
{
    Error e;
    e.number = number;
    e.description = description;
    e.lastSystemError = errno;
    write(label, e);
}
