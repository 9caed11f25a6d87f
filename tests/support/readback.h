// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QFile>
#include <QProcess>
#include <QStandardPaths>
#include <QStringList>

// Reading back what the console wrote: a file's bytes, and the text an independent program
// (sqlite3, pdftotext, unrtf) gets out of it.
namespace ReadBack {

// The file's bytes; empty when it cannot be read.
inline QByteArray bytes(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

inline bool installed(const char* program)
{
    return !QStandardPaths::findExecutable(QString::fromLatin1(program)).isEmpty();
}

// The program's output, or "<failed: ...>" when it fails or is not installed, so that a
// comparison shows why (tools/deps.sh installs every reader: a check is never left out).
inline QString run(const char* program, const QStringList& args)
{
    const QString path = QStandardPaths::findExecutable(QString::fromLatin1(program));
    if (path.isEmpty()) {
        return QStringLiteral("<failed: %1 is not installed>").arg(QString::fromLatin1(program));
    }
    QProcess p;
    p.start(path, args);
    if (!p.waitForFinished(60000) || p.exitCode() != 0) {
        return QStringLiteral("<failed: %1>").arg(QString::fromLocal8Bit(p.readAllStandardError()));
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

} // namespace ReadBack
