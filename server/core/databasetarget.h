// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// Which database a console runs on. Without a database server in its settings, the console
// keeps its own SQLite file; with one, it shares a PostgreSQL database with the other desks
// of the cafe. Read from the settings key RegKey::Database (common/settingsstore.h).
struct DatabaseTarget
{
    enum class Kind
    {
        SQLite,
        PostgreSQL
    };
    // The settings values under RegKey::Database.
    static inline const QString ServerValue = QStringLiteral("server");
    static inline const QString PortValue = QStringLiteral("port");
    static inline const QString NameValue = QStringLiteral("database");
    static inline const QString UserValue = QStringLiteral("user");
    static inline const QString PasswordValue = QStringLiteral("password");
    static inline const QString ServiceValue = QStringLiteral("service");
    static inline const QString DeskValue = QStringLiteral("desk");

    Kind kind = Kind::SQLite;
    QString file; // SQLite: the database file
    // PostgreSQL: a host name, an address or a Unix socket folder; or a libpq service name.
    QString host;
    int port = 5432;
    QString name;
    QString user;
    QString password;
    QString service;
    // This console's name among the desks (the host name when not set).
    QString desk;

    static DatabaseTarget sqlite(const QString& file);
    // From the settings file (empty: the programs' usual one); `defaultFile` when no server
    // or service is named.
    static DatabaseTarget fromSettings(const QString& defaultFile,
                                       const QString& settingsFile = {});
    void save(const QString& settingsFile = {}) const;

    bool isShared() const { return kind == Kind::PostgreSQL; }
    // For logs, title bars and messages: never the password.
    QString describe() const;
};
