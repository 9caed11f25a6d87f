// SPDX-License-Identifier: Apache-2.0
#include "common/paths.h"

#include <QDir>
#include <QStandardPaths>

namespace {

QString homeOverride()
{
    return qEnvironmentVariable("VANTIROKIT_HOME");
}

QString ensure(const QString& dir)
{
    QDir().mkpath(dir);
    return dir;
}

} // namespace

QString Paths::settingsDir()
{
    const QString home = homeOverride();
    if (!home.isEmpty()) {
        return ensure(home);
    }
    return ensure(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
                  QStringLiteral("/vantirokit"));
}

QString Paths::settingsFile()
{
    return settingsDir() + QStringLiteral("/vantirokit.conf");
}

QString Paths::dataDir()
{
    const QString home = homeOverride();
    if (!home.isEmpty()) {
        return ensure(home);
    }
    return ensure(QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation) +
                  QStringLiteral("/vantirokit"));
}

QString Paths::databaseFile()
{
    return dataDir() + QStringLiteral("/server.db");
}

QString Paths::defaultExportDir()
{
    return QDir::tempPath();
}
