// The real agent on a real X server (Xvfb with openbox), driven by a test console on loopback
// and by real key presses and clicks through the XTEST extension (xdotool): locked, the keys a
// customer tries, options, password check (with a console that does not answer), a session with
// warnings and the automatic logout, the end of the session, and the staff's settings opened from
// the lock screen.

#include "client/core/agentcontroller.h"
#include "client/core/agentsettings.h"
#include "client/core/staffsettings.h"
#include "common/protocol.h"
#include "support/agentprocess.h"
#include "support/testhome.h"
#include "support/xvfbsession.h"

#include <QDateTime>
#include <QDeadlineTimer>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QtTest>

#include <functional>
#include <memory>

namespace {

constexpr int ScreenWidth = 1024;
constexpr int ScreenHeight = 768;
// Every step waits at most this long for the agent.
constexpr int StepMs = 15000;

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = StepMs)
{
    QDeadlineTimer deadline(timeoutMs);
    while (!condition()) {
        if (deadline.hasExpired()) {
            return false;
        }
        QTest::qWait(50);
    }
    return true;
}

} // namespace

class TstAgentX11 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void cleanupTestCase();

    // In order: each case carries on from where the previous one left the agent.
    void startsLockedAndKeepsTheKeys();
    void keysLeaveItLocked_data();
    void keysLeaveItLocked();
    void optionsAndPasswordCheck();
    void sessionWithWarningAndAutomaticLogout();
    void endOfSessionLocksAgain();
    void staffSettingsFromTheSystemMenu();
    void killedInSessionComesBackLockedAndResumes();
    void slowFailingRestartLocksFirst();

private:
    bool startAgent();
    // Key chords and a click sent while the lock screen is up reach no other window.
    void verifyLockHoldsAgainst(const QString& victimName);
    QString xdotool(const QStringList& args) { return m_x.xdotool(args); }
    void key(const QString& keys) { xdotool({QStringLiteral("key"), keys}); }
    void type(const QString& text)
    {
        xdotool({QStringLiteral("type"), QStringLiteral("--delay"), QStringLiteral("30"), text});
    }
    // The focused window covers the whole screen: the lock screen has the keyboard.
    bool lockScreenActive();
    // Another client cannot take the keyboard and pointer: the agent holds them.
    bool grabsHeldByAgent();
    // Shown, focused, on top, grabbed and locked, with the agent running.
    void verifyStillLocked();
    QJsonObject state() { return m_agent->state(); }
    bool waitState(const QString& k, const QJsonValue& v)
    {
        return m_agent->waitState(k, v, StepMs);
    }
    QString openSettingsPassword();
    void clickSystemButton();
    // Types into the settings password window; the settings window's id when it opened.
    QString typeSettingsPassword(const QString& password);
    bool closeSettings();
    QString agentOutput() { return QString::fromLocal8Bit(m_agent->process().readAll()); }

    QString m_skip;
    XvfbSession m_x;
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<AgentTestConsole> m_console;
    std::unique_ptr<AgentProcess> m_agent;
    QString m_lockWindow;
    QString m_probe;
};

bool TstAgentX11::lockScreenActive()
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

bool TstAgentX11::grabsHeldByAgent()
{
    LineProcess probe(m_probe, {QStringLiteral("--hold-grab"), QStringLiteral("0")},
                      m_x.environment());
    return probe.started() && probe.waitForLine(QStringLiteral("refused"), StepMs);
}

void TstAgentX11::verifyStillLocked()
{
    QVERIFY2(m_agent->process().state() == QProcess::Running, qPrintable(agentOutput()));
    QVERIFY(waitUntil([this] { return lockScreenActive(); }));
    QTRY_COMPARE_WITH_TIMEOUT(m_x.topClientWindow(), m_lockWindow, StepMs);
    QVERIFY2(grabsHeldByAgent(), "another client could take the keyboard and pointer");
    const QJsonObject s = state();
    QCOMPARE(s.value(QStringLiteral("keysLocked")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("lockScreenVisible")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("sessionWindow")).toBool(), false);
}

void TstAgentX11::initTestCase()
{
    m_skip = XvfbSession::missingPrograms();
    if (!m_skip.isEmpty()) {
        QSKIP(qPrintable(m_skip));
    }
    m_probe = QCoreApplication::applicationDirPath() + QStringLiteral("/lockprobe");
    QVERIFY2(QFileInfo(m_probe).isExecutable(),
             qPrintable(QStringLiteral("the lockprobe program is not built: ") + m_probe));
    QVERIFY2(QFileInfo(AgentProcess::executable()).isExecutable(),
             qPrintable(QStringLiteral("the agent is not built: ") + AgentProcess::executable()));
    QVERIFY2(m_x.start(true, ScreenWidth, ScreenHeight),
             "could not start Xvfb and the window manager");

    m_home = std::make_unique<TestHome>();
    m_console = std::make_unique<AgentTestConsole>();
    QVERIFY(m_console->listen());
    AgentProcess::seedServer(QStringLiteral("127.0.0.1"), m_console->port(),
                             QStringLiteral("PC-X11"), true);

    // The agent as on a workstation: on the X server, not offscreen.
    m_agent = std::make_unique<AgentProcess>();
    QProcessEnvironment env = m_x.environment();
    env.insert(QStringLiteral("VANTIROKIT_HOME"), m_home->path());
    env.insert(QStringLiteral("VANTIROKIT_AGENT_STATE_FILE"), m_agent->stateFile());
    env.insert(QStringLiteral("VANTIROKIT_POWER_COMMAND"),
               QStringLiteral("sh '%1'").arg(QDir::current().filePath(QStringLiteral("power.sh"))));
    env.insert(QStringLiteral("VANTIROKIT_WAKE_PORT"), QStringLiteral("0"));
    QProcess& p = m_agent->process();
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(m_home->path());
    p.setProcessChannelMode(QProcess::MergedChannels);
    QVERIFY(startAgent());
    QVERIFY2(m_console->waitForAgent(StepMs), qPrintable(agentOutput()));
}

bool TstAgentX11::startAgent()
{
    QProcess& p = m_agent->process();
    p.start(AgentProcess::executable(), {});
    return p.waitForStarted(5000);
}

void TstAgentX11::verifyLockHoldsAgainst(const QString& victimName)
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
    QVERIFY2(waitUntil([this] { return lockScreenActive(); }), "no full-screen lock window");
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
    QVERIFY2(m_agent->process().state() == QProcess::Running, qPrintable(agentOutput()));
    QVERIFY(lockScreenActive());
    QCOMPARE(m_lockWindow, lockWindow);
    QCOMPARE(m_x.topClientWindow(), lockWindow);
    QCOMPARE(state().value(QStringLiteral("lockScreenVisible")).toBool(), true);
}

void TstAgentX11::cleanupTestCase()
{
    if (m_agent) {
        m_agent->kill();
    }
    m_agent.reset();
    m_console.reset();
    m_home.reset();
    m_x.stop();
}

void TstAgentX11::startsLockedAndKeepsTheKeys()
{
    m_console->send(Proto::Lock + Proto::CName);
    QVERIFY(m_console->waitFor(Proto::CNameReplyEnd, StepMs));
    QCOMPARE(m_console->received(), QByteArray("|CNAME`|PC-X11|<endname|"));
    QVERIFY(waitState(QStringLiteral("keysLocked"), true));
    QVERIFY(waitState(QStringLiteral("lockScreenVisible"), true));
    QCOMPARE(state().value(QStringLiteral("caption")).toString(), AgentSettings::AppTitle);
    verifyLockHoldsAgainst(QStringLiteral("VK Victim"));
    QCOMPARE(m_console->received(), QByteArray("|CNAME`|PC-X11|<endname|"));
}

void TstAgentX11::keysLeaveItLocked_data()
{
    QTest::addColumn<QString>("keys");
    QTest::addColumn<bool>("asksPassword");
    for (int f = 1; f <= 12; ++f) {
        const QString k = QStringLiteral("F%1").arg(f);
        // The service keys only ask for the staff password.
        QTest::newRow(qPrintable(k)) << k << (f >= 11);
    }
    for (const char* chord :
         {"alt+F4", "alt+Tab", "ctrl+alt+BackSpace", "ctrl+alt+Delete", "super", "ctrl+Escape",
          "ctrl+w", "ctrl+q", "Escape", "alt+F2", "ctrl+alt+F1", "shift+F10", "Menu"}) {
        QTest::newRow(chord) << QString::fromLatin1(chord) << false;
    }
}

void TstAgentX11::keysLeaveItLocked()
{
    QFETCH(QString, keys);
    QFETCH(bool, asksPassword);
    QVERIFY(waitUntil([this] { return lockScreenActive(); }));
    key(keys);
    if (asksPassword) {
        QVERIFY(!m_x.windowId(QStringLiteral("^Password$"), StepMs).isEmpty());
        QVERIFY(waitUntil([this] { return m_x.hasVisibleWindow(QStringLiteral("^Password$")); }));
        // Our own window above the lock, which still holds the keys.
        QVERIFY2(grabsHeldByAgent(), "another client could take the keyboard and pointer");
        QCOMPARE(state().value(QStringLiteral("lockScreenVisible")).toBool(), true);
        // Given up without a password: nothing happened.
        key(QStringLiteral("Escape"));
        QVERIFY(waitUntil([this] { return !m_x.hasVisibleWindow(QStringLiteral("^Password$")); }));
    } else {
        QTest::qWait(300);
        QVERIFY(!m_x.hasVisibleWindow(QStringLiteral("^Password$")));
    }
    verifyStillLocked();
}

void TstAgentX11::optionsAndPasswordCheck()
{
    m_console->clearReceived();
    m_console->send(Proto::ShowOptionsWithPassword);
    QVERIFY(waitState(QStringLiteral("optionsVisible"), true));
    QCOMPARE(state().value(QStringLiteral("passwordVisible")).toBool(), true);
    QVERIFY(waitUntil([this] { return lockScreenActive(); }));

    // The customer types the surf time into the field the options panel focused, jumps to
    // the password with its access key and presses Enter. The keys are sent again should the
    // first ones have come before the focus settled (the fields are selected first, so a
    // repeat replaces instead of appending).
    const QByteArray expected = Proto::checkPassword(QStringLiteral("secret7"));
    QCOMPARE(expected, QByteArray("|CHECK_PASSWORD|secret7<PSW"));
    bool sent = false;
    for (int attempt = 0; attempt < 3 && !sent; ++attempt) {
        key(QStringLiteral("ctrl+a"));
        type(QStringLiteral("45"));
        key(QStringLiteral("alt+p"));
        key(QStringLiteral("ctrl+a"));
        type(QStringLiteral("secret7"));
        key(QStringLiteral("Return"));
        sent = m_console->waitFor(Proto::CheckPassword, 4000);
    }
    QVERIFY2(sent, qPrintable(QString::fromLatin1(m_console->received())));
    QVERIFY(m_console->waitFor(Proto::CheckPasswordEnd, StepMs));
    QCOMPARE(m_console->received(), expected);
    QCOMPARE(state().value(QStringLiteral("surfupto")).toString(), QStringLiteral("45"));

    // The console says nothing: the lock holds while it checks, then the panel comes back.
    QCOMPARE(state().value(QStringLiteral("caption")).toString(),
             AgentController::CheckingPasswordText);
    QCOMPARE(state().value(QStringLiteral("checkingPassword")).toBool(), true);
    verifyStillLocked();
    QVERIFY(m_agent->waitState(QStringLiteral("caption"), AgentController::NoAnswerText,
                               AgentController::PasswordCheckTimeoutMs + StepMs));
    QCOMPARE(state().value(QStringLiteral("optionsVisible")).toBool(), true);
    verifyStillLocked();

    // Asked again, the password field still filled.
    m_console->clearReceived();
    sent = false;
    for (int attempt = 0; attempt < 3 && !sent; ++attempt) {
        key(QStringLiteral("alt+p"));
        key(QStringLiteral("Return"));
        sent = m_console->waitFor(Proto::CheckPasswordEnd, 4000);
    }
    QVERIFY2(sent, qPrintable(QString::fromLatin1(m_console->received())));
    QCOMPARE(m_console->received(), expected);

    // Refused: the lock screen comes back with the options and the message.
    m_console->send(Proto::PasswordNotValid);
    QVERIFY(waitState(QStringLiteral("caption"),
                      QStringLiteral("Invalid Password, Please Re Enter Password")));
    QJsonObject s = state();
    QCOMPARE(s.value(QStringLiteral("lockScreenVisible")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("optionsVisible")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("keysLocked")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("sessionWindow")).toBool(), false);
    QVERIFY(waitUntil([this] { return lockScreenActive(); }));

    // Accepted: the console starts the session.
    m_console->send(Proto::StartSession);
    QVERIFY(waitState(QStringLiteral("sessionWindow"), true));
    s = state();
    QCOMPARE(s.value(QStringLiteral("keysLocked")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("lockScreenVisible")).toBool(), false);
    QVERIFY(!m_x.windowId(QLatin1Char('^') + AgentSettings::AppTitle + QLatin1Char('$'), StepMs)
                 .isEmpty());
    QVERIFY(waitUntil([this] { return !lockScreenActive(); }));
}

void TstAgentX11::sessionWithWarningAndAutomaticLogout()
{
    m_console->clearReceived();
    // A 10-minute session started 9 minutes ago: the warning with a minute left.
    QDateTime start = QDateTime::currentDateTime().addSecs(-9 * 60 - 5);
    m_console->send(Proto::setDateTime(start) + Proto::autologoutMinutes(10) + Proto::StartSession);
    QVERIFY(waitState(QStringLiteral("warning"), true));
    QCOMPARE(state().value(QStringLiteral("warningMinutes")).toInt(), 1);
    QCOMPARE(state().value(QStringLiteral("sessionWindow")).toBool(), true);
    QVERIFY2(waitUntil([this] { return m_x.hasVisibleWindow(QStringLiteral("^Warning$")); }),
             "the warning window is not on the screen");
    QVERIFY(!m_console->received().contains(Proto::Autologout));

    // The limit reached: the agent asks the console to log it out, and again each second.
    start = QDateTime::currentDateTime().addSecs(-10 * 60 - 2);
    m_console->send(Proto::setDateTime(start) + Proto::autologoutMinutes(10));
    QVERIFY(m_console->waitFor(Proto::Autologout + Proto::Autologout, StepMs));
    QVERIFY(waitUntil(
        [this] { return state().value(QStringLiteral("autologoutsSent")).toInt() >= 2; }));
}

void TstAgentX11::endOfSessionLocksAgain()
{
    m_console->send(Proto::EndSession);
    QVERIFY(waitState(QStringLiteral("sessionWindow"), false));
    QVERIFY(waitState(QStringLiteral("lockScreenVisible"), true));
    const QJsonObject s = state();
    QCOMPARE(s.value(QStringLiteral("keysLocked")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("warning")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("optionsVisible")).toBool(), false);
    QVERIFY(waitUntil([this] { return lockScreenActive(); }));
    QTRY_COMPARE_WITH_TIMEOUT(m_x.topClientWindow(), m_lockWindow, StepMs);
    QVERIFY(waitUntil([this] {
        return !m_x.hasVisibleWindow(QStringLiteral("^Warning$")) &&
               !m_x.hasVisibleWindow(QLatin1Char('^') + AgentSettings::AppTitle);
    }));
    // The automatic logout requests stopped with the session.
    QTest::qWait(300);
    const int sent = m_console->count(Proto::Autologout);
    QTest::qWait(1500);
    QCOMPARE(m_console->count(Proto::Autologout), sent);
}

QString TstAgentX11::openSettingsPassword()
{
    if (!waitUntil([this] { return lockScreenActive(); })) {
        return {};
    }
    // The System button sits at the left end of the task bar along the bottom edge; its menu's
    // first item is Settings, which asks for the settings password.
    QString passwordWindow;
    for (int attempt = 0; attempt < 3 && passwordWindow.isEmpty(); ++attempt) {
        clickSystemButton();
        key(QStringLiteral("Down"));
        key(QStringLiteral("Return"));
        passwordWindow = m_x.windowId(QStringLiteral("^Password$"), 4000);
        if (passwordWindow.isEmpty()) {
            key(QStringLiteral("Escape"));
        }
    }
    if (!passwordWindow.isEmpty() &&
        !waitUntil([this] { return m_x.hasVisibleWindow(QStringLiteral("^Password$")); })) {
        return {};
    }
    return passwordWindow;
}

void TstAgentX11::clickSystemButton()
{
    xdotool({QStringLiteral("mousemove"), QStringLiteral("20"), QString::number(ScreenHeight - 10),
             QStringLiteral("click"), QStringLiteral("1")});
    // The menu opens under the pointer; give it its moment before the keys.
    QTest::qWait(300);
}

QString TstAgentX11::typeSettingsPassword(const QString& password)
{
    key(QStringLiteral("ctrl+a"));
    type(password);
    key(QStringLiteral("Return"));
    const QString id = m_x.windowId(QStringLiteral("^VK Client Settings$"), 4000);
    if (!id.isEmpty() && !waitUntil([this] {
            return m_x.hasVisibleWindow(QStringLiteral("^VK Client Settings$"));
        })) {
        return {};
    }
    return id;
}

bool TstAgentX11::closeSettings()
{
    key(QStringLiteral("Escape"));
    // Back to the lock screen, focused, on top and still holding the keys.
    return waitUntil([this] {
               return !m_x.hasVisibleWindow(QStringLiteral("^VK Client Settings$")) &&
                      !m_x.hasVisibleWindow(QStringLiteral("^Password$"));
           }) &&
           waitUntil(
               [this] { return lockScreenActive() && m_x.topClientWindow() == m_lockWindow; }) &&
           state().value(QStringLiteral("keysLocked")).toBool();
}

void TstAgentX11::staffSettingsFromTheSystemMenu()
{
    QVERIFY2(!openSettingsPassword().isEmpty(), "the settings password window did not open");
    // The staff type the password straight away: the window has the keyboard.
    const QString settingsWindow = typeSettingsPassword(QStringLiteral("TOVLE"));
    QVERIFY2(!settingsWindow.isEmpty(), "the settings window did not open");
    QVERIFY(!m_x.hasVisibleWindow(QStringLiteral("^Password$")));
    // Above the lock screen while open.
    QTRY_COMPARE_WITH_TIMEOUT(m_x.topClientWindow(), settingsWindow, StepMs);

    // Password Change, the third button: old, new and confirmed password, then Save.
    key(QStringLiteral("Tab"));
    key(QStringLiteral("Tab"));
    key(QStringLiteral("space"));
    type(QStringLiteral("TOVLE"));
    key(QStringLiteral("Tab"));
    type(QStringLiteral("Cafe9"));
    key(QStringLiteral("Tab"));
    type(QStringLiteral("Cafe9"));
    key(QStringLiteral("Tab"));
    key(QStringLiteral("space"));
    AgentSettings stored;
    QVERIFY2(waitUntil([&stored] {
                 return StaffSettings(stored).passwordMatches(QStringLiteral("Cafe9"));
             }),
             "the new settings password was not stored");
    QVERIFY(!StaffSettings(stored).passwordMatches(QStringLiteral("TOVLE")));
    QVERIFY2(closeSettings(), "the lock screen did not come back after the settings");

    // Next time the old password is refused with a message, and the new one opens the settings.
    QVERIFY2(!openSettingsPassword().isEmpty(), "the settings password window did not open");
    key(QStringLiteral("ctrl+a"));
    type(QStringLiteral("TOVLE"));
    key(QStringLiteral("Return"));
    QVERIFY(!m_x.windowId(QStringLiteral("^Message$"), StepMs).isEmpty());
    QVERIFY(!m_x.hasVisibleWindow(QStringLiteral("^VK Client Settings$")));
    key(QStringLiteral("Return"));
    QVERIFY(waitUntil([this] { return !m_x.hasVisibleWindow(QStringLiteral("^Message$")); }));
    QVERIFY(m_x.hasVisibleWindow(QStringLiteral("^Password$")));
    QVERIFY2(!typeSettingsPassword(QStringLiteral("Cafe9")).isEmpty(),
             "the settings window did not open with the new password");
    QVERIFY2(closeSettings(), "the lock screen did not come back after the settings");

    // The password also enabled Restart, the item after Settings.
    QVERIFY(m_agent->powerCalls().isEmpty());
    clickSystemButton();
    key(QStringLiteral("Down"));
    key(QStringLiteral("Down"));
    key(QStringLiteral("Return"));
    QTRY_COMPARE_WITH_TIMEOUT(m_agent->powerCalls(), QStringLiteral("reboot"), StepMs);
}

void TstAgentX11::killedInSessionComesBackLockedAndResumes()
{
    // A session that began 20 minutes ago, as the console started it.
    const QDateTime start = QDateTime::currentDateTime().addSecs(-20 * 60);
    m_console->send(Proto::setDateTime(start) + Proto::StartSession);
    QVERIFY(waitState(QStringLiteral("sessionWindow"), true));
    QVERIFY(waitUntil([this] { return !lockScreenActive(); }));

    // The customer kills the agent; the user service starts it again at once, as systemd's
    // Restart=always does. It comes up locked and holding the keys before the console says
    // anything.
    m_agent->kill();
    const int connectionsBefore = m_console->connections();
    QVERIFY(startAgent());
    QVERIFY(waitState(QStringLiteral("keysLocked"), true));
    QVERIFY(waitState(QStringLiteral("lockScreenVisible"), true));
    QCOMPARE(state().value(QStringLiteral("sessionWindow")).toBool(), false);
    verifyLockHoldsAgainst(QStringLiteral("VK Victim 2"));

    // The console re-attaches the running session the way it does for any returning agent
    // ("|STARTSESSION|" alone): the session window counts from the original start.
    QVERIFY(waitUntil([&] { return m_console->connections() > connectionsBefore; }));
    QVERIFY(m_console->waitForAgent(StepMs));
    m_console->send(Proto::StartSession);
    QVERIFY(waitState(QStringLiteral("sessionWindow"), true));
    QCOMPARE(state().value(QStringLiteral("keysLocked")).toBool(), false);
    const QString shown = state().value(QStringLiteral("sessionTime")).toString();
    QVERIFY2(shown.startsWith(QStringLiteral("0:20:")), qPrintable(shown));
    QCOMPARE(state().value(QStringLiteral("loginTime")).toString(),
             start.toString(QStringLiteral("yyyy-MM-dd HH:mm:ss")));
    QVERIFY(waitUntil([this] { return !lockScreenActive(); }));
}

void TstAgentX11::slowFailingRestartLocksFirst()
{
    // In the resumed session the console restarts the workstation; the power control is slow
    // and then refuses.
    QCOMPARE(state().value(QStringLiteral("sessionWindow")).toBool(), true);
    m_agent->setPowerTail("sleep 4\nexit 5\n");
    m_console->clearReceived();
    m_console->send(Proto::Reboot);
    QTRY_VERIFY_WITH_TIMEOUT(m_agent->powerCalls().endsWith(QStringLiteral("reboot")), StepMs);
    // Locked and grabbed while it waits, and the agent still answers.
    verifyStillLocked();
    m_console->send(Proto::CName);
    QVERIFY(m_console->waitFor(Proto::CNameReplyEnd, 3000));
    QVERIFY(m_agent->waitState(QStringLiteral("powerFailed"), true, StepMs));
    QVERIFY(m_home->errorLog().contains(QStringLiteral("Calling Form: Power\r\n")));
    verifyStillLocked();
}

QTEST_MAIN(TstAgentX11)
#include "tst_agent_x11.moc"
