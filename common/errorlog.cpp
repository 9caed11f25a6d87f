// SPDX-License-Identifier: Apache-2.0
#include "common/errorlog.h"

#include "common/clock.h"

#include <QFile>
#include <QLocale>

#include <cerrno>

void ErrorLog::write(const QString& label, const Error& error)
{
    const QString crlf = QStringLiteral("\r\n");
    const QString record =
        QStringLiteral("Error Occured Date & Time ") +
        QLocale::system().toString(Clock::now(), QLocale::ShortFormat) + crlf +
        QStringLiteral("Error Number: ") + QString::number(error.number) + crlf +
        QStringLiteral("Description: ") + error.description + crlf + QStringLiteral("Source: ") +
        error.source + crlf + QStringLiteral("Calling Form: ") + label + crlf +
        QStringLiteral("Last Dll Error: ") + QString::number(error.lastSystemError) + crlf +
        QStringLiteral("Help Context: 0") + crlf + QStringLiteral("Help File: ") + crlf;
    QFile f(QString::fromLatin1(FileName));
    if (f.open(QIODevice::Append | QIODevice::WriteOnly)) {
        // One write call per record keeps records whole when two processes share the folder.
        f.write(record.toUtf8());
    }
}

void ErrorLog::write(const QString& label, const QString& description, long long number)
{
    Error e;
    e.number = number;
    e.description = description;
    e.lastSystemError = errno;
    write(label, e);
}
