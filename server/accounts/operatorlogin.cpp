#include "server/accounts/operatorlogin.h"

#include "common/prompt.h"
#include "server/core/database.h"

OperatorLogin::Result OperatorLogin::check(const QString& userName, const QString& password) const
{
    const QString name = userName.toUpper();
    QString column;
    Result success = Result::UnknownUser;
    if (name == QLatin1String("ADMIN")) {
        column = QStringLiteral("admin");
        success = Result::Administrator;
    } else if (name == QLatin1String("USER")) {
        column = QStringLiteral("user");
        success = Result::Staff;
    } else {
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
