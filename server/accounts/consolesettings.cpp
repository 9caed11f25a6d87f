// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/consolesettings.h"

#include "common/paths.h"

ConsoleSettings::ConsoleSettings(const QString& settingsFile) : m_store(settingsFile) {}

QString ConsoleSettings::read(const QString& name) const
{
    const QString v = m_store.readValue(RegKey::Options, name);
    return v == SettingsStore::Error ? QString() : v;
}

void ConsoleSettings::write(const QString& name, const QString& text)
{
    m_store.createKey(RegKey::Options);
    m_store.writeValue(RegKey::Options, name, text);
}

QString ConsoleSettings::exportFolder() const
{
    const QString folder = read(ExportFolderValue).trimmed();
    return folder.isEmpty() ? Paths::defaultExportDir() : folder;
}

void ConsoleSettings::setExportFolder(const QString& folder)
{
    write(ExportFolderValue, folder);
}

QString ConsoleSettings::cafeName() const
{
    return read(CafeNameValue);
}

void ConsoleSettings::setCafeName(const QString& text)
{
    write(CafeNameValue, text);
}

QString ConsoleSettings::cafeAddress1() const
{
    return read(CafeAddress1Value);
}

void ConsoleSettings::setCafeAddress1(const QString& text)
{
    write(CafeAddress1Value, text);
}

QString ConsoleSettings::cafeAddress2() const
{
    return read(CafeAddress2Value);
}

void ConsoleSettings::setCafeAddress2(const QString& text)
{
    write(CafeAddress2Value, text);
}

Money ConsoleSettings::prepaidMinimum() const
{
    return Money::parse(read(PrepaidMinimumValue).trimmed());
}

void ConsoleSettings::setPrepaidMinimum(Money amount)
{
    write(PrepaidMinimumValue, amount.toString());
}
