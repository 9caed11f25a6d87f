// SPDX-License-Identifier: Apache-2.0
#include "client/ui/frmsettings.h"

#include "client/controls/xpcmdbutton.h"
#include "client/core/staffsettings.h"
#include "client/ui/frmpicture.h"
#include "common/prompt.h"
#include "common/settingsstore.h"

#include <QComboBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLineEdit>
#include <QStackedLayout>
#include <QVBoxLayout>

namespace {

// A row holding the widget at its own size on the right.
QLayout* rightAligned(QWidget* w)
{
    auto* row = new QHBoxLayout;
    row->addStretch();
    row->addWidget(w);
    return row;
}

} // namespace

FrmSettings::FrmSettings(AgentSettings& settings, QWidget* parent)
    : QDialog(parent), m_settings(settings)
{
    setObjectName(QStringLiteral("frmsettings"));
    setWindowTitle(QStringLiteral("VK Client Settings"));
    setWindowFlag(Qt::WindowStaysOnTopHint);
    setWindowFlag(Qt::WindowContextHelpButtonHint, false);

    auto* column = new QVBoxLayout;
    const QStringList captions = {
        QStringLiteral("Screen Setting"),         QStringLiteral("Addvertisement"),
        QStringLiteral("Password Change"),        QStringLiteral("Reconnect to VK Server"),
        QStringLiteral("Display Timer Settings"), QStringLiteral("Return")};
    for (int i = 0; i < captions.size(); ++i) {
        auto* b = new XpCmdButton(captions.at(i), this);
        b->setObjectName(QStringLiteral("btn"));
        b->setProperty("index", i);
        b->setMinimumSize(170, 30);
        connect(b, &QAbstractButton::clicked, this, [this, i] { buttonClicked(i); });
        column->addWidget(b);
        m_buttons << b;
    }
    m_buttons[DisplayTimer]->setEnabled(false);
    column->addStretch();

    // Screen panel.
    m_screenPanel = new QGroupBox(QStringLiteral("Screen Settings"), this);
    m_screenPanel->setObjectName(QStringLiteral("framscreensetting"));
    m_screen = new QComboBox(m_screenPanel);
    m_screen->setObjectName(QStringLiteral("cmbscreen"));
    m_screen->addItems(
        {StaffSettings::ModeDefault, StaffSettings::ModePictures, StaffSettings::ModeText});
    m_screenSetting = new XpCmdButton(QStringLiteral("Setting"), m_screenPanel);
    m_screenSetting->setObjectName(QStringLiteral("btnscreensetting"));
    m_screenApply = new XpCmdButton(QStringLiteral("Applay"), m_screenPanel);
    m_screenApply->setObjectName(QStringLiteral("btmscreenapply"));
    m_screenApply->setEnabled(false);
    m_screenCancel = new XpCmdButton(QStringLiteral("Cancel"), m_screenPanel);
    m_screenCancel->setObjectName(QStringLiteral("btnscreencancel"));
    m_screenCancel->setEnabled(false);
    {
        auto* l = new QVBoxLayout(m_screenPanel);
        auto* row = new QHBoxLayout;
        row->addWidget(m_screen, 1);
        row->addWidget(m_screenSetting);
        l->addLayout(row);
        auto* buttons = new QHBoxLayout;
        buttons->addStretch();
        buttons->addWidget(m_screenApply);
        buttons->addWidget(m_screenCancel);
        l->addLayout(buttons);
        l->addStretch();
    }
    connect(m_screen, &QComboBox::currentTextChanged, this, &FrmSettings::screenTextChanged);
    connect(m_screen, &QComboBox::activated, this, &FrmSettings::screenTextChanged);
    connect(m_screenSetting, &QAbstractButton::clicked, this, &FrmSettings::screenSetting);
    connect(m_screenApply, &QAbstractButton::clicked, this, &FrmSettings::screenApply);
    connect(m_screenCancel, &QAbstractButton::clicked, this, &FrmSettings::screenCancel);

    // Advertisement panel.
    m_addPanel = new QGroupBox(QStringLiteral("Addvertisement Settings"), this);
    m_addPanel->setObjectName(QStringLiteral("framaddver"));
    {
        auto* l = new QFormLayout(m_addPanel);
        const QStringList labels = {QStringLiteral("Displaying in Main Panel"),
                                    QStringLiteral("Displaying in Details Panel")};
        for (int i = 0; i < 2; ++i) {
            m_add[i] = new QLineEdit(m_addPanel);
            m_add[i]->setObjectName(QStringLiteral("lbladd"));
            m_add[i]->setProperty("index", i);
            m_add[i]->setMaxLength(SettingsStore::MaxValueLength);
            l->addRow(labels.at(i), m_add[i]);
        }
        auto* save = new XpCmdButton(QStringLiteral("Save"), m_addPanel);
        save->setObjectName(QStringLiteral("btnaddsave"));
        save->setMinimumSize(80, 26);
        connect(save, &QAbstractButton::clicked, this, &FrmSettings::saveAdvertisement);
        l->addRow(QString(), rightAligned(save));
    }

    // Password panel.
    m_passwordPanel = new QGroupBox(QStringLiteral("Password Settings"), this);
    m_passwordPanel->setObjectName(QStringLiteral("frampassword"));
    {
        auto* l = new QFormLayout(m_passwordPanel);
        const QStringList labels = {QStringLiteral("Old Password :"),
                                    QStringLiteral("New Password :"),
                                    QStringLiteral("Confirm Password :")};
        for (int i = 0; i < 3; ++i) {
            m_psw[i] = new QLineEdit(m_passwordPanel);
            m_psw[i]->setObjectName(QStringLiteral("txtpsw"));
            m_psw[i]->setProperty("index", i);
            m_psw[i]->setEchoMode(QLineEdit::Password);
            m_psw[i]->setMaxLength(StaffSettings::MaxPasswordLength);
            l->addRow(labels.at(i), m_psw[i]);
        }
        auto* save = new XpCmdButton(QStringLiteral("Save"), m_passwordPanel);
        save->setObjectName(QStringLiteral("btnpswsave"));
        save->setMinimumSize(80, 26);
        connect(save, &QAbstractButton::clicked, this, &FrmSettings::savePassword);
        l->addRow(QString(), rightAligned(save));
    }

    // The panels share the content area; at most one shows.
    auto* content = new QWidget(this);
    content->setMinimumSize(460, 230);
    auto* contentLayout = new QVBoxLayout(content);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    for (QGroupBox* panel : {m_screenPanel, m_addPanel, m_passwordPanel}) {
        contentLayout->addWidget(panel);
        panel->hide();
    }
    contentLayout->addStretch();

    auto* top = new QHBoxLayout(this);
    top->addLayout(column);
    top->addWidget(content, 1);
}

void FrmSettings::showPanel(QGroupBox* panel)
{
    for (QGroupBox* p : {m_screenPanel, m_addPanel, m_passwordPanel})
        if (p != panel)
            p->hide();
    if (panel)
        panel->show();
}

void FrmSettings::buttonClicked(int index)
{
    StaffSettings rules(m_settings);
    switch (index) {
    case ScreenSetting: {
        showPanel(m_screenPanel);
        if (rules.screenModeSet()) {
            const int i = m_screen->findText(rules.screenMode());
            if (i >= 0)
                m_screen->setCurrentIndex(i);
            screenTextChanged();
            m_screenSetting->setEnabled(true);
        } else {
            m_screenSetting->setEnabled(false);
        }
        break;
    }
    case Advertisement: {
        showPanel(m_addPanel);
        QString title, text;
        if (rules.advertisement(&title, &text)) {
            m_add[0]->setText(title);
            m_add[1]->setText(text);
        }
        break;
    }
    case PasswordChange:
        showPanel(m_passwordPanel);
        m_psw[0]->setFocus();
        break;
    case Reconnect:
        showPanel(nullptr);
        Q_EMIT reconnectRequested();
        break;
    case DisplayTimer:
        showPanel(nullptr);
        break;
    case Return:
        accept();
        break;
    default:
        break;
    }
}

void FrmSettings::screenTextChanged()
{
    // The modes with their own settings are applied from there; the others straight away.
    if (StaffSettings::modeHasSettings(m_screen->currentText())) {
        m_screenSetting->setEnabled(true);
        m_screenApply->setEnabled(false);
        m_screenCancel->setEnabled(false);
    } else {
        m_screenApply->setEnabled(true);
        m_screenCancel->setEnabled(true);
    }
}

void FrmSettings::screenSetting()
{
    if (m_screen->currentText() != StaffSettings::ModePictures)
        return;
    FrmPicture picture(m_settings, this);
    if (picture.exec() == QDialog::Accepted) {
        m_screenApply->setEnabled(true);
        m_screenCancel->setEnabled(true);
    }
}

void FrmSettings::screenApply()
{
    const QString mode = m_screen->currentText();
    StaffSettings(m_settings).setScreenMode(mode);
    Q_EMIT screenApplied(mode);
}

void FrmSettings::screenCancel()
{
    StaffSettings rules(m_settings);
    if (rules.screenModeSet()) {
        const int i = m_screen->findText(rules.screenMode());
        if (i >= 0)
            m_screen->setCurrentIndex(i);
        m_screenSetting->setEnabled(true);
    } else {
        m_screenSetting->setEnabled(false);
    }
}

void FrmSettings::saveAdvertisement()
{
    StaffSettings(m_settings).saveAdvertisement(m_add[0]->text(), m_add[1]->text());
    m_addPanel->hide();
}

void FrmSettings::savePassword()
{
    StaffSettings rules(m_settings);
    const StaffSettings::Change result =
        rules.changePassword(m_psw[0]->text(), m_psw[1]->text(), m_psw[2]->text());
    switch (result) {
    case StaffSettings::Change::WrongOld:
        Prompt::message(StaffSettings::message(result), StaffSettings::MessageTitle);
        m_psw[0]->setFocus();
        return;
    case StaffSettings::Change::Mismatch:
    case StaffSettings::Change::NotStored:
        Prompt::message(StaffSettings::message(result), StaffSettings::MessageTitle);
        return;
    case StaffSettings::Change::Saved:
        break;
    }
    // Passwords do not linger in hidden fields.
    for (QLineEdit* e : m_psw)
        e->clear();
    m_passwordPanel->hide();
}
