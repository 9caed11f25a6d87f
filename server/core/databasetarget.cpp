// SPDX-License-Identifier: Apache-2.0
#include "server/core/databasetarget.h"

#include "common/settingsstore.h"

#include <QSysInfo>

namespace {

// A value of the database key; empty when it is missing.
QString readSetting(const SettingsStore& store, const QString& name)
{
    const QString v = store.readValue(RegKey::Database, name);
    return v == SettingsStore::Error ? QString() : v.trimmed();
}

} // namespace

DatabaseTarget DatabaseTarget::sqlite(const QString& file)
{
    DatabaseTarget t;
    t.kind = Kind::SQLite;
    t.file = file;
    t.desk = QSysInfo::machineHostName();
    return t;
}

DatabaseTarget DatabaseTarget::fromSettings(const QString& defaultFile, const QString& settingsFile)
{
    const SettingsStore store(settingsFile);
    DatabaseTarget t = sqlite(defaultFile);
    const QString desk = readSetting(store, DeskValue);
    if (!desk.isEmpty()) {
        t.desk = desk;
    }
    t.host = readSetting(store, ServerValue);
    t.service = readSetting(store, ServiceValue);
    if (t.host.isEmpty() && t.service.isEmpty()) {
        return t;
    }
    t.kind = Kind::PostgreSQL;
    t.file.clear();
    bool ok = false;
    const int port = readSetting(store, PortValue).toInt(&ok);
    if (ok && port > 0 && port < 65536) {
        t.port = port;
    }
    t.name = readSetting(store, NameValue);
    t.user = readSetting(store, UserValue);
    // A password may begin or end with blanks: read as written.
    const QString password = store.readValue(RegKey::Database, PasswordValue);
    t.password = password == SettingsStore::Error ? QString() : password;
    return t;
}

void DatabaseTarget::save(const QString& settingsFile) const
{
    SettingsStore store(settingsFile);
    store.createKey(RegKey::Database);
    const bool shared = isShared();
    store.writeValue(RegKey::Database, ServerValue, shared ? host : QString());
    store.writeValue(RegKey::Database, PortValue, QString::number(port));
    store.writeValue(RegKey::Database, NameValue, shared ? name : QString());
    store.writeValue(RegKey::Database, UserValue, shared ? user : QString());
    store.writeValue(RegKey::Database, PasswordValue, shared ? password : QString());
    store.writeValue(RegKey::Database, ServiceValue, shared ? service : QString());
    store.writeValue(RegKey::Database, DeskValue, desk);
}

QString DatabaseTarget::describe() const
{
    if (!isShared()) {
        return file;
    }
    if (!service.isEmpty()) {
        return QStringLiteral("PostgreSQL service %1").arg(service);
    }
    QString who = user.isEmpty() ? QString() : user + QLatin1Char('@');
    return QStringLiteral("PostgreSQL %1%2:%3/%4").arg(who, host, QString::number(port), name);
}
