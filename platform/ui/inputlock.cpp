// SPDX-License-Identifier: Apache-2.0
#include "platform/ui/inputlock.h"

#include "common/errorlog.h"

#include <QApplication>
#include <QGuiApplication>
#include <QWindow>

#include <xcb/xcb.h>

#include <cstdlib>
#include <cstring>

namespace {

xcb_connection_t* x11Connection()
{
    auto* x11 = qGuiApp ? qGuiApp->nativeInterface<QNativeInterface::QX11Application>() : nullptr;
    return x11 ? x11->connection() : nullptr;
}

// A workstation has one X screen; its root window.
xcb_window_t rootWindow(xcb_connection_t* c)
{
    return xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
}

// The window manager's check window (its own X client), or none.
xcb_window_t windowManagerWindow(xcb_connection_t* c, xcb_window_t root)
{
    static const char name[] = "_NET_SUPPORTING_WM_CHECK";
    xcb_intern_atom_reply_t* atom =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 1, sizeof(name) - 1, name), nullptr);
    if (!atom)
        return XCB_NONE;
    xcb_get_property_reply_t* p = xcb_get_property_reply(
        c, xcb_get_property(c, 0, root, atom->atom, XCB_ATOM_WINDOW, 0, 1), nullptr);
    std::free(atom);
    xcb_window_t w = XCB_NONE;
    if (p && xcb_get_property_value_length(p) >= int(sizeof(xcb_window_t)))
        w = *static_cast<xcb_window_t*>(xcb_get_property_value(p));
    std::free(p);
    return w;
}

xcb_atom_t atomNamed(xcb_connection_t* c, const char* name, bool onlyIfExists)
{
    xcb_intern_atom_reply_t* r = xcb_intern_atom_reply(
        c, xcb_intern_atom(c, onlyIfExists ? 1 : 0, uint16_t(std::strlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_NONE);
    std::free(r);
    return a;
}

// The application's window inside a window manager's frame: the one that has WM_STATE, at
// most a few levels down. None for the window manager's own windows (panels, menus).
xcb_window_t clientInside(xcb_connection_t* c, xcb_window_t frame, xcb_atom_t wmState, int depth)
{
    xcb_get_property_reply_t* p = xcb_get_property_reply(
        c, xcb_get_property(c, 0, frame, wmState, XCB_ATOM_ANY, 0, 0), nullptr);
    const bool hasState = p && p->type != XCB_NONE;
    std::free(p);
    if (hasState)
        return frame;
    if (depth == 0)
        return XCB_NONE;
    xcb_query_tree_reply_t* t = xcb_query_tree_reply(c, xcb_query_tree(c, frame), nullptr);
    if (!t)
        return XCB_NONE;
    xcb_window_t found = XCB_NONE;
    const xcb_window_t* children = xcb_query_tree_children(t);
    for (int i = xcb_query_tree_children_length(t) - 1; i >= 0 && found == XCB_NONE; --i)
        found = clientInside(c, children[i], wmState, depth - 1);
    std::free(t);
    return found;
}

QString refusalText(int status, int xError)
{
    switch (status) {
    case XCB_GRAB_STATUS_ALREADY_GRABBED:
        return QStringLiteral("another program holds it");
    case XCB_GRAB_STATUS_NOT_VIEWABLE:
        return QStringLiteral("the window is not viewable");
    case XCB_GRAB_STATUS_FROZEN:
        return QStringLiteral("it is frozen by another program's grab");
    case XCB_GRAB_STATUS_INVALID_TIME:
        return QStringLiteral("invalid time");
    default:
        return QStringLiteral("X error %1").arg(xError);
    }
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
    // Moving to another window keeps what is held until the new one can have it.
    if (m_window && m_window != window)
        m_window->removeEventFilter(this);
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
    m_unviewable.invalidate();
    attempt();
}

void InputLock::lockBeforeWindow()
{
    m_locked = true;
    m_beforeWindow = true;
    attempt();
}

void InputLock::unlock()
{
    m_locked = false;
    m_beforeWindow = false;
    m_refused = false;
    m_withheldSaid = false;
    m_refusedSince.invalidate();
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
    if (c && m_mayHold) {
        xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
        xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
        xcb_flush(c);
    }
    m_mayHold = false;
    setHeld(Target::None, false, false);
}

void InputLock::setHeld(Target on, bool keyboard, bool pointer)
{
    const bool before = grabsHeld();
    m_heldOn = keyboard || pointer ? on : Target::None;
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
    if (!m_locked || !x11Connection())
        return;
    if (ownPopupOpen()) {
        // A menu of ours has the grabs: look again shortly.
        setHeld(Target::None, false, false);
        m_timer.start(RetryIntervalMs);
        return;
    }
    const bool shown = m_window && m_window->isVisible();
    if (!shown && !m_beforeWindow) {
        // Hidden by the application itself: the input is the user's again. Showing it
        // brings us back (the Show event).
        releaseGrabs();
        m_unviewable.invalidate();
        m_timer.stop();
        return;
    }
    if (shown && m_window->isExposed()) {
        if (grabsHeld() && QGuiApplication::mouseButtons() != Qt::NoButton) {
            // A drag in one of our own windows is under way; re-asserting the pointer grab
            // now would take its events away. The grabs are held: look again next round.
            m_timer.start(SafetyIntervalMs);
            return;
        }
        m_unviewable.invalidate();
        watchVisibility();
        const bool held = grab(Target::Window);
        if (held)
            m_beforeWindow = false;
        if (!held && m_refusedSince.isValid() && m_refusedSince.hasExpired(EndCoverAfterMs))
            endCoveringClients();
        if (!held || m_obscured)
            raiseWindow();
        // While a grab is missing, retry briskly; once both are held, re-assert them slowly
        // in case one of our own windows or menus dropped them without an event telling us.
        m_timer.start(held ? SafetyIntervalMs : RetryIntervalMs);
        return;
    }
    // The window should be on the screen and is not: not mapped yet, or another program
    // unmapped or minimised it. The root window holds the input meanwhile.
    grab(Target::Root);
    if (shown && !m_unviewable.isValid()) {
        m_unviewable.start();
    } else if (shown && m_unviewable.hasExpired(ReshowAfterMs) && !viewableOnServer()) {
        m_unviewable.start();
        reshowWindow();
    }
    m_timer.start(RetryIntervalMs);
}

bool InputLock::grab(Target target)
{
    xcb_connection_t* c = x11Connection();
    const xcb_window_t w =
        target == Target::Window ? xcb_window_t(m_window->winId()) : rootWindow(c);

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
    // A refused grab leaves an earlier one of ours (on the root window, say) in place.
    m_mayHold = m_mayHold || keyboard || pointer;
    if (keyboard && pointer) {
        m_refused = false;
        m_withheldSaid = false;
        m_refusedSince.invalidate();
    } else if (m_refused) {
        if (!m_withheldSaid && m_refusedSince.hasExpired(WithheldAfterMs)) {
            m_withheldSaid = true;
            // Last: whoever listens may end the program (and with it this refusal run).
            QTimer::singleShot(0, this, [this] {
                if (m_locked)
                    Q_EMIT inputWithheld();
            });
        }
    } else {
        // Once for each run of refusals: the retries go on quietly until one succeeds.
        m_refused = true;
        m_refusedSince.start();
        const int status = !keyboard ? (kr ? kr->status : -1) : (pr ? pr->status : -1);
        const int xError =
            !keyboard ? (kerr ? kerr->error_code : 0) : (perr ? perr->error_code : 0);
        ErrorLog::write(QStringLiteral("InputLock grab"),
                        QStringLiteral("Cannot take the %1: %2")
                            .arg(!keyboard ? QStringLiteral("keyboard") : QStringLiteral("pointer"),
                                 refusalText(status, xError)),
                        status);
    }
    std::free(kr);
    std::free(pr);
    std::free(kerr);
    std::free(perr);
    setHeld(target, keyboard, pointer);
    return keyboard && pointer;
}

bool InputLock::viewableOnServer() const
{
    xcb_connection_t* c = x11Connection();
    if (!c || !m_window)
        return false;
    const auto w = xcb_window_t(m_window->winId());
    xcb_get_window_attributes_reply_t* attrs =
        xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, w), nullptr);
    const bool viewable = attrs && attrs->map_state == XCB_MAP_STATE_VIEWABLE;
    std::free(attrs);
    return viewable;
}

void InputLock::endCoveringClients()
{
    xcb_connection_t* c = x11Connection();
    if (!c || !m_window)
        return;
    const xcb_setup_t* setup = xcb_get_setup(c);
    const xcb_screen_t* screen = xcb_setup_roots_iterator(setup).data;
    const uint32_t clientMask = ~setup->resource_id_mask;
    const uint32_t ours = setup->resource_id_base & clientMask;
    const uint32_t wm = windowManagerWindow(c, screen->root) & clientMask;
    const xcb_atom_t wmState = atomNamed(c, "WM_STATE", true);

    // The lock window's place among the root's children (its frame, under a window manager).
    xcb_window_t top = xcb_window_t(m_window->winId());
    for (;;) {
        xcb_query_tree_reply_t* t = xcb_query_tree_reply(c, xcb_query_tree(c, top), nullptr);
        if (!t)
            return;
        const xcb_window_t parent = t->parent;
        std::free(t);
        if (parent == screen->root || parent == XCB_NONE)
            break;
        top = parent;
    }
    xcb_query_tree_reply_t* tree =
        xcb_query_tree_reply(c, xcb_query_tree(c, screen->root), nullptr);
    if (!tree)
        return;
    const xcb_window_t* children = xcb_query_tree_children(tree);
    const int count = xcb_query_tree_children_length(tree);
    int at = 0;
    while (at < count && children[at] != top)
        ++at;
    const qint64 screenArea = qint64(screen->width_in_pixels) * screen->height_in_pixels;
    // The children come bottom first: those after ours are above it.
    for (int i = at + 1; i < count; ++i) {
        const xcb_window_t above = children[i];
        // A window manager's frame: the program is the one whose window is inside it.
        xcb_window_t w = above;
        if ((above & clientMask) == wm && wm != 0) {
            w = wmState != XCB_NONE ? clientInside(c, above, wmState, 3) : xcb_window_t(XCB_NONE);
            if (w == XCB_NONE)
                continue;
        }
        const uint32_t owner = w & clientMask;
        if (owner == ours || owner == wm || owner == 0)
            continue;
        xcb_get_window_attributes_reply_t* a =
            xcb_get_window_attributes_reply(c, xcb_get_window_attributes(c, above), nullptr);
        // Stacked by no window manager, or framed by it: either way above the lock window.
        const bool candidate =
            a && (a->override_redirect || w != above) && a->map_state == XCB_MAP_STATE_VIEWABLE;
        std::free(a);
        if (!candidate)
            continue;
        xcb_get_geometry_reply_t* g =
            xcb_get_geometry_reply(c, xcb_get_geometry(c, above), nullptr);
        const qint64 area = g ? qint64(g->width) * g->height : 0;
        std::free(g);
        // Most of the screen: a cover over the lock, not a menu, tooltip or notice.
        if (area * 2 < screenArea)
            continue;
        xcb_kill_client(c, w);
        ErrorLog::write(QStringLiteral("InputLock grab"),
                        QStringLiteral("Ended the program of window 0x%1, which covered the "
                                       "lock window while the grabs were refused")
                            .arg(w, 0, 16));
    }
    std::free(tree);
    xcb_flush(c);
}

void InputLock::reshowWindow()
{
    // Qt still counts the window as shown, so nothing else brings it back. Showing it anew
    // maps it with its stay-on-top state set again, which the window manager forgot when it
    // let go of the window.
    const Qt::WindowStates states = m_window->windowStates();
    if (states & Qt::WindowMinimized)
        m_window->setWindowStates(states & ~Qt::WindowMinimized);
    m_window->setVisible(false);
    m_window->setVisible(true);
    m_window->requestActivate();
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
            // Hidden by us: let go at once (or keep the input, should it be shown again).
            scheduleAttempt(0);
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
            // The server dropped the window's grabs with it: take the input on the root
            // window before anyone else can.
            setHeld(Target::None, false, false);
            scheduleAttempt(0);
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
