// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

class Database;

// Checks an operator's role and password against the defaults row.
class OperatorLogin
{
public:
    enum class Result
    {
        Administrator,
        Staff,
        WrongPassword,
        UnknownUser
    };

    // The two user names, the administrator's first, as the login window offers them.
    static inline const QString AdminName = QStringLiteral("admin");
    static inline const QString StaffName = QStringLiteral("user");

    explicit OperatorLogin(Database& db) : m_db(db) {}

    // The name counts in capitals ("admin" is the administrator); the password must match
    // exactly. A wrong password is reported with "Invalid Password, try again!", a name that
    // is neither with the two names there are.
    Result check(const QString& userName, const QString& password) const;

private:
    Database& m_db;
};
