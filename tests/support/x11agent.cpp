// SPDX-License-Identifier: Apache-2.0
#include "support/x11agent.h"

#include "support/systemwait.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTest>

X11Agent::X11Agent() = default;

X11Agent::~X11Agent()
{
    if (m_agent) {
        m_agent->kill();
    }
    m_agent.reset();
    m_console.reset();
    m_home.reset();
    m_x.stop();
}

QString X11Agent::start(const QString& terminalName, quint16 consolePort)
{
    if (!QFileInfo(AgentProcess::executable()).isExecutable()) {
        return QStringLiteral("the agent is not built: ") + AgentProcess::executable();
    }
    if (!m_x.start(true, ScreenWidth, ScreenHeight)) {
        return QStringLiteral("could not start Xvfb and the window manager");
    }
    m_home = std::make_unique<TestHome>();
    if (consolePort == 0) {
        m_console = std::make_unique<AgentTestConsole>();
        if (!m_console->listen()) {
            return QStringLiteral("the test console cannot listen");
        }
        consolePort = m_console->port();
    }
    AgentProcess::seedServer(QStringLiteral("127.0.0.1"), consolePort, terminalName, true);

    m_agent = std::make_unique<AgentProcess>();
    QProcess& p = m_agent->process();
    p.setProcessEnvironment(m_agent->environment(m_x.environment()));
    p.setWorkingDirectory(m_home->path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    if (!startAgent()) {
        return QStringLiteral("the agent did not start");
    }
    if (m_console && !m_console->waitForAgent(StepMs)) {
        return QStringLiteral("the agent never connected: ") + output();
    }
    return {};
}

bool X11Agent::startAgent()
{
    QProcess& p = m_agent->process();
    p.start(AgentProcess::executable(), {});
    return p.waitForStarted(5000);
}

bool X11Agent::lockScreenActive()
{
    const QString id = xdotool({QStringLiteral("getactivewindow")});
    if (id.isEmpty()) {
        return false;
    }
    const QString geometry =
        xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), id});
    if (!geometry.contains(QStringLiteral("WIDTH=%1\n").arg(ScreenWidth)) ||
        !geometry.contains(QStringLiteral("HEIGHT=%1").arg(ScreenHeight))) {
        return false;
    }
    m_lockWindow = id;
    return true;
}

void X11Agent::verifyLockHoldsAgainst(const QString& victimName)
{
    // Another program opens a window after the lock screen (xev reports every key and button
    // that reaches it): the lock screen comes back above it.
    LineProcess victim(QStandardPaths::findExecutable(QStringLiteral("xev")),
                       {QStringLiteral("-name"), victimName, QStringLiteral("-geometry"),
                        QStringLiteral("300x200+100+100"), QStringLiteral("-event"),
                        QStringLiteral("keyboard"), QStringLiteral("-event"),
                        QStringLiteral("button")},
                       m_x.environment());
    QVERIFY(victim.started());
    QVERIFY(!m_x.windowId(QLatin1Char('^') + victimName + QLatin1Char('$'), StepMs).isEmpty());
    QVERIFY2(SystemTest::waitUntil([this] { return lockScreenActive(); }, StepMs),
             "no full-screen lock window");
    const QString lockWindow = m_lockWindow;
    QTRY_COMPARE_WITH_TIMEOUT(m_x.topClientWindow(), lockWindow, StepMs);

    // The window manager's and the desktop's keys, typing and a click where the other window
    // lies reach nothing but the lock screen, which stays focused and on top.
    key(QStringLiteral("alt+Tab"));
    key(QStringLiteral("alt+F4"));
    key(QStringLiteral("ctrl+Escape"));
    key(QStringLiteral("super"));
    type(QStringLiteral("q"));
    xdotool({QStringLiteral("mousemove"), QStringLiteral("150"), QStringLiteral("150"),
             QStringLiteral("click"), QStringLiteral("1")});
    QTest::qWait(500);
    QVERIFY2(victim.running(), "the other window was closed");
    QCOMPARE(victim.linesStarting(QStringLiteral("KeyPress")), QStringList());
    QCOMPARE(victim.linesStarting(QStringLiteral("ButtonPress")), QStringList());
    QVERIFY2(m_agent->process().state() == QProcess::Running, qPrintable(output()));
    QVERIFY(lockScreenActive());
    QCOMPARE(m_lockWindow, lockWindow);
    QCOMPARE(m_x.topClientWindow(), lockWindow);
    QCOMPARE(state().value(QStringLiteral("lockScreenVisible")).toBool(), true);
}

bool X11Agent::grabsHeldByAgent()
{
    LineProcess probe(QCoreApplication::applicationDirPath() + QStringLiteral("/lockprobe"),
                      {QStringLiteral("--hold-grab"), QStringLiteral("0")}, m_x.environment());
    return probe.started() && probe.waitForLine(QStringLiteral("refused"), StepMs);
}

void X11Agent::verifyStillLocked()
{
    QVERIFY2(m_agent->process().state() == QProcess::Running, qPrintable(output()));
    QVERIFY(SystemTest::waitUntil([this] { return lockScreenActive(); }, StepMs));
    QTRY_COMPARE_WITH_TIMEOUT(m_x.topClientWindow(), m_lockWindow, StepMs);
    QVERIFY2(grabsHeldByAgent(), "another client could take the keyboard and pointer");
    const QJsonObject s = state();
    QCOMPARE(s.value(QStringLiteral("keysLocked")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("lockScreenVisible")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("sessionWindow")).toBool(), false);
}
