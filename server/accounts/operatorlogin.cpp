// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/operatorlogin.h"

#include "common/prompt.h"
#include "server/core/database.h"

OperatorLogin::Result OperatorLogin::check(const QString& userName, const QString& password) const
{
    const QString name = userName.toUpper();
    QString column;
    Result success = Result::UnknownUser;
    if (name == AdminName.toUpper()) {
        column = QStringLiteral("admin");
        success = Result::Administrator;
    } else if (name == StaffName.toUpper()) {
        column = QStringLiteral("\"user\"");
        success = Result::Staff;
    } else {
        const QString names = QStringLiteral("%1 for the administrator or %2 for the staff.")
                                  .arg(AdminName, StaffName);
        Prompt::message(
            userName.isEmpty()
                ? QStringLiteral("Enter a user name: ") + names
                : QStringLiteral("There is no user named \"%1\". Enter ").arg(userName) + names,
            QStringLiteral("Login"), Prompt::Icon::Exclamation);
        return Result::UnknownUser;
    }
    const QVariant stored =
        m_db.scalar(QStringLiteral("SELECT ") + column + QStringLiteral(" FROM defalt LIMIT 1"), {},
                    QStringLiteral("frmLogin cmdOK"));
    // A never-set password reads as empty: only an empty password matches it. When the row
    // cannot be read at all nobody gets in.
    if (stored.isValid() && stored.toString() == password) {
        return success;
    }
    Prompt::message(QStringLiteral("Invalid Password, try again!"), QStringLiteral("Login"),
                    Prompt::Icon::None);
    return Result::WrongPassword;
}
