// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "client/ui/frmactivate.h"
#include "client/ui/frmconnection.h"
#include "client/ui/frmmain.h"
#include "client/ui/frmpassword.h"
#include "client/ui/frmwarning.h"

#include <QObject>
#include <QPointer>

class AgentController;
class InputLock;

// Keeps the agent's windows in step with the controller's state: a window is created when
// its state says loaded, destroyed when unloaded (so showing it again gives a fresh one),
// and shown or hidden as the state says.
class AgentWindows : public QObject
{
    Q_OBJECT
public:
    // The input lock, when given, is one the start-up already holds; the windows take it over.
    explicit AgentWindows(AgentController& controller, InputLock* inputLock = nullptr,
                          QObject* parent = nullptr);
    ~AgentWindows() override;

    FrmMain* lockScreen() const { return m_main; }
    FrmActivate* sessionWindow() const { return m_session; }
    FrmWarning* warningWindow() const { return m_warning; }
    FrmConnection* connectionDialog() const { return m_dialog; }

    // Runs the connection dialog modally until a connection succeeds (true) or the staff
    // choose Exit (false).
    bool runConnectionDialog();

    void sync();

Q_SIGNALS:
    void exitRequested();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void applyPending();
    // The settings password window, for the settings or for a service key's action.
    void openSettings(FrmPassword::Purpose purpose);
    void closeSettingsWindows();
    // Runs the connection dialog modally in front of the window that opened it.
    void execOver(QWidget* opener);
    void followLockScreen();

    AgentController& m_controller;
    QPointer<FrmMain> m_main;
    int m_mainLoads = -1;
    QPointer<FrmActivate> m_session;
    QPointer<FrmWarning> m_warning;
    QPointer<FrmConnection> m_dialog;
    InputLock* m_inputLock;
    bool m_exitChosen = false;
    bool m_settingsOpen = false;

    bool m_fillPending = false;
    QString m_fillSurf;
    bool m_fillAuto = false;
    enum class Focus
    {
        None,
        Surf,
        Password
    } m_focus = Focus::None;
};
