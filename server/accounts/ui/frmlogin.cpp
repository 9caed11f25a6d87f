// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/ui/frmlogin.h"

#include "server/accounts/ui/formhelpers.h"

#include <QComboBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QVBoxLayout>

FrmLogin::FrmLogin(Database& db, QWidget* parent) : QDialog(parent), m_login(db)
{
    setObjectName(QStringLiteral("frmLogin"));
    setWindowTitle(QStringLiteral("Login"));
    // The two names to pick from, or to type: nobody has to know them from the help.
    m_users = new QComboBox(this);
    m_users->setObjectName(QStringLiteral("cmbUserName"));
    m_users->setEditable(true);
    m_users->setInsertPolicy(QComboBox::NoInsert);
    m_users->addItems({OperatorLogin::AdminName, OperatorLogin::StaffName});
    m_users->setItemData(0, QStringLiteral("The administrator"), Qt::ToolTipRole);
    m_users->setItemData(1, QStringLiteral("The staff"), Qt::ToolTipRole);
    m_users->setCurrentIndex(-1);
    m_user = m_users->lineEdit();
    m_user->setObjectName(QStringLiteral("txtUserName"));
    m_user->setPlaceholderText(
        QStringLiteral("%1 or %2").arg(OperatorLogin::AdminName, OperatorLogin::StaffName));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("txtPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    auto* userLabel = new QLabel(QStringLiteral("&User Name:"), this);
    userLabel->setBuddy(m_users);
    auto* passwordLabel = new QLabel(QStringLiteral("&Password:"), this);
    passwordLabel->setBuddy(m_password);
    auto* form = new QFormLayout;
    form->addRow(userLabel, m_users);
    form->addRow(passwordLabel, m_password);

    auto* ok = new QPushButton(QStringLiteral("OK"), this);
    ok->setObjectName(QStringLiteral("cmdOK"));
    auto* cancel = new QPushButton(QStringLiteral("Cancel"), this);
    cancel->setObjectName(QStringLiteral("cmdCancel"));
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(ok);
    buttons->addWidget(cancel);
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addLayout(buttons);
    FormHelpers::noDefaultButtons(this);
    ok->setDefault(true);

    connect(ok, &QPushButton::clicked, this, &FrmLogin::tryLogin);
    connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

void FrmLogin::tryLogin()
{
    switch (m_login.check(m_user->text(), m_password->text())) {
    case OperatorLogin::Result::Administrator:
        Q_EMIT adminChanged(true);
        accept();
        break;
    case OperatorLogin::Result::Staff:
        Q_EMIT adminChanged(false);
        accept();
        break;
    case OperatorLogin::Result::WrongPassword:
        m_password->setFocus();
        m_password->selectAll();
        break;
    case OperatorLogin::Result::UnknownUser:
        m_user->setFocus();
        m_user->selectAll();
        break;
    }
}
