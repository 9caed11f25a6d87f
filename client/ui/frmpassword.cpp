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

FrmPassword::FrmPassword(AgentSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("frmpassword"));
    setWindowTitle(QStringLiteral("Password"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);
    setMouseTracking(true);
    setMinimumWidth(380);

    auto* line = new QLabel(
        QStringLiteral("Enable Configration Utility, Please Enter Valid Password"), this);
    line->setWordWrap(true);
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
    grid->addLayout(buttons, 2, 0, 1, 2);

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
    if (!rules.passwordMatches(m_password->text())) {
        Prompt::message(StaffSettings::InvalidPassword, StaffSettings::MessageTitle);
        m_password->setFocus();
        return;
    }
    // While the staff work in the settings, this window must not close under them.
    m_idle.stop();
    hide();
    m_password->clear();
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
