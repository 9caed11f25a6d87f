// SPDX-License-Identifier: Apache-2.0
#include "client/ui/prepaidloginbox.h"

#include "client/controls/xpcmdbutton.h"

#include <QGridLayout>
#include <QLabel>
#include <QLineEdit>
#include <QRadioButton>

PrepaidLoginBox::PrepaidLoginBox(QWidget* parent) : QGroupBox(QStringLiteral("Log in"), parent)
{
    setObjectName(QStringLiteral("prepaidlogin"));
    setAutoFillBackground(true);
    QPalette p = palette();
    p.setColor(QPalette::Window, QColor(236, 233, 216));
    p.setColor(QPalette::WindowText, Qt::black);
    setPalette(p);

    m_ticket = new QRadioButton(QStringLiteral("&Ticket"), this);
    m_ticket->setObjectName(QStringLiteral("opttticket"));
    m_ticket->setChecked(true);
    m_member = new QRadioButton(QStringLiteral("&Member"), this);
    m_member->setObjectName(QStringLiteral("optmember"));
    // A field longer than the console accepts is refused before sending; the limit here only
    // keeps the typing within reach of that refusal.
    const int most = Proto::MaxCredentialLength + 1;
    m_codeLabel = new QLabel(QStringLiteral("&Code"), this);
    m_code = new QLineEdit(this);
    m_code->setObjectName(QStringLiteral("txtticketcode"));
    m_code->setMaxLength(most);
    m_codeLabel->setBuddy(m_code);
    m_idLabel = new QLabel(QStringLiteral("Member &Id"), this);
    m_id = new QLineEdit(this);
    m_id->setObjectName(QStringLiteral("txtmemberid"));
    m_id->setMaxLength(most);
    m_idLabel->setBuddy(m_id);
    m_passwordLabel = new QLabel(QStringLiteral("Pass&word"), this);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("txtmemberpassword"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(most);
    m_passwordLabel->setBuddy(m_password);
    m_login = new XpCmdButton(QStringLiteral("Log in"), this);
    m_login->setObjectName(QStringLiteral("cmdprepaidlogin"));

    auto* g = new QGridLayout(this);
    g->addWidget(m_ticket, 0, 0);
    g->addWidget(m_member, 0, 1);
    g->addWidget(m_codeLabel, 1, 0);
    g->addWidget(m_code, 1, 1);
    g->addWidget(m_idLabel, 2, 0);
    g->addWidget(m_id, 2, 1);
    g->addWidget(m_passwordLabel, 3, 0);
    g->addWidget(m_password, 3, 1);
    g->addWidget(m_login, 4, 1, Qt::AlignRight);
    setFixedWidth(420);

    connect(m_ticket, &QRadioButton::toggled, this, &PrepaidLoginBox::showKind);
    connect(m_login, &QPushButton::clicked, this, &PrepaidLoginBox::loginRequested);
    for (QLineEdit* field : {m_code, m_id, m_password}) {
        // The lock screen offers nothing but typing: a menu key opening the field's menu
        // would leave it open over the lock, taking the keys meant for the fields.
        field->setContextMenuPolicy(Qt::NoContextMenu);
        connect(field, &QLineEdit::returnPressed, this, &PrepaidLoginBox::loginRequested);
    }
    showKind();
}

void PrepaidLoginBox::showKind()
{
    const bool ticket = m_ticket->isChecked();
    m_codeLabel->setVisible(ticket);
    m_code->setVisible(ticket);
    for (QWidget* w : {static_cast<QWidget*>(m_idLabel), static_cast<QWidget*>(m_id),
                       static_cast<QWidget*>(m_passwordLabel), static_cast<QWidget*>(m_password)}) {
        w->setVisible(!ticket);
    }
    focusFirstField();
}

Proto::PrepaidCredentials PrepaidLoginBox::credentials() const
{
    if (m_ticket->isChecked()) {
        return {Proto::PrepaidCredentials::Kind::Ticket, m_code->text(), QString()};
    }
    return {Proto::PrepaidCredentials::Kind::Member, m_id->text(), m_password->text()};
}

void PrepaidLoginBox::clearPassword()
{
    m_password->clear();
    focusFirstField();
}

void PrepaidLoginBox::focusFirstField()
{
    QLineEdit* first = m_ticket->isChecked() ? m_code : m_id;
    first->setFocus();
    first->selectAll();
}
