// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QDialog>
#include <QList>

class AgentSettings;
class QComboBox;
class QGroupBox;
class QLineEdit;
class XpCmdButton;

// The staff's settings window: lock-screen display mode and picture show, the advertisement
// texts, the settings password, and a reconnect to the console. At most one of its three
// panels shows at a time.
//
// Signals to wire where the window is opened (FrmPassword passes them on):
//   reconnectRequested(): open the connection dialog filled with the stored address and name,
//     its second button reading "&Hide", modally;
//   screenApplied(mode): the display mode was stored; with "VKPictures" start the picture show
//     on the lock screen at once.
class FrmSettings : public QDialog
{
    Q_OBJECT

public:
    enum Button
    {
        ScreenSetting = 0,
        Advertisement,
        PasswordChange,
        Reconnect,
        DisplayTimer,
        Return
    };

    explicit FrmSettings(AgentSettings& settings, QWidget* parent = nullptr);

    XpCmdButton* button(int index) const { return m_buttons.value(index); }

Q_SIGNALS:
    void reconnectRequested();
    void screenApplied(const QString& mode);

private:
    void buttonClicked(int index);
    void showPanel(QGroupBox* panel);
    void screenTextChanged();
    void screenSetting();
    void screenApply();
    void screenCancel();
    void saveAdvertisement();
    void savePassword();

    AgentSettings& m_settings;
    QList<XpCmdButton*> m_buttons;
    QGroupBox* m_screenPanel;
    QComboBox* m_screen;
    XpCmdButton* m_screenSetting;
    XpCmdButton* m_screenApply;
    XpCmdButton* m_screenCancel;
    QGroupBox* m_addPanel;
    QLineEdit* m_add[2];
    QGroupBox* m_passwordPanel;
    QLineEdit* m_psw[3];
};
