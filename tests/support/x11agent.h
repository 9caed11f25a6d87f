// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "support/agentprocess.h"
#include "support/testhome.h"
#include "support/xvfbsession.h"

#include <QJsonObject>
#include <QString>

#include <memory>

// The real agent as on a workstation: on a private X server with openbox, in a fresh home,
// connected to a test console on loopback (or to a console the test runs itself). Driven with
// real key presses and clicks through the XTEST extension (xdotool).
class X11Agent
{
public:
    static constexpr int ScreenWidth = 1024;
    static constexpr int ScreenHeight = 768;
    // Every step waits at most this long for the agent.
    static constexpr int StepMs = 15000;

    X11Agent();
    ~X11Agent();
    X11Agent(const X11Agent&) = delete;
    X11Agent& operator=(const X11Agent&) = delete;

    // Starts the X server, the console and the agent under that terminal name, and waits for
    // the agent's connection. Why it could not ("" when all is up). Given a port, the agent
    // connects to the console listening there instead, and its connection is the caller's to
    // wait for.
    QString start(const QString& terminalName, quint16 consolePort = 0);
    // Starts the agent program (again), as the user service does after it ended.
    bool startAgent();

    XvfbSession& x() { return m_x; }
    AgentTestConsole& console() { return *m_console; }
    AgentProcess& agent() { return *m_agent; }
    TestHome& home() { return *m_home; }
    QJsonObject state() { return m_agent->state(); }
    bool waitState(const QString& key, const QJsonValue& value)
    {
        return m_agent->waitState(key, value, StepMs);
    }
    QString output() { return QString::fromLocal8Bit(m_agent->process().readAll()); }

    QString xdotool(const QStringList& args) const { return m_x.xdotool(args); }
    void key(const QString& keys) const { xdotool({QStringLiteral("key"), keys}); }
    // Several key chords separated by blanks, each pressed on its own, in order.
    void keys(const QString& chords) const
    {
        for (const QString& chord : chords.split(QLatin1Char(' '), Qt::SkipEmptyParts)) {
            key(chord);
        }
    }
    void type(const QString& text) const
    {
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
    }

    // The focused window covers the whole screen: the lock screen has the keyboard. Its id is
    // kept as lockWindow().
    bool lockScreenActive();
    QString lockWindow() const { return m_lockWindow; }
    // Key chords and a click sent while the lock screen is up reach no other window, and the
    // lock screen stays focused and on top (checked with QVERIFY: look at the test's result).
    void verifyLockHoldsAgainst(const QString& victimName);
    // Another client cannot take the keyboard and pointer: the agent holds them (asked
    // through the lockprobe program built beside the test).
    bool grabsHeldByAgent();
    // Shown, focused, on top, grabbed and locked, with the agent running (checked with
    // QVERIFY: look at the test's result).
    void verifyStillLocked();

private:
    XvfbSession m_x;
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<AgentTestConsole> m_console;
    std::unique_ptr<AgentProcess> m_agent;
    QString m_lockWindow;
};
