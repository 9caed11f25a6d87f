// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// The programs' local settings: text values under key paths such as
// "HKEY_LOCAL_MACHINE\SOFTWARE\Vantirokit\Options", kept in one human-readable file
// (Paths::settingsFile() unless told otherwise). Key paths and value names compare without
// regard to case; values are kept byte-exact. Each call reads or rewrites the file afresh,
// so a change by another process is seen at once and none is lost.
class SettingsStore
{
public:
    static inline const QString Error = QStringLiteral("Error");
    static constexpr int MaxValueLength = 254;

    // The file used by the default store.
    explicit SettingsStore(QString file = {});

    // The value's text; "Error" when the key or value does not exist or the value is longer
    // than 254 characters; empty text when the root name is not one of the seven. A path that
    // does not begin with "HKEY_" or ends with a backslash is shown as "Incorrect Format:" and
    // does nothing in every operation.
    QString readValue(const QString& keyPath, const QString& valueName) const;
    // Creates the key and its parents; an existing key stays unchanged.
    void createKey(const QString& keyPath);
    // Writes into an existing key only; a missing key is not created here.
    void writeValue(const QString& keyPath, const QString& valueName, const QString& text);
    bool keyExists(const QString& keyPath) const;

    QString fileName() const { return m_file; }

private:
    QString m_file;
};

// The product's key paths.
namespace RegKey {
inline const QString Product = QStringLiteral("HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit");
inline const QString Options = Product + QStringLiteral("\\Options");
inline const QString Server = Product + QStringLiteral("\\Server");
inline const QString AgentOptions = Product + QStringLiteral("\\options");
inline const QString LoginTime = Product + QStringLiteral("\\logintime");
inline const QString Time = Product + QStringLiteral("\\Time");
inline const QString Screen = Product + QStringLiteral("\\vkscreen");
inline const QString Picture = Product + QStringLiteral("\\vkscreen\\vkpicture");
inline const QString Password = Product + QStringLiteral("\\password");
inline const QString Advertisement = Product + QStringLiteral("\\advertisment");
// Operating-system overrides of this installation (the power command).
inline const QString Platform = Product + QStringLiteral("\\Platform");
// The database a console runs on (see server/core/databasetarget.h).
inline const QString Database = Product + QStringLiteral("\\Database");
} // namespace RegKey
