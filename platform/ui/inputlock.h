// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QAbstractNativeEventFilter>
#include <QElapsedTimer>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWindow>

// The workstation's system-key lock on X11. While locked, the agent holds the keyboard and the
// pointer grabbed on its shown lock window, so the window manager's shortcuts (Alt+Tab,
// Alt+F4, Ctrl+Escape) and clicks anywhere reach only the agent. Every grab's reply is checked;
// a refused grab (another client holds one), a lost grab (the window was unmapped, one of our
// own menus took and dropped it) or an uncovered window is retried and re-raised on a timer.
// A refusal is written to the error log once for each run of refusals.
//
// While locked, the lock window is the only rightful owner of the whole screen: when another
// program holds the grabs for more than a moment and covers most of the screen with a window
// the window manager cannot stack (override-redirect), that program's X connection is ended.
// A window inside a window manager's frame counts as the program's own. A grab held without
// such a window (a menu, a tool with no window) is reported after a few seconds
// (inputWithheld()), for the application to end the login it belongs to.
//
// The grabs follow the window: held while it is shown, let go when the application hides it.
// When another program unmaps or minimises it, the lock holds the keyboard and pointer on the
// root window meanwhile and shows the window again. The agent's own windows keep working:
// events for them are delivered as usual.
//
// Where the display is not X11 (offscreen, Wayland) there is nothing to grab: the lock still
// records that it is on, and grabsHeld() stays false.
class InputLock : public QObject, public QAbstractNativeEventFilter
{
    Q_OBJECT

public:
    // Retry pace while a grab is missing, and the slow re-assertion while both are held.
    static constexpr int RetryIntervalMs = 250;
    static constexpr int SafetyIntervalMs = 1000;
    // How long the window may stay shown yet unviewable (mapping takes a moment) before it is
    // shown again.
    static constexpr int ReshowAfterMs = 400;
    // How long the grabs may be refused before a covering program is ended.
    static constexpr int EndCoverAfterMs = 1000;
    // How long the grabs may be refused before inputWithheld() says so.
    static constexpr int WithheldAfterMs = 3000;

    explicit InputLock(QObject* parent = nullptr);
    ~InputLock() override;

    // Locks on the given window (grabs whenever it is shown). Locking again moves the lock.
    void lock(QWindow* window);
    // Holds the keyboard and pointer on the root window from now until lock()'s window has
    // them: a program started again after being ended takes the input before it has built its
    // lock window.
    void lockBeforeWindow();
    void unlock();
    bool isLocked() const { return m_locked; }
    // Both the keyboard and the pointer grab are held on the lock window right now.
    bool grabsHeld() const { return m_heldOn == Target::Window && m_keyboardHeld && m_pointerHeld; }
    // The lock window is raised whenever something covers it, except by the application's own
    // modal dialogs, focused windows and menus. On by default.
    void setKeepOnTop(bool on);
    bool keepOnTop() const { return m_keepOnTop; }
    QWindow* window() const { return m_window; }

    // True when the application runs on an X11 display.
    static bool isSupported();

    bool nativeEventFilter(const QByteArray& eventType, void* message, qintptr* result) override;

Q_SIGNALS:
    void grabsChanged(bool held);
    // The grabs have been refused for WithheldAfterMs while locked: another program keeps the
    // input, with or without a window. Once for each run of refusals.
    void inputWithheld();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    enum class Target
    {
        None,
        Window,
        Root
    };

    void attempt();
    bool grab(Target target);
    bool viewableOnServer() const;
    void endCoveringClients();
    void reshowWindow();
    void releaseGrabs();
    void setHeld(Target on, bool keyboard, bool pointer);
    void scheduleAttempt(int delayMs);
    void raiseWindow();
    void watchVisibility();
    bool ownPopupOpen() const;
    bool ownWindowAbove() const;

    QPointer<QWindow> m_window;
    bool m_locked = false;
    bool m_beforeWindow = false;
    Target m_heldOn = Target::None;
    bool m_keyboardHeld = false;
    bool m_pointerHeld = false;
    // The server may hold a grab of ours: letting go must ungrab.
    bool m_mayHold = false;
    bool m_keepOnTop = true;
    bool m_obscured = false;
    bool m_filterInstalled = false;
    bool m_refused = false;
    bool m_withheldSaid = false;
    QElapsedTimer m_unviewable;
    QElapsedTimer m_refusedSince;
    QTimer m_timer;
    QTimer m_soon;
};
