// SPDX-License-Identifier: Apache-2.0
#include "platform/autostart.h"

#include "common/errorlog.h"

#include <QDir>
#include <QFile>
#include <QSaveFile>
#include <QStringList>

namespace {

QString configHome()
{
    const QString xdg = qEnvironmentVariable("XDG_CONFIG_HOME");
    // The base-directory rules ignore a relative path.
    if (!xdg.isEmpty() && QDir::isAbsolutePath(xdg)) {
        return xdg;
    }
    return QDir::homePath() + QStringLiteral("/.config");
}

QString fileStem(const QString& name)
{
    QString stem;
    for (const QChar c : name) {
        stem += (c.isLetterOrNumber() || c == QLatin1Char('-') || c == QLatin1Char('_') ||
                 c == QLatin1Char('.'))
                    ? c
                    : QLatin1Char('_');
    }
    return stem.isEmpty() ? QStringLiteral("_") : stem;
}

// One argument of an Exec line: quoted, with the characters the quoting reserves escaped,
// then escaped again as a desktop-entry string, and '%' doubled so it is no field code.
QString execArgument(const QString& arg)
{
    QString quoted = QStringLiteral("\"");
    for (const QChar c : arg) {
        if (c == QLatin1Char('"') || c == QLatin1Char('`') || c == QLatin1Char('$') ||
            c == QLatin1Char('\\')) {
            quoted += QLatin1Char('\\');
        }
        quoted += c;
    }
    quoted += QLatin1Char('"');
    QString out;
    for (const QChar c : quoted) {
        if (c == QLatin1Char('\\')) {
            out += QLatin1String("\\\\");
        } else if (c == QLatin1Char('%')) {
            out += QLatin1String("%%");
        } else if (c == QLatin1Char('\n')) {
            out += QLatin1String("\\n");
        } else {
            out += c;
        }
    }
    return out;
}

QString singleLine(QString s)
{
    s.replace(QLatin1Char('\n'), QLatin1Char(' ')).replace(QLatin1Char('\r'), QLatin1Char(' '));
    return s;
}

} // namespace

QString Autostart::entryFile(const QString& name)
{
    return configHome() + QStringLiteral("/autostart/") + fileStem(name) +
           QStringLiteral(".desktop");
}

bool Autostart::setEnabled(const QString& name, const QString& execPath, bool enabled)
{
    const QString file = entryFile(name);
    QDir().mkpath(configHome() + QStringLiteral("/autostart"));
    QString text = QStringLiteral("[Desktop Entry]\nType=Application\n");
    text += QStringLiteral("Name=") + singleLine(name) + QLatin1Char('\n');
    text += QStringLiteral("Exec=") + execArgument(execPath) + QLatin1Char('\n');
    text += QStringLiteral("Terminal=false\n");
    text += enabled ? QStringLiteral("Hidden=false\nX-GNOME-Autostart-enabled=true\n")
                    : QStringLiteral("Hidden=true\nX-GNOME-Autostart-enabled=false\n");
    QSaveFile out(file);
    if (!out.open(QIODevice::WriteOnly) || out.write(text.toUtf8()) < 0 || !out.commit()) {
        ErrorLog::write(QStringLiteral("Autostart"), QStringLiteral("Cannot write ") + file +
                                                         QStringLiteral(": ") + out.errorString());
        return false;
    }
    return true;
}

bool Autostart::isEnabled(const QString& name)
{
    QFile f(entryFile(name));
    if (!f.open(QIODevice::ReadOnly)) {
        return false;
    }
    bool inEntry = false;
    bool hasExec = false;
    const QStringList lines = QString::fromUtf8(f.readAll()).split(QLatin1Char('\n'));
    for (const QString& raw : lines) {
        const QString line = raw.trimmed();
        if (line.startsWith(QLatin1Char('['))) {
            inEntry = line == QLatin1String("[Desktop Entry]");
            continue;
        }
        if (!inEntry) {
            continue;
        }
        const qsizetype eq = line.indexOf(QLatin1Char('='));
        if (eq < 0) {
            continue;
        }
        const QString key = line.left(eq).trimmed();
        const QString value = line.mid(eq + 1).trimmed();
        if (key == QLatin1String("Hidden") && value == QLatin1String("true")) {
            return false;
        }
        if (key == QLatin1String("X-GNOME-Autostart-enabled") && value == QLatin1String("false")) {
            return false;
        }
        if (key == QLatin1String("Exec") && !value.isEmpty()) {
            hasExec = true;
        }
    }
    return hasExec;
}
