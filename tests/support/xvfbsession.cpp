// SPDX-License-Identifier: Apache-2.0
#include "support/xvfbsession.h"

#include "support/systemwait.h"

#include <QDeadlineTimer>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTest>

#include <xcb/xcb.h>

#include <cstdlib>

LineProcess::LineProcess(const QString& program, const QStringList& args,
                         const QProcessEnvironment& env, const QString& workingDirectory)
{
    m_p.setWorkingDirectory(workingDirectory);
    m_p.setProgram(program);
    m_p.setArguments(args);
    m_p.setProcessEnvironment(env);
    m_p.setProcessChannelMode(QProcess::SeparateChannels);
    m_p.start();
}

LineProcess::~LineProcess()
{
    if (m_p.state() != QProcess::NotRunning) {
        m_p.terminate();
        if (!m_p.waitForFinished(2000)) {
            m_p.kill();
            m_p.waitForFinished(2000);
        }
    }
}

QStringList LineProcess::lines()
{
    m_out += QString::fromLocal8Bit(m_p.readAllStandardOutput());
    return m_out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
}

bool LineProcess::waitForLine(const QString& line, int timeoutMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!deadline.hasExpired()) {
        if (lines().contains(line)) {
            return true;
        }
        m_p.waitForReadyRead(50);
    }
    return lines().contains(line);
}

QStringList LineProcess::linesStarting(const QString& prefix)
{
    return lines().filter(
        QRegularExpression(QLatin1Char('^') + QRegularExpression::escape(prefix)));
}

XvfbSession::XvfbSession()
    : m_xvfb(QStandardPaths::findExecutable(QStringLiteral("Xvfb"))),
      m_openbox(QStandardPaths::findExecutable(QStringLiteral("openbox"))),
      m_xdotool(QStandardPaths::findExecutable(QStringLiteral("xdotool"))),
      m_xprop(QStandardPaths::findExecutable(QStringLiteral("xprop"))),
      m_xwininfo(QStandardPaths::findExecutable(QStringLiteral("xwininfo")))
{
}

XvfbSession::~XvfbSession()
{
    stop();
}

QString XvfbSession::missingPrograms()
{
    QStringList missing;
    for (const char* p : {"Xvfb", "openbox", "xdotool", "xprop", "xwininfo", "xev"}) {
        if (QStandardPaths::findExecutable(QString::fromLatin1(p)).isEmpty()) {
            missing << QString::fromLatin1(p);
        }
    }
    if (missing.isEmpty()) {
        return {};
    }
    return QStringLiteral("needs %1 (packages xvfb, openbox, xdotool, x11-utils)")
        .arg(missing.join(QStringLiteral(", ")));
}

bool XvfbSession::start(bool withWindowManager, int width, int height)
{
    stop();
    if (!missingPrograms().isEmpty()) {
        return false;
    }
    // -displayfd: the server picks a free display itself and writes its number to stdout.
    m_x = std::make_unique<LineProcess>(
        m_xvfb,
        QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"), QStringLiteral("-screen"),
                    QStringLiteral("0"), QStringLiteral("%1x%2x24").arg(width).arg(height),
                    QStringLiteral("-nolisten"), QStringLiteral("tcp")},
        QProcessEnvironment::systemEnvironment());
    if (!m_x->started()) {
        return false;
    }
    QDeadlineTimer deadline(15000);
    while (m_display.isEmpty() && !deadline.hasExpired()) {
        m_x->process().waitForReadyRead(100);
        const QStringList l = m_x->lines();
        if (!l.isEmpty()) {
            m_display = QLatin1Char(':') + l.first().trimmed();
        }
    }
    if (m_display.isEmpty()) {
        return false;
    }
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("DISPLAY"), m_display);
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (!withWindowManager) {
        return true;
    }
    m_wm = std::make_unique<LineProcess>(m_openbox, QStringList{}, m_env);
    if (!m_wm->started()) {
        return false;
    }
    while (!deadline.hasExpired()) {
        if (run(m_xprop, {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")})
                .contains(QLatin1String("window id"))) {
            return true;
        }
        QTest::qWait(100);
    }
    return false;
}

void XvfbSession::stop()
{
    m_wm.reset();
    m_x.reset();
    m_display.clear();
}

QString XvfbSession::run(const QString& program, const QStringList& args) const
{
    QProcess p;
    p.setProcessEnvironment(m_env);
    p.start(program, args);
    if (!p.waitForFinished(10000)) {
        p.kill();
        p.waitForFinished(2000);
        return {};
    }
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

QString XvfbSession::windowId(const QString& namePattern, int timeoutMs) const
{
    QString id;
    SystemTest::waitUntil(
        [&] {
            id = xdotool({QStringLiteral("search"), QStringLiteral("--name"), namePattern})
                     .section(QLatin1Char('\n'), 0, 0);
            return !id.isEmpty();
        },
        timeoutMs);
    return id;
}

bool XvfbSession::hasVisibleWindow(const QString& namePattern) const
{
    return !xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                     QStringLiteral("--name"), namePattern})
                .isEmpty();
}

bool XvfbSession::isViewable(const QString& id) const
{
    return run(m_xwininfo, {QStringLiteral("-id"), id}).contains(QLatin1String("IsViewable"));
}

bool XvfbSession::keyboardTaken() const
{
    xcb_connection_t* c = xcb_connect(m_display.toLocal8Bit().constData(), nullptr);
    if (xcb_connection_has_error(c)) {
        xcb_disconnect(c);
        return false;
    }
    const xcb_window_t root = xcb_setup_roots_iterator(xcb_get_setup(c)).data->root;
    xcb_grab_keyboard_reply_t* r = xcb_grab_keyboard_reply(
        c,
        xcb_grab_keyboard(c, 0, root, XCB_CURRENT_TIME, XCB_GRAB_MODE_ASYNC, XCB_GRAB_MODE_ASYNC),
        nullptr);
    const bool taken = !r || r->status != XCB_GRAB_STATUS_SUCCESS;
    std::free(r);
    xcb_ungrab_keyboard(c, XCB_CURRENT_TIME);
    xcb_disconnect(c);
    return taken;
}

QString XvfbSession::topClientWindow() const
{
    const QString out =
        run(m_xprop, {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")});
    const QString last = out.section(QLatin1Char(','), -1).section(QLatin1Char('#'), -1).trimmed();
    bool ok = false;
    const qulonglong v = last.toULongLong(&ok, 16);
    return ok ? QString::number(v) : QString();
}

QString XvfbSession::topRootChild() const
{
    const QString out = run(m_xwininfo, {QStringLiteral("-root"), QStringLiteral("-children")});
    // xwininfo lists the children from the top of the stack down.
    const QStringList lines = out.split(QLatin1Char('\n'));
    for (const QString& l : lines) {
        const QString s = l.trimmed();
        if (!s.startsWith(QLatin1String("0x"))) {
            continue;
        }
        const QString idText = s.section(QLatin1Char(' '), 0, 0);
        if (isViewable(idText)) {
            return QString::number(idText.toULongLong(nullptr, 16));
        }
    }
    return {};
}
