#pragma once

#include <QAbstractNativeEventFilter>
#include <QObject>
#include <QPointer>
#include <QTimer>
#include <QWindow>

// The workstation's system-key lock on X11. While locked, the agent holds the keyboard and the
// pointer grabbed on its shown lock window, so the window manager's shortcuts (Alt+Tab,
// Alt+F4, Ctrl+Escape) and clicks anywhere reach only the agent. Every grab's reply is checked;
// a refused grab (another client holds one), a lost grab (the window was unmapped, one of our
// own menus took and dropped it) or an uncovered window is retried and re-raised on a timer.
// The agent's own windows keep working: events for them are delivered as usual.
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

    explicit InputLock(QObject* parent = nullptr);
    ~InputLock() override;

    // Locks on the given window (grabs as soon as it is shown). Locking again moves the lock.
    void lock(QWindow* window);
    void unlock();
    bool isLocked() const { return m_locked; }
    // Both the keyboard and the pointer grab are held right now.
    bool grabsHeld() const { return m_keyboardHeld && m_pointerHeld; }
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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void attempt();
    void releaseGrabs();
    void setHeld(bool keyboard, bool pointer);
    void scheduleAttempt(int delayMs);
    void raiseWindow();
    void watchVisibility();
    bool ownPopupOpen() const;
    bool ownWindowAbove() const;

    QPointer<QWindow> m_window;
    bool m_locked = false;
    bool m_keyboardHeld = false;
    bool m_pointerHeld = false;
    bool m_keepOnTop = true;
    bool m_obscured = false;
    bool m_filterInstalled = false;
    QTimer m_timer;
    QTimer m_soon;
};
