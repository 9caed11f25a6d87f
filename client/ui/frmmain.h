// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QWidget>

class AgentController;
struct AgentState;
class QCheckBox;
class QGroupBox;
class QLabel;
class QLineEdit;
class QMenu;
class QAction;
class QPushButton;
class QTimer;
class PictureShow;
class PrepaidLoginBox;

// The lock screen: covers the screen it starts on, frameless and above every other window.
// It shows the caption line, the picture, the task bar with the System button and the date,
// and, when the console asks for it, the options panel. Its rules live in AgentController.
class FrmMain : public QWidget
{
    Q_OBJECT
public:
    // The staff's service keys, never shown on screen. They only ask for the settings
    // password; the action follows the right one.
    static constexpr int ExitKey = Qt::Key_F11;
    static constexpr int UnlockKey = Qt::Key_F12;
    // The safety timer that re-raises the window in case no event told us it was covered.
    static constexpr int SafetyRaiseMs = 1500;

    explicit FrmMain(AgentController& controller, QWidget* parent = nullptr);

    void applyState(const AgentState& state);
    void fillOptions(const QString& surfText, bool autoChecked);
    void focusSurfTime();
    void focusPassword();
    // The console refused the session password: the customer types it anew.
    void clearPassword();
    // The console refused a prepaid login.
    void clearPrepaidPassword();
    // After the settings password: Restart and Shut down become usable.
    void enablePowerItems();
    // Puts the window over the whole of its screen and on top.
    void coverScreen();
    // Shows a picture in the centre of the area below the caption line (null: the built-in).
    void setPicture(const QPixmap& picture);
    // The picture show of the vkscreen settings, restarted from its first picture.
    void startPictureShow();
    PictureShow* pictureShow() const { return m_show; }
    // Re-raise paused (our own dialogs and menus above it).
    void setKeepOnTopPaused(bool paused) { m_paused = paused; }

Q_SIGNALS:
    void settingsRequested();
    // The service keys: end the agent, free the workstation without a session.
    void exitRequested();
    void unlockRequested();

protected:
    bool event(QEvent* e) override;
    void closeEvent(QCloseEvent* e) override;
    void showEvent(QShowEvent* e) override;
    void resizeEvent(QResizeEvent* e) override;
    void keyPressEvent(QKeyEvent* e) override;

private:
    void keepOnTop();
    void followScreen(const QRect& geometry);
    void showPicture(const QPixmap& picture);
    void placePicture();
    // The picture (with the lock message drawn in it) is not shown around the options panel.
    void updatePicture();
    static bool windowSystemStacks();
    void login();
    void openSystemMenu();

    AgentController& m_controller;
    QLabel* m_caption;
    QLabel* m_title;
    QWidget* m_taskbar;
    QPushButton* m_system;
    QLabel* m_date;
    QLabel* m_picture;
    QGroupBox* m_options;
    QLineEdit* m_surf;
    QCheckBox* m_auto;
    QLabel* m_passwordLabel;
    QLineEdit* m_password;
    QPushButton* m_login;
    PrepaidLoginBox* m_prepaid;
    QMenu* m_menu;
    QAction* m_settingsItem;
    QAction* m_restartItem;
    QAction* m_shutdownItem;
    QTimer* m_safety;
    PictureShow* m_show;
    bool m_paused = false;
    // A picture is to be shown (a picture show's wallpaper mode shows none).
    bool m_pictureWanted = true;
};
