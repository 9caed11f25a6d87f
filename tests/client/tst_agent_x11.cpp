// SPDX-License-Identifier: Apache-2.0
// The real agent on a real X server (Xvfb with openbox), driven by a test console on loopback
// and by real key presses and clicks through the XTEST extension (xdotool): locked, the keys a
// customer tries, options, password check (with a console that does not answer), a session
// window that cannot be closed away, a session with warnings (which leave the keyboard to the
// program in use) and the automatic logout, the end of the session, the staff's settings
// opened from the lock screen, and a slow, failing restart.

#include "client/core/agentcontroller.h"
#include "client/core/agentsettings.h"
#include "client/core/staffsettings.h"
#include "common/protocol.h"
#include "support/systemwait.h"
#include "support/x11agent.h"

#include <QDateTime>
#include <QStandardPaths>
#include <QtTest>

namespace {

constexpr int ScreenHeight = X11Agent::ScreenHeight;
constexpr int StepMs = X11Agent::StepMs;

bool waitUntil(const std::function<bool()>& condition)
{
    return SystemTest::waitUntil(condition, StepMs);
}

} // namespace

class TstAgentX11 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    // In order: each case carries on from where the previous one left the agent.
    void startsLockedAndKeepsTheKeys();
    void keysLeaveItLocked_data();
    void keysLeaveItLocked();
    void optionsAndPasswordCheck();
    void sessionWindowCannotBeClosedAway();
    void sessionWithWarningAndAutomaticLogout();
    void endOfSessionLocksAgain();
    void staffSettingsFromTheSystemMenu();
    void killedInSessionComesBackLockedAndResumes();
    void slowFailingRestartLocksFirst();

private:
    QString xdotool(const QStringList& args) { return m_a.xdotool(args); }
    void key(const QString& keys) { m_a.key(keys); }
    void type(const QString& text) { m_a.type(text); }
    bool lockScreenActive() { return m_a.lockScreenActive(); }
    bool grabsHeldByAgent() { return m_a.grabsHeldByAgent(); }
    void verifyStillLocked() { m_a.verifyStillLocked(); }
    QJsonObject state() { return m_a.state(); }
    bool waitState(const QString& k, const QJsonValue& v) { return m_a.waitState(k, v); }
    // The session window as the window manager shows it ("" when it is not on the screen).
    QString visibleSessionWindow();
    QString openSettingsPassword();
    void clickSystemButton();
    // Types into the settings password window; the settings window's id when it opened.
    QString typeSettingsPassword(const QString& password);
    bool closeSettings();

    X11Agent m_a;
    XvfbSession& m_x = m_a.x();
};

void TstAgentX11::initTestCase()
{
    const QString skip = XvfbSession::missingPrograms();
    if (!skip.isEmpty()) {
        QSKIP(qPrintable(skip));
    }
    const QString probe = QCoreApplication::applicationDirPath() + QStringLiteral("/lockprobe");
    QVERIFY2(QFileInfo(probe).isExecutable(),
             qPrintable(QStringLiteral("the lockprobe program is not built: ") + probe));
    const QString failed = m_a.start(QStringLiteral("PC-X11"));
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
}

void TstAgentX11::startsLockedAndKeepsTheKeys()
{
    m_a.console().send(Proto::Lock + Proto::CName);
    QVERIFY(m_a.console().waitFor(Proto::CNameReplyEnd, StepMs));
    QCOMPARE(m_a.console().received(), QByteArray("|CNAME`|PC-X11|<endname|"));
    QVERIFY(waitState(QStringLiteral("keysLocked"), true));
    QVERIFY(waitState(QStringLiteral("lockScreenVisible"), true));
    QCOMPARE(state().value(QStringLiteral("caption")).toString(), AgentSettings::AppTitle);
    m_a.verifyLockHoldsAgainst(QStringLiteral("VK Victim"));
    QCOMPARE(m_a.console().received(), QByteArray("|CNAME`|PC-X11|<endname|"));
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
    m_a.console().clearReceived();
    m_a.console().send(Proto::ShowOptionsWithPassword);
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
        sent = m_a.console().waitFor(Proto::CheckPassword, 4000);
    }
    QVERIFY2(sent, qPrintable(QString::fromLatin1(m_a.console().received())));
    QVERIFY(m_a.console().waitFor(Proto::CheckPasswordEnd, StepMs));
    QCOMPARE(m_a.console().received(), expected);
    QCOMPARE(state().value(QStringLiteral("surfupto")).toString(), QStringLiteral("45"));

    // The console says nothing: the lock holds while it checks, then the panel comes back.
    QCOMPARE(state().value(QStringLiteral("caption")).toString(),
             AgentController::CheckingPasswordText);
    QCOMPARE(state().value(QStringLiteral("checkingPassword")).toBool(), true);
    verifyStillLocked();
    QVERIFY(m_a.agent().waitState(QStringLiteral("caption"), AgentController::NoAnswerText,
                                  AgentController::PasswordCheckTimeoutMs + StepMs));
    QCOMPARE(state().value(QStringLiteral("optionsVisible")).toBool(), true);
    verifyStillLocked();

    // Asked again, the password field still filled.
    m_a.console().clearReceived();
    sent = false;
    for (int attempt = 0; attempt < 3 && !sent; ++attempt) {
        key(QStringLiteral("alt+p"));
        key(QStringLiteral("Return"));
        sent = m_a.console().waitFor(Proto::CheckPasswordEnd, 4000);
    }
    QVERIFY2(sent, qPrintable(QString::fromLatin1(m_a.console().received())));
    QCOMPARE(m_a.console().received(), expected);

    // Refused: the lock screen comes back with the options and the message.
    m_a.console().send(Proto::PasswordNotValid);
    QVERIFY(waitState(QStringLiteral("caption"),
                      QStringLiteral("Invalid Password, Please Re Enter Password")));
    QJsonObject s = state();
    QCOMPARE(s.value(QStringLiteral("lockScreenVisible")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("optionsVisible")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("keysLocked")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("sessionWindow")).toBool(), false);
    QVERIFY(waitUntil([this] { return lockScreenActive(); }));

    // Accepted: the console starts the session.
    m_a.console().send(Proto::StartSession);
    QVERIFY(waitState(QStringLiteral("sessionWindow"), true));
    s = state();
    QCOMPARE(s.value(QStringLiteral("keysLocked")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("lockScreenVisible")).toBool(), false);
    QVERIFY(!m_x.windowId(QLatin1Char('^') + AgentSettings::AppTitle + QLatin1Char('$'), StepMs)
                 .isEmpty());
    QVERIFY(waitUntil([this] { return !lockScreenActive(); }));
}

QString TstAgentX11::visibleSessionWindow()
{
    return xdotool({QStringLiteral("search"), QStringLiteral("--onlyvisible"),
                    QStringLiteral("--name"),
                    QLatin1Char('^') + AgentSettings::AppTitle + QLatin1Char('$')})
        .section(QLatin1Char('\n'), 0, 0);
}

void TstAgentX11::sessionWindowCannotBeClosedAway()
{
    QCOMPARE(state().value(QStringLiteral("sessionWindow")).toBool(), true);
    QString id;
    QVERIFY(waitUntil([&] { return !(id = visibleSessionWindow()).isEmpty(); }));

    auto count = [this](const char* name) { return state().value(QLatin1String(name)).toInt(); };

    // The window manager's close key on it: once the agent has had the request, the window is
    // still there, and so is the session.
    const int refused = count("sessionWindowClosesRefused");
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), id});
    key(QStringLiteral("alt+F4"));
    QVERIFY2(waitUntil([&] { return count("sessionWindowClosesRefused") > refused; }),
             "the close request never reached the session window");
    QVERIFY2(m_x.isViewable(id), "closed, the session window left the screen");
    QCOMPARE(visibleSessionWindow(), id);

    // Minimized (a window manager without a task bar could never give it back): the agent
    // sees the minimize and the window returns.
    const int restores = count("sessionWindowRestores");
    xdotool({QStringLiteral("windowminimize"), id});
    QVERIFY2(waitUntil([&] { return count("sessionWindowRestores") > restores; }),
             "the session window never saw itself minimized");
    QVERIFY2(waitUntil([&] { return m_x.isViewable(id); }),
             "minimized, the session window stayed off the screen");
    QCOMPARE(state().value(QStringLiteral("sessionWindow")).toBool(), true);
    QVERIFY2(m_a.agent().process().state() == QProcess::Running, qPrintable(m_a.output()));
}

void TstAgentX11::sessionWithWarningAndAutomaticLogout()
{
    m_a.console().clearReceived();
    // The customer is typing in another program when the warning comes.
    LineProcess editor(QStandardPaths::findExecutable(QStringLiteral("xev")),
                       {QStringLiteral("-name"), QStringLiteral("VK Editor"),
                        QStringLiteral("-geometry"), QStringLiteral("300x200+350+280"),
                        QStringLiteral("-event"), QStringLiteral("keyboard")},
                       m_x.environment());
    QVERIFY(editor.started());
    const QString editorWindow = m_x.windowId(QStringLiteral("^VK Editor$"), StepMs);
    QVERIFY(!editorWindow.isEmpty());
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), editorWindow});
    QVERIFY(
        waitUntil([&] { return xdotool({QStringLiteral("getactivewindow")}) == editorWindow; }));

    // A 10-minute session started 9 minutes ago: the warning with a minute left.
    QDateTime start = QDateTime::currentDateTime().addSecs(-9 * 60 - 5);
    m_a.console().send(Proto::setDateTime(start) + Proto::autologoutMinutes(10) +
                       Proto::StartSession);
    QVERIFY(waitState(QStringLiteral("warning"), true));
    QCOMPARE(state().value(QStringLiteral("warningMinutes")).toInt(), 1);
    QCOMPARE(state().value(QStringLiteral("sessionWindow")).toBool(), true);
    QVERIFY2(waitUntil([this] { return m_x.hasVisibleWindow(QStringLiteral("^Warning$")); }),
             "the warning window is not on the screen");
    QVERIFY(!m_a.console().received().contains(Proto::Autologout));

    // It took neither the focus nor the keys typed after it, and sits at the top right, clear
    // of the middle of the screen where the customer works. The focus is read once the keys
    // have reached the other program, so a warning that took it late is caught too.
    type(QStringLiteral("ok"));
    QVERIFY(
        waitUntil([&] { return editor.linesStarting(QStringLiteral("KeyPress")).size() >= 2; }));
    QCOMPARE(xdotool({QStringLiteral("getactivewindow")}), editorWindow);
    const QString warning = m_x.windowId(QStringLiteral("^Warning$"));
    const QString geometry =
        xdotool({QStringLiteral("getwindowgeometry"), QStringLiteral("--shell"), warning});
    auto value = [&geometry](const char* name) {
        const QString prefix = QString::fromLatin1(name) + QLatin1Char('=');
        for (const QString& line : geometry.split(QLatin1Char('\n'))) {
            if (line.startsWith(prefix)) {
                return line.mid(prefix.size()).toInt();
            }
        }
        return -1;
    };
    QVERIFY2(value("X") + value("WIDTH") > X11Agent::ScreenWidth - 40, qPrintable(geometry));
    QVERIFY2(value("Y") >= 0 && value("Y") < 60, qPrintable(geometry));

    // The limit reached: the agent asks the console to log it out, and again each second.
    start = QDateTime::currentDateTime().addSecs(-10 * 60 - 2);
    m_a.console().send(Proto::setDateTime(start) + Proto::autologoutMinutes(10));
    QVERIFY(m_a.console().waitFor(Proto::Autologout + Proto::Autologout, StepMs));
    QVERIFY(waitUntil(
        [this] { return state().value(QStringLiteral("autologoutsSent")).toInt() >= 2; }));
    // Seconds of the agent's own work since the warning came: the focus is still not its.
    QCOMPARE(xdotool({QStringLiteral("getactivewindow")}), editorWindow);
}

void TstAgentX11::endOfSessionLocksAgain()
{
    m_a.console().send(Proto::EndSession);
    QVERIFY(waitState(QStringLiteral("sessionWindow"), false));
    QVERIFY(waitState(QStringLiteral("lockScreenVisible"), true));
    const QJsonObject s = state();
    QCOMPARE(s.value(QStringLiteral("keysLocked")).toBool(), true);
    QCOMPARE(s.value(QStringLiteral("warning")).toBool(), false);
    QCOMPARE(s.value(QStringLiteral("optionsVisible")).toBool(), false);
    QVERIFY(waitUntil([this] { return lockScreenActive(); }));
    QTRY_COMPARE_WITH_TIMEOUT(m_x.topClientWindow(), m_a.lockWindow(), StepMs);
    QVERIFY(waitUntil([this] {
        return !m_x.hasVisibleWindow(QStringLiteral("^Warning$")) &&
               !m_x.hasVisibleWindow(QLatin1Char('^') + AgentSettings::AppTitle);
    }));
    // The automatic logout requests stopped with the session.
    QTest::qWait(300);
    const int sent = m_a.console().count(Proto::Autologout);
    QTest::qWait(1500);
    QCOMPARE(m_a.console().count(Proto::Autologout), sent);
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
           waitUntil([this] {
               return lockScreenActive() && m_x.topClientWindow() == m_a.lockWindow();
           }) &&
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
    QVERIFY(m_a.agent().powerCalls().isEmpty());
    clickSystemButton();
    key(QStringLiteral("Down"));
    key(QStringLiteral("Down"));
    key(QStringLiteral("Return"));
    QTRY_COMPARE_WITH_TIMEOUT(m_a.agent().powerCalls(), QStringLiteral("reboot"), StepMs);
}

void TstAgentX11::killedInSessionComesBackLockedAndResumes()
{
    // A session that began 20 minutes ago, as the console started it.
    const QDateTime start = QDateTime::currentDateTime().addSecs(-20 * 60);
    m_a.console().send(Proto::setDateTime(start) + Proto::StartSession);
    QVERIFY(waitState(QStringLiteral("sessionWindow"), true));
    QVERIFY(waitUntil([this] { return !lockScreenActive(); }));

    // The customer kills the agent; the user service starts it again at once, as systemd's
    // Restart=always does. It comes up locked and holding the keys before the console says
    // anything.
    m_a.agent().kill();
    const int connectionsBefore = m_a.console().connections();
    QVERIFY(m_a.startAgent());
    QVERIFY(waitState(QStringLiteral("keysLocked"), true));
    QVERIFY(waitState(QStringLiteral("lockScreenVisible"), true));
    QCOMPARE(state().value(QStringLiteral("sessionWindow")).toBool(), false);
    m_a.verifyLockHoldsAgainst(QStringLiteral("VK Victim 2"));

    // The console re-attaches the running session the way it does for any returning agent
    // ("|STARTSESSION|" alone): the session window counts from the original start.
    QVERIFY(waitUntil([&] { return m_a.console().connections() > connectionsBefore; }));
    QVERIFY(m_a.console().waitForAgent(StepMs));
    m_a.console().send(Proto::StartSession);
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
    m_a.agent().setPowerTail("sleep 4\nexit 5\n");
    m_a.console().clearReceived();
    m_a.console().send(Proto::Reboot);
    QTRY_VERIFY_WITH_TIMEOUT(m_a.agent().powerCalls().endsWith(QStringLiteral("reboot")), StepMs);
    // Locked and grabbed while it waits, and the agent still answers.
    verifyStillLocked();
    m_a.console().send(Proto::CName);
    QVERIFY(m_a.console().waitFor(Proto::CNameReplyEnd, 3000));
    QVERIFY(m_a.agent().waitState(QStringLiteral("powerFailed"), true, StepMs));
    QVERIFY(m_a.home().errorLog().contains(QStringLiteral("Calling Form: Power\r\n")));
    verifyStillLocked();
}

QTEST_MAIN(TstAgentX11)
#include "tst_agent_x11.moc"
