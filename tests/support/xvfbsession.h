// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

#include <memory>

// A child process whose standard output is collected line by line.
class LineProcess
{
public:
    LineProcess(const QString& program, const QStringList& args, const QProcessEnvironment& env,
                const QString& workingDirectory = {});
    ~LineProcess();
    LineProcess(const LineProcess&) = delete;
    LineProcess& operator=(const LineProcess&) = delete;

    bool started() { return m_p.waitForStarted(5000); }
    bool running() const { return m_p.state() == QProcess::Running; }
    QStringList lines();
    bool waitForLine(const QString& line, int timeoutMs);
    // Lines starting with the prefix.
    QStringList linesStarting(const QString& prefix);
    QProcess& process() { return m_p; }

private:
    QProcess m_p;
    QString m_out;
};

// A private X server (Xvfb on a display it picks itself) with or without openbox on it, and
// the X command-line tools the tests drive it with.
class XvfbSession
{
public:
    XvfbSession();
    ~XvfbSession();
    XvfbSession(const XvfbSession&) = delete;
    XvfbSession& operator=(const XvfbSession&) = delete;

    // Why the session cannot run here ("" when every program is installed).
    static QString missingPrograms();

    bool start(bool withWindowManager, int width = 1024, int height = 768);
    void stop();
    // The system environment pointed at this display, with Qt on xcb.
    QProcessEnvironment environment() const { return m_env; }

    // Runs a program against this display and returns its trimmed standard output.
    QString run(const QString& program, const QStringList& args) const;
    QString xdotool(const QStringList& args) const { return run(m_xdotool, args); }
    // The first window whose name matches the pattern, waiting up to the timeout (decimal id).
    QString windowId(const QString& namePattern, int timeoutMs = 5000) const;
    // Whether a mapped window's name matches the pattern right now.
    bool hasVisibleWindow(const QString& namePattern) const;
    // Whether the window (decimal id) is mapped and all its ancestors too.
    bool isViewable(const QString& id) const;
    // Another X client's attempt at the keyboard grab is refused right now: someone holds it.
    bool keyboardTaken() const;
    // The top-most client window as the window manager stacks them (decimal id).
    QString topClientWindow() const;
    // The top-most mapped child of the root window (decimal id), for a display without a
    // window manager.
    QString topRootChild() const;

private:
    QString m_xvfb, m_openbox, m_xdotool, m_xprop, m_xwininfo;
    std::unique_ptr<LineProcess> m_x;
    std::unique_ptr<LineProcess> m_wm;
    QString m_display;
    QProcessEnvironment m_env;
};
