// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/accounts/operatorlogin.h"

#include <QDialog>

class Database;
class QComboBox;
class QLineEdit;

// "Login": switches the console between the administrator's and the staff's rights.
class FrmLogin : public QDialog
{
    Q_OBJECT
public:
    explicit FrmLogin(Database& db, QWidget* parent = nullptr);

Q_SIGNALS:
    // After a successful login: true for the administrator, false for the staff.
    void adminChanged(bool admin);

private:
    void tryLogin();

    OperatorLogin m_login;
    QComboBox* m_users = nullptr;
    // The combo's own line.
    QLineEdit* m_user = nullptr;
    QLineEdit* m_password = nullptr;
};
