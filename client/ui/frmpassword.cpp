// SPDX-License-Identifier: Apache-2.0
#include "client/ui/frmpassword.h"

#include "client/controls/xpcmdbutton.h"
#include "client/core/staffsettings.h"
#include "client/ui/frmsettings.h"
#include "common/prompt.h"

#include <QGridLayout>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

FrmPassword::FrmPassword(AgentSettings& settings, QWidget* parent, Purpose purpose)
    : QDialog(parent), m_settings(settings), m_purpose(purpose)
{
    setObjectName(QStringLiteral("frmpassword"));
    setWindowTitle(QStringLiteral("Password"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setMouseTracking(true);
    setMinimumWidth(380);

    QString ask = QStringLiteral("Enable Configration Utility, Please Enter Valid Password");
    if (purpose == Purpose::FreeWorkstation)
        ask =
            QStringLiteral("Free this workstation without a session, Please Enter Valid Password");
    else if (purpose == Purpose::EndAgent)
        ask = QStringLiteral("End the client program, Please Enter Valid Password");
    auto* line = new QLabel(ask, this);
    line->setWordWrap(true);
    m_wait = new QLabel(this);
    m_wait->setObjectName(QStringLiteral("lblwait"));
    m_wait->setWordWrap(true);
    m_wait->hide();
    auto* label = new QLabel(QStringLiteral("&Password"), this);
    m_password = new QLineEdit(this);
    m_password->setObjectName(QStringLiteral("txtpsw"));
    m_password->setEchoMode(QLineEdit::Password);
    m_password->setMaxLength(StaffSettings::MaxPasswordLength);
    label->setBuddy(m_password);
    m_ok = new XpCmdButton(QStringLiteral("Ok"), this);
    m_ok->setObjectName(QStringLiteral("btnok"));
    m_cancel = new XpCmdButton(QStringLiteral("Cancel"), this);
    m_cancel->setObjectName(QStringLiteral("btncancel"));
    for (XpCmdButton* b : {m_ok, m_cancel})
        b->setMinimumSize(80, 26);

    auto* grid = new QGridLayout(this);
    grid->addWidget(line, 0, 0, 1, 2);
    grid->addWidget(label, 1, 0);
    grid->addWidget(m_password, 1, 1);
    auto* buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(m_ok);
    buttons->addWidget(m_cancel);
    grid->addWidget(m_wait, 2, 0, 1, 2);
    grid->addLayout(buttons, 3, 0, 1, 2);

    // The shut-out line counts down and goes when the time is up.
    m_waitTick.setInterval(1000);
    connect(&m_waitTick, &QTimer::timeout, this, &FrmPassword::showShutOut);

    m_idle.setObjectName(QStringLiteral("Timer1"));
    m_idle.setSingleShot(true);
    m_idle.setInterval(IdleCloseMs);
    connect(&m_idle, &QTimer::timeout, this, &QDialog::reject);

    // Mouse movement anywhere over the window counts as activity.
    for (QWidget* w : findChildren<QWidget*>()) {
        w->setMouseTracking(true);
        w->installEventFilter(this);
    }
    installEventFilter(this);

    connect(m_ok, &QAbstractButton::clicked, this, &FrmPassword::ok);
    connect(m_cancel, &QAbstractButton::clicked, this, &QDialog::reject);
    m_idle.start();
}

void FrmPassword::showEvent(QShowEvent* event)
{
    QDialog::showEvent(event);
    m_password->setFocus();
    m_idle.start();
    showShutOut();
}

void FrmPassword::showShutOut()
{
    const qint64 seconds = StaffSettings(m_settings).secondsShutOut();
    m_wait->setText(seconds > 0 ? StaffSettings::shutOutMessage(seconds) : QString());
    m_wait->setVisible(seconds > 0);
    if (seconds > 0)
        m_waitTick.start();
    else
        m_waitTick.stop();
}

bool FrmPassword::eventFilter(QObject* watched, QEvent* event)
{
    switch (event->type()) {
    case QEvent::MouseMove:
        if (m_idle.isActive())
            m_idle.start();
        break;
    case QEvent::KeyPress:
        if (watched == m_password) {
            if (m_idle.isActive())
                m_idle.start();
            auto* k = static_cast<QKeyEvent*>(event);
            if (k->key() == Qt::Key_Return || k->key() == Qt::Key_Enter) {
                ok();
                return true;
            }
        }
        break;
    default:
        break;
    }
    return QDialog::eventFilter(watched, event);
}

void FrmPassword::ok()
{
    StaffSettings rules(m_settings);
    switch (rules.checkPassword(m_password->text())) {
    case StaffSettings::Check::ShutOut:
        // Not compared at all: the line says how long to wait.
        m_password->clear();
        showShutOut();
        m_password->setFocus();
        return;
    case StaffSettings::Check::Wrong:
        Prompt::message(StaffSettings::InvalidPassword, StaffSettings::MessageTitle);
        showShutOut();
        m_password->setFocus();
        return;
    case StaffSettings::Check::Right:
        break;
    }
    // While the staff work in the settings, this window must not close under them.
    m_idle.stop();
    hide();
    m_password->clear();
    if (m_purpose != Purpose::Settings) {
        Q_EMIT serviceConfirmed();
        accept();
        return;
    }
    {
        FrmSettings settingsWindow(m_settings, parentWidget());
        connect(&settingsWindow, &FrmSettings::reconnectRequested, this,
                &FrmPassword::reconnectRequested);
        connect(&settingsWindow, &FrmSettings::screenApplied, this, &FrmPassword::screenApplied);
        settingsWindow.exec();
    }
    Q_EMIT powerItemsEnabled();
    accept();
}
