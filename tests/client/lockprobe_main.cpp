// SPDX-License-Identifier: Apache-2.0
// A small program for the X11 lock test, run under its own Xvfb:
//   lockprobe --lock [--dialog] full-screen frameless window locked with InputLock (and a
//                             modal dialog of its own over it)
//   lockprobe --window TITLE  an ordinary window that reports what reaches it
//   lockprobe --hold-grab MS [--cover W H [--managed]]
//                             another client holding the keyboard and pointer grabs until a
//                             line arrives on its stdin, at most MS ms (with an override-redirect
//                             window of W x H at the top left, or with --managed a window the
//                             window manager frames, mapped 1.5 s later, asking to stay above);
//                             "disconnected" when the X server ends its connection
//   lockprobe --close ID      asks the window to close as a window manager does (WM_DELETE_WINDOW)
// Everything it notices goes to stdout, one line each, for the test to read.
#include "platform/ui/inputlock.h"

#include <QApplication>
#include <QDialog>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QScreen>
#include <QTimer>
#include <QVBoxLayout>
#include <QWidget>

#include <xcb/xcb.h>

#include <poll.h>

#include <cstdio>
#include <cstdlib>

namespace {

void say(const QString& line)
{
    std::printf("%s\n", qPrintable(line));
    std::fflush(stdout);
}

// Reports keys, clicks, focus and closing of the window it is installed on.
class Reporter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* o, QEvent* e) override
    {
        switch (e->type()) {
        case QEvent::KeyPress: {
            auto* k = static_cast<QKeyEvent*>(e);
            say(QStringLiteral("key %1 %2").arg(k->key()).arg(k->text()));
            break;
        }
        case QEvent::MouseButtonPress:
            say(QStringLiteral("press %1").arg(o->objectName()));
            break;
        case QEvent::Close:
            say(QStringLiteral("close"));
            break;
        default:
            break;
        }
        return false;
    }
};

xcb_atom_t atom(xcb_connection_t* c, const char* name)
{
    xcb_intern_atom_reply_t* r =
        xcb_intern_atom_reply(c, xcb_intern_atom(c, 0, uint16_t(qstrlen(name)), name), nullptr);
    const xcb_atom_t a = r ? r->atom : xcb_atom_t(XCB_NONE);
    std::free(r);
    return a;
}

constexpr int ManagedCoverAfterMs = 1500;

int holdGrab(int ms, int coverWidth, int coverHeight, bool managed)
{
    int screenNo = 0;
    xcb_connection_t* c = xcb_connect(nullptr, &screenNo);
    if (xcb_connection_has_error(c))
        return 2;
    xcb_screen_iterator_t it = xcb_setup_roots_iterator(xcb_get_setup(c));
    for (int i = 0; i < screenNo; ++i)
        xcb_screen_next(&it);
    const xcb_window_t root = it.data->root;
    xcb_window_t cover = XCB_NONE;
    if (coverWidth > 0 && coverHeight > 0) {
        // Stacked by no window manager, above whatever was there; or managed, asking to stay
        // above the others.
        cover = xcb_generate_id(c);
        const uint32_t values[] = {it.data->black_pixel, managed ? 0u : 1u};
        xcb_create_window(c, XCB_COPY_FROM_PARENT, cover, root, 0, 0, uint16_t(coverWidth),
                          uint16_t(coverHeight), 0, XCB_WINDOW_CLASS_INPUT_OUTPUT,
                          it.data->root_visual, XCB_CW_BACK_PIXEL | XCB_CW_OVERRIDE_REDIRECT,
                          values);
        if (managed) {
            const xcb_atom_t states[] = {atom(c, "_NET_WM_STATE_ABOVE"),
                                         atom(c, "_NET_WM_STATE_FULLSCREEN")};
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, cover, atom(c, "_NET_WM_STATE"),
                                XCB_ATOM_ATOM, 32, 2, states);
            xcb_change_property(c, XCB_PROP_MODE_REPLACE, cover, XCB_ATOM_WM_NAME, XCB_ATOM_STRING,
                                8, 8, "VK Cover");
        }
        if (!managed)
            xcb_map_window(c, cover);
        std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    }
    auto* kr = xcb_grab_keyboard_reply(
        c,
        xcb_grab_keyboard(c, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr);
    auto* pr = xcb_grab_pointer_reply(c,
                                      xcb_grab_pointer(c, 0, root, XCB_EVENT_MASK_BUTTON_PRESS,
                                                       XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC,
                                                       XCB_NONE, XCB_NONE, XCB_CURRENT_TIME),
                                      nullptr);
    const bool ok =
        kr && kr->status == XCB_GRAB_STATUS_SUCCESS && pr && pr->status == XCB_GRAB_STATUS_SUCCESS;
    std::free(kr);
    std::free(pr);
    say(ok ? QStringLiteral("held") : QStringLiteral("refused"));
    xcb_flush(c);
    // Hold until a line arrives on stdin (the test says when), at most the given time, or the
    // server ends the connection.
    pollfd fds[2] = {{0, POLLIN, 0}, {xcb_get_file_descriptor(c), POLLIN, 0}};
    QElapsedTimer held;
    held.start();
    // A managed cover is mapped a moment later, over the lock window that came up meanwhile.
    bool toMap = managed && cover != XCB_NONE;
    while (!held.hasExpired(ms) &&
           ::poll(fds, 2, int(qBound<qint64>(0, ms - held.elapsed(), toMap ? 100 : qint64(ms)))) >=
               0 &&
           !(fds[0].revents & POLLIN)) {
        if (toMap && held.hasExpired(ManagedCoverAfterMs)) {
            toMap = false;
            xcb_map_window(c, cover);
            xcb_flush(c);
        }
        while (xcb_generic_event_t* e = xcb_poll_for_event(c))
            std::free(e);
        if (xcb_connection_has_error(c)) {
            say(QStringLiteral("disconnected"));
            xcb_disconnect(c);
            return 3;
        }
    }
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_ungrab_pointer(c, XCB_CURRENT_TIME);
    xcb_flush(c);
    say(QStringLiteral("released"));
    xcb_disconnect(c);
    return ok ? 0 : 1;
}

int askToClose(xcb_window_t window)
{
    xcb_connection_t* c = xcb_connect(nullptr, nullptr);
    if (xcb_connection_has_error(c))
        return 2;
    xcb_client_message_event_t ev = {};
    ev.response_type = XCB_CLIENT_MESSAGE;
    ev.format = 32;
    ev.window = window;
    ev.type = atom(c, "WM_PROTOCOLS");
    ev.data.data32[0] = atom(c, "WM_DELETE_WINDOW");
    ev.data.data32[1] = XCB_CURRENT_TIME;
    xcb_send_event(c, 0, window, XCB_EVENT_MASK_NO_EVENT, reinterpret_cast<const char*>(&ev));
    std::free(xcb_get_input_focus_reply(c, xcb_get_input_focus(c), nullptr));
    say(QStringLiteral("asked"));
    xcb_disconnect(c);
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    const QStringList args = [&] {
        QStringList a;
        for (int i = 1; i < argc; ++i)
            a << QString::fromLocal8Bit(argv[i]);
        return a;
    }();
    if (args.value(0) == QLatin1String("--hold-grab")) {
        const bool cover = args.value(2) == QLatin1String("--cover");
        return holdGrab(args.value(1).toInt(), cover ? args.value(3).toInt() : 0,
                        cover ? args.value(4).toInt() : 0,
                        args.contains(QLatin1String("--managed")));
    }

    if (args.value(0) == QLatin1String("--close"))
        return askToClose(xcb_window_t(args.value(1).toUInt(nullptr, 0)));

    QApplication app(argc, argv);
    Reporter reporter;
    QWidget w;
    auto* lay = new QVBoxLayout(&w);
    auto* edit = new QLineEdit(&w);
    auto* button = new QPushButton(QStringLiteral("Probe"), &w);
    button->setObjectName(QStringLiteral("probebutton"));
    lay->addWidget(edit);
    lay->addWidget(button);
    QObject::connect(button, &QPushButton::clicked, [] { say(QStringLiteral("clicked")); });
    w.installEventFilter(&reporter);
    edit->installEventFilter(&reporter);
    button->installEventFilter(&reporter);

    InputLock lock;
    if (args.value(0) == QLatin1String("--lock")) {
        w.setWindowTitle(QStringLiteral("VK LockProbe"));
        w.setWindowFlags(Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint);
        QObject::connect(&lock, &InputLock::grabsChanged,
                         [](bool held) { say(QStringLiteral("grabs %1").arg(held ? 1 : 0)); });
        // Like the lock screen: cover the screen even where no window manager applies the
        // full-screen state.
        w.setGeometry(w.screen()->geometry());
        w.showFullScreen();
        lock.lock(w.windowHandle());
        edit->setFocus();
        if (args.contains(QLatin1String("--dialog"))) {
            // Our own modal dialog over the lock window, as the staff's settings are.
            auto* dialog = new QDialog(&w);
            dialog->setWindowTitle(QStringLiteral("VK Dialog"));
            auto* dialogEdit = new QLineEdit(dialog);
            dialogEdit->setObjectName(QStringLiteral("dialogedit"));
            (new QVBoxLayout(dialog))->addWidget(dialogEdit);
            QObject::connect(dialogEdit, &QLineEdit::textEdited,
                             [](const QString& t) { say(QStringLiteral("dialog text ") + t); });
            QTimer::singleShot(500, dialog, [dialog] {
                dialog->open();
                say(QStringLiteral("dialog shown"));
            });
        }
        say(QStringLiteral("locked supported=%1 grabs=%2")
                .arg(InputLock::isSupported() ? 1 : 0)
                .arg(lock.grabsHeld() ? 1 : 0));
    } else if (args.value(0) == QLatin1String("--window")) {
        w.setWindowTitle(args.value(1));
        w.setGeometry(60, 60, 320, 200);
        w.show();
        edit->setFocus();
        say(QStringLiteral("shown"));
    } else {
        say(QStringLiteral("usage: lockprobe --lock | --window TITLE | --hold-grab MS [--cover W "
                           "H] | --close ID"));
        return 2;
    }
    return app.exec();
}
