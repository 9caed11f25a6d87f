// SPDX-License-Identifier: Apache-2.0
#include "client/ui/agentwindows.h"

#include "client/core/agentcontroller.h"
#include "client/core/pictureshow.h"
#include "client/ui/frmactivate.h"
#include "client/ui/frmconnection.h"
#include "client/ui/frmmain.h"
#include "client/ui/frmpassword.h"
#include "client/ui/frmwarning.h"
#include "platform/ui/inputlock.h"

#include <QApplication>
#include <QDialog>
#include <QTimer>
#include <QWindow>

namespace {

template <typename W> void unload(QPointer<W>& w)
{
    if (w) {
        w->hide();
        // Later: the window may be the one whose button brought us here.
        w->deleteLater();
        w = nullptr;
    }
}

} // namespace

AgentWindows::AgentWindows(AgentController& controller, InputLock* inputLock, QObject* parent)
    : QObject(parent), m_controller(controller),
      m_inputLock(inputLock ? inputLock : new InputLock(this))
{
    m_inputLock->setParent(this);
    connect(m_inputLock, &InputLock::inputWithheld, &controller, &AgentController::inputWithheld);
    m_dialog = new FrmConnection(controller);
    connect(m_dialog, &FrmConnection::exitRequested, this, [this] {
        m_exitChosen = true;
        m_dialog->hide();
        Q_EMIT exitRequested();
    });
    connect(&controller, &AgentController::stateChanged, this, &AgentWindows::sync);
    connect(&controller, &AgentController::fillOptions, this,
            [this](const QString& surf, bool autoChecked) {
                m_fillPending = true;
                m_fillSurf = surf;
                m_fillAuto = autoChecked;
                applyPending();
            });
    connect(&controller, &AgentController::focusSurfTime, this, [this] {
        m_focus = Focus::Surf;
        applyPending();
    });
    connect(&controller, &AgentController::focusPassword, this, [this] {
        m_focus = Focus::Password;
        applyPending();
    });
    connect(&controller, &AgentController::passwordRefused, this, [this] {
        // A lock screen loaded since the password was sent starts empty anyway.
        if (m_main) {
            m_main->clearPassword();
        }
    });
    connect(&controller, &AgentController::prepaidRefused, this, [this] {
        if (m_main) {
            m_main->clearPrepaidPassword();
        }
    });
    connect(&controller, &AgentController::focusAddress, this, [this] {
        if (m_dialog) {
            m_dialog->focusAddress();
        }
    });
}

AgentWindows::~AgentWindows()
{
    // Its destruction hides it, which is no reason to bring it back (and the window is no
    // longer a lock screen by then).
    if (m_main) {
        m_main->removeEventFilter(this);
    }
    delete m_main;
    delete m_session;
    delete m_warning;
    delete m_dialog;
}

bool AgentWindows::runConnectionDialog()
{
    m_controller.showDialogAtStart();
    m_dialog->exec();
    return !m_exitChosen;
}

void AgentWindows::applyPending()
{
    if (!m_main) {
        return;
    }
    if (m_fillPending) {
        m_main->fillOptions(m_fillSurf, m_fillAuto);
        m_fillPending = false;
    }
    if (m_focus == Focus::Surf) {
        m_main->focusSurfTime();
    } else if (m_focus == Focus::Password) {
        m_main->focusPassword();
    }
    m_focus = Focus::None;
}

void AgentWindows::sync()
{
    const AgentState& s = m_controller.state();

    if (!s.lockScreenLoaded || (m_main && m_mainLoads != s.lockScreenLoads)) {
        if (m_main) {
            closeSettingsWindows();
        }
        unload(m_main);
    }
    if (s.lockScreenLoaded && !m_main) {
        m_main = new FrmMain(m_controller);
        m_mainLoads = s.lockScreenLoads;
        m_main->installEventFilter(this);
        // Queued: the settings run their own modal loops, which must not sit inside the
        // lock screen's menu or key handler (a "|LOCK|" meanwhile replaces that window).
        using Purpose = FrmPassword::Purpose;
        connect(
            m_main, &FrmMain::settingsRequested, this, [this] { openSettings(Purpose::Settings); },
            Qt::QueuedConnection);
        // The service keys act only after the staff password.
        connect(
            m_main, &FrmMain::unlockRequested, this,
            [this] { openSettings(Purpose::FreeWorkstation); }, Qt::QueuedConnection);
        connect(
            m_main, &FrmMain::exitRequested, this, [this] { openSettings(Purpose::EndAgent); },
            Qt::QueuedConnection);
    }
    if (m_main) {
        m_main->applyState(s);
        if (s.lockScreenVisible && !m_main->isVisible()) {
            m_main->coverScreen();
            m_main->show();
            m_main->activateWindow();
        } else if (!s.lockScreenVisible && m_main->isVisible()) {
            m_main->hide();
        }
    }
    followLockScreen();

    if (!s.sessionWindowLoaded) {
        unload(m_session);
    } else if (!m_session) {
        m_session = new FrmActivate(m_controller);
        m_session->refresh();
        m_session->show();
        m_session->placeBottomRight();
    }
    if (m_session) {
        m_session->showPrepaid(s);
    }

    if (!s.warningLoaded) {
        unload(m_warning);
    } else {
        if (!m_warning) {
            m_warning = new FrmWarning(m_controller);
        }
        m_warning->setRemaining(s.warningMinutes);
        m_warning->show();
    }

    if (m_dialog) {
        m_dialog->setStatus(s.status);
        m_dialog->setHideMode(s.dialogHideMode);
        if (s.dialogVisible && !m_dialog->isVisible()) {
            m_dialog->loadFields();
            m_dialog->show();
        } else if (!s.dialogVisible && m_dialog->isVisible()) {
            m_dialog->hide();
        }
    }
    applyPending();
}

bool AgentWindows::eventFilter(QObject* watched, QEvent* event)
{
    // Whatever hid the lock screen while the state says it is shown (not us: we change the
    // state first), it comes back: sync() shows it again. Queued, not inside its own hiding.
    if (event->type() == QEvent::Hide && watched == m_main &&
        m_controller.state().lockScreenVisible) {
        QTimer::singleShot(0, this, &AgentWindows::sync);
    }
    return QObject::eventFilter(watched, event);
}

void AgentWindows::openSettings(FrmPassword::Purpose purpose)
{
    if (!m_main || m_settingsOpen) {
        return;
    }
    // The staff's windows go above the lock screen while they are open.
    m_settingsOpen = true;
    QPointer<FrmMain> main = m_main;
    main->setKeepOnTopPaused(true);
    m_inputLock->setKeepOnTop(false);
    auto* password = new FrmPassword(m_controller.settings(), nullptr, purpose);
    password->setWindowFlag(Qt::WindowStaysOnTopHint);
    password->setAttribute(Qt::WA_DeleteOnClose);
    connect(password, &FrmPassword::powerItemsEnabled, this, [main] {
        if (main) {
            main->enablePowerItems();
        }
    });
    connect(password, &FrmPassword::reconnectRequested, this, [this] {
        // The settings window whose button asked: the dialog opens in front of it.
        QPointer<QWidget> opener = QApplication::activeModalWidget();
        m_controller.showDialogForReconnect();
        if (m_dialog && m_controller.state().dialogVisible) {
            execOver(opener);
        }
    });
    connect(password, &FrmPassword::screenApplied, this, [main](const QString& mode) {
        if (main && mode == PictureShow::ModePictures) {
            main->startPictureShow();
        }
    });
    bool confirmed = false;
    connect(password, &FrmPassword::serviceConfirmed, this, [&confirmed] { confirmed = true; });
    password->exec();
    m_settingsOpen = false;
    m_inputLock->setKeepOnTop(true);
    if (main) {
        main->setKeepOnTopPaused(false);
    }
    // Only for the lock screen that asked: a "|LOCK|" meanwhile stands.
    if (!confirmed || !main) {
        return;
    }
    if (purpose == FrmPassword::Purpose::FreeWorkstation) {
        m_controller.serviceUnlock();
    } else if (purpose == FrmPassword::Purpose::EndAgent) {
        Q_EMIT exitRequested();
    }
}

void AgentWindows::execOver(QWidget* opener)
{
    // Shown by the state already, but not yet modal: shown again by exec(), as the transient
    // child of its opener, which window managers keep above it (the dialog itself outlives
    // the settings window, so it is not made its child).
    m_dialog->hide();
    m_dialog->winId();
    QWindow* own = m_dialog->windowHandle();
    QWindow* over = opener ? opener->windowHandle() : nullptr;
    if (own && over) {
        own->setTransientParent(over);
    }
    QTimer::singleShot(0, m_dialog, [d = m_dialog] {
        d->raise();
        d->activateWindow();
    });
    // The settings window may close under it (a "|LOCK|" from the console closes the staff's
    // windows): nothing could end this loop then, so the dialog goes with its opener.
    QMetaObject::Connection openerGone;
    if (auto* d = qobject_cast<QDialog*>(opener)) {
        openerGone = connect(d, &QDialog::finished, this, [this] {
            if (m_dialog && m_dialog->isVisible()) {
                m_controller.hideDialog();
            }
        });
    }
    m_dialog->exec();
    disconnect(openerGone);
    if (m_dialog && m_dialog->windowHandle()) {
        m_dialog->windowHandle()->setTransientParent(nullptr);
    }
}

void AgentWindows::closeSettingsWindows()
{
    // The staff's windows go with the lock screen that opened them; the innermost first, so
    // each one's modal loop ends before its opener's.
    for (const char* name : {"frmpicture", "frmsettings", "frmpassword"}) {
        for (QWidget* w : QApplication::topLevelWidgets()) {
            auto* dialog = qobject_cast<QDialog*>(w);
            if (dialog && dialog->objectName() == QLatin1String(name) && dialog->isVisible()) {
                dialog->reject();
            }
        }
    }
}

void AgentWindows::followLockScreen()
{
    // The keys are held whenever the lock screen is shown, whatever showed it; the input lock
    // follows the window itself, so a hidden one lets go and a shown one (or one another
    // program unmapped) holds them.
    QWindow* window = m_main ? m_main->windowHandle() : nullptr;
    if (window) {
        if (m_inputLock->window() != window || !m_inputLock->isLocked()) {
            m_inputLock->lock(window);
        }
    } else if (m_inputLock->isLocked() && m_inputLock->window()) {
        // (The lock taken at start-up has no window yet: it waits for the first lock screen.)
        m_inputLock->unlock();
    }
}
