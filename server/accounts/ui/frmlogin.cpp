#include "server/accounts/ui/frmlogin.h"

#include "server/accounts/ui/formhelpers.h"

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
    m_user = new QLineEdit(this);
    m_user->setObjectName(QStringLiteral("txtUserName"));
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("txtPassword"));
    m_password->setEchoMode(QLineEdit::Password);
    auto* userLabel = new QLabel(QStringLiteral("&User Name:"), this);
    userLabel->setBuddy(m_user);
    auto* passwordLabel = new QLabel(QStringLiteral("&Password:"), this);
    passwordLabel->setBuddy(m_password);
    auto* form = new QFormLayout;
    form->addRow(userLabel, m_user);
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
        break;
    }
}
