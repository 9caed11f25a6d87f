#include "platform/ui/inputlock.h"

#include "common/errorlog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>

namespace {

xcb_connection_t* x11Connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

} // namespace

InputLock::InputLock(QObject* parent) : QObject(parent)
{
    m_timer.setSingleShot(false);
    connect(&m_timer, &QTimer::timeout, this, &InputLock::attempt);
    m_soon.setSingleShot(true);
    connect(&m_soon, &QTimer::timeout, this, &InputLock::attempt);
}

InputLock::~InputLock()
{
    unlock();
}

bool InputLock::isSupported()
{
    return x11Connection() != nullptr;
}

void InputLock::lock(QWindow* window)
{
    if (m_window && m_window != window) {
        m_window->removeEventFilter(this);
        releaseGrabs();
    }
    m_locked = true;
    m_window = window;
    if (!isSupported() || !window)
        return;
    window->installEventFilter(this);
    if (!m_filterInstalled) {
        qApp->installNativeEventFilter(this);
        m_filterInstalled = true;
    }
    m_obscured = false;
    attempt();
}

void InputLock::unlock()
{
    m_locked = false;
    m_timer.stop();
    m_soon.stop();
    if (m_window)
        m_window->removeEventFilter(this);
    if (m_filterInstalled && qApp) {
        qApp->removeNativeEventFilter(this);
        m_filterInstalled = false;
    }
    releaseGrabs();
    m_window = nullptr;
}

void InputLock::setKeepOnTop(bool on)
{
    m_keepOnTop = on;
    if (on && m_locked && m_obscured)
        scheduleAttempt(0);
}

void InputLock::releaseGrabs()
{
    xcb_connection_t* c = x11Connection();
    if (c && (m_keyboardHeld || m_pointerHeld)) {
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
        xcb_flush(c);
    }
    setHeld(false, false);
}

void InputLock::setHeld(bool keyboard, bool pointer)
{
    const bool before = grabsHeld();
    m_keyboardHeld = keyboard;
    m_pointerHeld = pointer;
    if (before != grabsHeld())
        Q_EMIT grabsChanged(grabsHeld());
}

void InputLock::scheduleAttempt(int delayMs)
{
    if (!m_locked)
        return;
    if (!m_soon.isActive() || m_soon.remainingTime() > delayMs)
        m_soon.start(delayMs);
}

bool InputLock::ownPopupOpen() const
{
    // A menu of ours holds the grabs itself while it is open and drops them when it closes;
    // taking them back under it would stop its outside clicks from closing it.
    auto* app = qobject_cast<QApplication*>(QCoreApplication::instance());
    return app && QApplication::activePopupWidget() != nullptr;
}

bool InputLock::ownWindowAbove() const
{
    // Our own dialogs and menus belong above the lock window (the staff's settings, say).
    if (ownPopupOpen())
        return true;
    const QWindow* modal = QGuiApplication::modalWindow();
    if (modal && modal != m_window && modal->isVisible())
        return true;
    const QWindow* focus = QGuiApplication::focusWindow();
    return focus && focus != m_window && focus->isVisible();
}

void InputLock::raiseWindow()
{
    if (!m_window || !m_keepOnTop || ownWindowAbove())
        return;
    m_window->raise();
    m_obscured = false;
}

void InputLock::watchVisibility()
{
    // Qt does not ask for visibility changes; add them to our selection on the lock window so
    // a window mapped above it is noticed at once.
    xcb_connection_t* c = x11Connection();
    if (!c || !m_window)
        return;
    const auto w = xcb_window_t(m_window->winId());
    xcb_get_window_attributes_reply_t* attrs =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
    if (!attrs)
        return;
    if (!(attrs->your_event_mask & XCB_EVENT_MASK_VISIBILITY_CHANGE)) {
        const uint32_t mask = attrs->your_event_mask | XCB_EVENT_MASK_VISIBILITY_CHANGE;
        xcb_change_window_attributes(c, w, XCB_CW_EVENT_MASK, &mask);
    }
    std::free(attrs);
}

void InputLock::attempt()
{
    if (!m_locked || !m_window)
        return;
    xcb_connection_t* c = x11Connection();
    if (!c)
        return;
    if (!m_window->isVisible() || !m_window->isExposed() || ownPopupOpen()) {
        // Nothing to grab on yet (or a menu of ours has the grab): look again shortly.
        setHeld(false, false);
        m_timer.start(RetryIntervalMs);
        return;
    }
    if (grabsHeld() && QGuiApplication::mouseButtons() != Qt::NoButton) {
        // A drag in one of our own windows is under way; re-asserting the pointer grab now
        // would take its events away. The grabs are held: look again next round.
        m_timer.start(SafetyIntervalMs);
        return;
    }
    watchVisibility();
    const auto w = xcb_window_t(m_window->winId());

    // Ask for both grabs first, then collect the two replies: one round trip.
    const xcb_grab_keyboard_cookie_t kc =
        xcb_grab_keyboard(c, 1, w, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC);
    const uint16_t pointerMask = XCB_EVENT_MASK_BUTTON_PRESS | XCB_EVENT_MASK_BUTTON_RELEASE |
                                 XCB_EVENT_MASK_ENTER_WINDOW | XCB_EVENT_MASK_LEAVE_WINDOW |
                                 XCB_EVENT_MASK_POINTER_MOTION;
    const xcb_grab_pointer_cookie_t pc =
        xcb_grab_pointer(c, 1, w, pointerMask, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC, XCB_NONE,
                         XCB_NONE, XCB_CURRENT_TIME);
    xcb_generic_error_t* kerr = nullptr;
    xcb_generic_error_t* perr = nullptr;
    xcb_grab_keyboard_reply_t* kr = xcb_grab_keyboard_reply(c, kc, &kerr);
    xcb_grab_pointer_reply_t* pr = xcb_grab_pointer_reply(c, pc, &perr);
    const bool keyboard = kr && kr->status == XCB_GRAB_STATUS_SUCCESS;
    const bool pointer = pr && pr->status == XCB_GRAB_STATUS_SUCCESS;
    if (!keyboard && !m_keyboardHeld && kerr)
        ErrorLog::write(QStringLiteral("InputLock grab"), QStringLiteral("keyboard grab error"),
                        kerr->error_code);
    std::free(kr);
    std::free(pr);
    std::free(kerr);
    std::free(perr);

    if (!keyboard || !pointer || m_obscured)
        raiseWindow();
    setHeld(keyboard, pointer);
    // While a grab is missing, retry briskly; once both are held, re-assert them slowly in
    // case one of our own windows or menus dropped them without an event telling us.
    m_timer.start(grabsHeld() ? SafetyIntervalMs : RetryIntervalMs);
}

bool InputLock::eventFilter(QObject* watched, QEvent* event)
{
    if (watched == m_window && m_locked) {
        switch (event->type()) {
        case QEvent::Expose:
        case QEvent::Show:
        case QEvent::FocusOut:
            scheduleAttempt(0);
            break;
        case QEvent::Hide:
            // An unmapped window loses its grabs in the X server.
            setHeld(false, false);
            scheduleAttempt(RetryIntervalMs);
            break;
        default:
            break;
        }
    }
    return QObject::eventFilter(watched, event);
}

bool InputLock::nativeEventFilter(const QByteArray& eventType, void* message, qintptr*)
{
    if (!m_locked || !m_window || eventType != "xcb_generic_event_t")
        return false;
    auto* ev = static_cast<xcb_generic_event_t*>(message);
    const auto w = xcb_window_t(m_window->winId());
    switch (ev->response_type & ~0x80) {
    case XCB_VISIBILITY_NOTIFY: {
        auto* v = reinterpret_cast<xcb_visibility_notify_event_t*>(ev);
        if (v->window == w) {
            m_obscured = v->state != XCB_VISIBILITY_UNOBSCURED;
            if (m_obscured && m_keepOnTop)
                scheduleAttempt(20);
        }
        break;
    }
    case XCB_UNMAP_NOTIFY: {
        auto* u = reinterpret_cast<xcb_unmap_notify_event_t*>(ev);
        if (u->window == w) {
            setHeld(false, false);
            scheduleAttempt(RetryIntervalMs);
        }
        break;
    }
    case XCB_FOCUS_OUT: {
        // Someone took or dropped the keyboard grab (mode Grab/Ungrab): look at once.
        auto* f = reinterpret_cast<xcb_focus_out_event_t*>(ev);
        if (f->event == w)
            scheduleAttempt(20);
        break;
    }
    default:
        break;
    }
    return false;
}
