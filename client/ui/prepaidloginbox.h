// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/protocol.h"

#include <QGroupBox>

class QLabel;
class QLineEdit;
class QPushButton;
class QRadioButton;

// The lock screen's "Log in" area for prepaid time: a ticket code, or a member id and
// password. What it does with them is AgentController::prepaidLogin's.
class PrepaidLoginBox : public QGroupBox
{
    Q_OBJECT
public:
    explicit PrepaidLoginBox(QWidget* parent = nullptr);

    Proto::PrepaidCredentials credentials() const;
    // The console refused: the password is typed anew, the first field takes the keys.
    void clearPassword();
    void focusFirstField();

Q_SIGNALS:
    void loginRequested();

private:
    void showKind();

    QRadioButton* m_ticket;
    QRadioButton* m_member;
    QLabel* m_codeLabel;
    QLineEdit* m_code;
    QLabel* m_idLabel;
    QLineEdit* m_id;
    QLabel* m_passwordLabel;
    QLineEdit* m_password;
    QPushButton* m_login;
};
