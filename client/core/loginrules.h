// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QString>

class AgentSettings;

// The rules of the lock screen's options panel and of the warning window's details, on the
// settings alone. The windows only pass what the customer typed and act on the answer.
class LoginRules
{
public:
    static inline const QString EmptyPasswordMessage =
        QStringLiteral("Please enter Password. Password can't be empty !");
    static inline const QString NoSurfTimeMessage = QStringLiteral("Please enter The Surfing Time");

    enum class Action
    {
        AskPassword,
        CheckPassword,
        LocalLogin
    };
    struct Decision
    {
        Action action = Action::LocalLogin;
        QString caption;    // a message for the caption line, when there is one
        QByteArray message; // what goes to the console
    };

    explicit LoginRules(AgentSettings& settings) : m_settings(settings) {}

    // Login on the lock screen. Stores the automatic-logout choice and, when typed, the surf
    // time, unless the password is missing.
    Decision login(const QString& surfText, bool autoChecked, bool passwordShown,
                   const QString& password);
    // The password as it goes to the console, without the blanks around it.
    static QByteArray passwordMessage(const QString& password);

    // The auto-logoff box was ticked; false when it has to be cleared (no surf time given).
    static bool autoLogoffAllowed(const QString& surfText) { return !surfText.isEmpty(); }

    // Warning window: a typed surf time is kept only when it is above the minutes used.
    bool warningSurfChanged(const QString& text, qint64 elapsedMinutes);
    // Warning window's box: false when it has to be cleared again; stores the choice otherwise.
    bool warningAutoToggled(bool checked, const QString& surfText);

    // Surf-time fields take digits and Backspace only.
    static bool surfKeyAllowed(QChar c, bool isBackspace)
    {
        return isBackspace || (c >= u'0' && c <= u'9');
    }

private:
    AgentSettings& m_settings;
};
