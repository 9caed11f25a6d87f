// SPDX-License-Identifier: Apache-2.0
#include "client/ui/frmconnection.h"

#include "client/controls/xpcmdbutton.h"
#include "client/core/agentcontroller.h"
#include "client/core/connectionrules.h"
#include "client/ui/digitfilter.h"
#include "common/ui/numericinput.h"

#include <QFocusEvent>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QTimer>
#include <QVBoxLayout>

FrmConnection::FrmConnection(AgentController& controller, QWidget* parent)
    : QDialog(parent), m_controller(controller)
{
    setObjectName(QStringLiteral("frmConnection"));
    setWindowTitle(QStringLiteral("Connection Properties "));
    setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowStaysOnTopHint);

    m_address = new QLineEdit(this);
    m_address->setObjectName(QStringLiteral("txtRemotecmp"));
    m_address->installEventFilter(new KeyFilter(KeyFilter::Kind::Address, m_address));
    NumericInput::install(m_address, NumericInput::Kind::Address);
    m_address->installEventFilter(this);
    m_name = new QLineEdit(this);
    m_name->setObjectName(QStringLiteral("txtcname"));
    m_port = new QLineEdit(this);
    m_port->setObjectName(QStringLiteral("txtport"));
    m_port->installEventFilter(this);
    m_status = new QLabel(this);
    m_status->setObjectName(QStringLiteral("lblstatus"));
    m_connect = new XpCmdButton(QStringLiteral("&Connect"), this);
    m_connect->setObjectName(QStringLiteral("cmdConnect"));
    m_connect->setDefault(true);
    m_cancel = new XpCmdButton(QStringLiteral("E&xit"), this);
    m_cancel->setObjectName(QStringLiteral("cmdcancel"));

    auto* form = new QFormLayout;
    form->addRow(QStringLiteral("Server IP Address:"), m_address);
    form->addRow(QStringLiteral("This Computer Identification Name :"), m_name);
    form->addRow(QStringLiteral("Port :"), m_port);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_connect);
    buttons->addWidget(m_cancel);
    auto* top = new QVBoxLayout(this);
    top->addLayout(form);
    top->addWidget(m_status);
    top->addLayout(buttons);

    connect(m_address, &QLineEdit::textChanged, this, [this](const QString& t) {
        m_connect->setEnabled(ConnectionRules::connectEnabled(t));
    });
    connect(m_name, &QLineEdit::textChanged, this, [this](const QString& t) {
        m_connect->setEnabled(ConnectionRules::connectEnabled(t));
    });
    connect(m_connect, &QPushButton::clicked, this, &FrmConnection::connectClicked);
    connect(m_cancel, &QPushButton::clicked, this, &FrmConnection::cancelClicked);
    loadFields();
}

void FrmConnection::loadFields()
{
    m_name->setText(m_controller.fieldName());
    m_port->setText(m_controller.fieldPort());
    m_address->setText(m_controller.fieldAddress());
    m_connect->setEnabled(!m_address->text().isEmpty());
}

void FrmConnection::setHideMode(bool hide)
{
    m_cancel->setText(hide ? QStringLiteral("&Hide") : QStringLiteral("E&xit"));
}

void FrmConnection::setStatus(const QString& text)
{
    m_status->setText(text);
}

void FrmConnection::focusAddress()
{
    m_address->setFocus();
}

void FrmConnection::pushFields()
{
    m_controller.setFields(m_address->text(), m_name->text(), m_port->text());
}

void FrmConnection::connectClicked()
{
    pushFields();
    m_controller.connectPressed();
}

void FrmConnection::cancelClicked()
{
    if (m_cancel->text() == QLatin1String("E&xit")) {
        Q_EMIT exitRequested();
    } else {
        m_controller.hideDialog();
    }
}

void FrmConnection::reject()
{
    // Escape or the close box hide a dialog opened from the settings; they never end the
    // agent, which only the Exit button does.
    if (m_cancel->text() != QLatin1String("E&xit")) {
        m_controller.hideDialog();
    }
}

bool FrmConnection::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_address && event->type() == QEvent::FocusIn && m_address->text().isEmpty()) {
        m_connect->setEnabled(false);
    }
    if (watched == m_port && event->type() == QEvent::FocusOut &&
        !ConnectionRules::portAcceptable(m_port->text())) {
        // Leaving the port field is refused while it is not a port number.
        QTimer::singleShot(0, m_port, [p = m_port] { p->setFocus(); });
    }
    return QDialog::eventFilter(watched, event);
}
