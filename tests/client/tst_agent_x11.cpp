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

using namespace Qt::StringLiterals;

namespace {

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
    void initTestCase()
    {
        const QString skip = XvfbSession::missingPrograms();
        if (!skip.isEmpty()) {
            QSKIP(qPrintable(skip));
        }
        const QString probe = QCoreApplication::applicationDirPath() + u"/lockprobe"_s;
        QVERIFY2(QFileInfo(probe).isExecutable(),
                 qPrintable(u"the lockprobe program is not built: "_s + probe));
        const QString failed = m_a.start(u"PC-X11"_s);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
    }

    // In order: each case carries on from where the previous one left the agent.
    void startsLockedAndKeepsTheKeys()
    {
        m_a.console().send(Proto::Lock + Proto::CName);
        QVERIFY(m_a.console().waitFor(Proto::CNameReplyEnd, StepMs));
        QCOMPARE(m_a.console().received(), QByteArray("|CNAME`|PC-X11|<endname|"));
        QVERIFY(waitState(u"keysLocked"_s, true));
        QVERIFY(waitState(u"lockScreenVisible"_s, true));
        QCOMPARE(text("caption"), AgentSettings::AppTitle);
        m_a.verifyLockHoldsAgainst(u"VK Victim"_s);
        QCOMPARE(m_a.console().received(), QByteArray("|CNAME`|PC-X11|<endname|"));
    }

    void keysLeaveItLocked_data()
    {
        QTest::addColumn<QString>("keys");
        QTest::addColumn<bool>("asksPassword");
        // The service keys only ask for the staff password; the key below them does nothing.
        for (const char* k : {"F10", "F11", "F12"}) {
            QTest::newRow(k) << QString::fromLatin1(k) << (k[2] != '0');
        }
        // One of each kind: close, switch, end the X server, change the console, menus.
        for (const char* chord : {"alt+F4", "alt+Tab", "ctrl+alt+BackSpace", "ctrl+alt+F1", "super",
                                  "ctrl+q", "Menu"}) {
            QTest::newRow(chord) << QString::fromLatin1(chord) << false;
        }
    }

    void keysLeaveItLocked()
    {
        QFETCH(QString, keys);
        QFETCH(bool, asksPassword);
        QVERIFY(waitUntil([this] { return lockScreenActive(); }));
        key(keys);
        if (asksPassword) {
            QVERIFY(!m_x.windowId(u"^Password$"_s, StepMs).isEmpty());
            QVERIFY(waitUntil([this] { return m_x.hasVisibleWindow(u"^Password$"_s); }));
            // Our own window above the lock, which still holds the keys.
            QVERIFY2(grabsHeldByAgent(), "another client could take the keyboard and pointer");
            QVERIFY(flag("lockScreenVisible"));
            // Given up without a password: nothing happened.
            key(u"Escape"_s);
            QVERIFY(waitUntil([this] { return !m_x.hasVisibleWindow(u"^Password$"_s); }));
        } else {
            QTest::qWait(300);
            QVERIFY(!m_x.hasVisibleWindow(u"^Password$"_s));
        }
        verifyStillLocked();
    }

    void optionsAndPasswordCheck()
    {
        m_a.console().clearReceived();
        m_a.console().send(Proto::ShowOptionsWithPassword);
        QVERIFY(waitState(u"optionsVisible"_s, true));
        QVERIFY(flag("passwordVisible"));
        QVERIFY(waitUntil([this] { return lockScreenActive(); }));

        // The customer types the surf time into the field the options panel focused, jumps to
        // the password with its access key and presses Enter. The keys are sent again should the
        // first ones have come before the focus settled (the fields are selected first, so a
        // repeat replaces instead of appending).
        const QByteArray expected = Proto::checkPassword(u"secret7"_s);
        bool sent = false;
        for (int attempt = 0; attempt < 3 && !sent; ++attempt) {
            key(u"ctrl+a"_s);
            type(u"45"_s);
            keys(u"alt+p ctrl+a"_s);
            type(u"secret7"_s);
            key(u"Return"_s);
            sent = m_a.console().waitFor(Proto::CheckPassword, 4000);
        }
        QVERIFY2(sent, qPrintable(QString::fromLatin1(m_a.console().received())));
        QVERIFY(m_a.console().waitFor(Proto::CheckPasswordEnd, StepMs));
        QCOMPARE(m_a.console().received(), expected);
        QCOMPARE(text("surfupto"), u"45"_s);

        // The console says nothing: the lock holds while it checks, then the panel comes back.
        QCOMPARE(text("caption"), AgentController::CheckingPasswordText);
        QVERIFY(flag("checkingPassword"));
        verifyStillLocked();
        QVERIFY(m_a.agent().waitState(u"caption"_s, AgentController::NoAnswerText,
                                      AgentController::PasswordCheckTimeoutMs + StepMs));
        QVERIFY(flag("optionsVisible"));
        verifyStillLocked();

        // Refused (the field kept or emptied is tst_agentwindows'): the message, still locked.
        m_a.console().send(Proto::PasswordNotValid);
        QVERIFY(waitState(u"caption"_s, u"Invalid Password, Please Re Enter Password"_s));
        verifyStillLocked();

        // Accepted: the console starts the session.
        m_a.console().send(Proto::StartSession);
        QVERIFY(waitState(u"sessionWindow"_s, true));
        QVERIFY(!flag("keysLocked"));
        QVERIFY(waitUntil([this] { return !lockScreenActive(); }));
    }

    void sessionWindowCannotBeClosedAway()
    {
        QVERIFY(flag("sessionWindow"));
        QString id;
        QVERIFY(waitUntil([&] { return !(id = visibleSessionWindow()).isEmpty(); }));

        // The window manager's close key on it: once the agent has had the request, the window is
        // still there, and so is the session.
        const int refused = number("sessionWindowClosesRefused");
        xdotool({u"windowactivate"_s, u"--sync"_s, id});
        key(u"alt+F4"_s);
        QVERIFY2(waitUntil([&] { return number("sessionWindowClosesRefused") > refused; }),
                 "the close request never reached the session window");
        QVERIFY2(m_x.isViewable(id), "closed, the session window left the screen");
        QCOMPARE(visibleSessionWindow(), id);

        // Minimized (a window manager without a task bar could never give it back): the agent
        // sees the minimize and the window returns.
        const int restores = number("sessionWindowRestores");
        xdotool({u"windowminimize"_s, id});
        QVERIFY2(waitUntil([&] { return number("sessionWindowRestores") > restores; }),
                 "the session window never saw itself minimized");
        QVERIFY2(waitUntil([&] { return m_x.isViewable(id); }),
                 "minimized, the session window stayed off the screen");
        QVERIFY(flag("sessionWindow"));
        QVERIFY2(m_a.agent().process().state() == QProcess::Running, qPrintable(m_a.output()));
    }

    void sessionWithWarningAndAutomaticLogout()
    {
        m_a.console().clearReceived();
        // The customer is typing in another program when the warning comes.
        LineProcess editor(QStandardPaths::findExecutable(u"xev"_s),
                           {u"-name"_s, u"VK Editor"_s, u"-geometry"_s, u"300x200+350+280"_s,
                            u"-event"_s, u"keyboard"_s},
                           m_x.environment());
        QVERIFY(editor.started());
        const QString editorWindow = m_x.windowId(u"^VK Editor$"_s, StepMs);
        QVERIFY(!editorWindow.isEmpty());
        xdotool({u"windowactivate"_s, u"--sync"_s, editorWindow});
        QVERIFY(waitUntil([&] { return xdotool({u"getactivewindow"_s}) == editorWindow; }));

        // A 10-minute session started 9 minutes ago: the warning with a minute left.
        QDateTime start = QDateTime::currentDateTime().addSecs(-9 * 60 - 5);
        m_a.console().send(Proto::setDateTime(start) + Proto::autologoutMinutes(10) +
                           Proto::StartSession);
        QVERIFY(waitState(u"warning"_s, true));
        QCOMPARE(number("warningMinutes"), 1);
        QVERIFY(flag("sessionWindow"));
        QVERIFY2(waitUntil([this] { return m_x.hasVisibleWindow(u"^Warning$"_s); }),
                 "the warning window is not on the screen");
        QVERIFY(!m_a.console().received().contains(Proto::Autologout));

        // It took neither the focus nor the keys typed after it. The focus is read once the keys
        // have reached the other program, so a warning that took it late is caught too.
        type(u"ok"_s);
        QVERIFY(waitUntil([&] { return editor.linesStarting(u"KeyPress"_s).size() >= 2; }));
        QCOMPARE(xdotool({u"getactivewindow"_s}), editorWindow);

        // The limit reached: the agent asks the console to log it out, and again each second.
        start = QDateTime::currentDateTime().addSecs(-10 * 60 - 2);
        m_a.console().send(Proto::setDateTime(start) + Proto::autologoutMinutes(10));
        QVERIFY(m_a.console().waitFor(Proto::Autologout + Proto::Autologout, StepMs));
        QVERIFY(waitUntil([this] { return number("autologoutsSent") >= 2; }));
        // Seconds of the agent's own work since the warning came: the focus is still not its.
        QCOMPARE(xdotool({u"getactivewindow"_s}), editorWindow);
    }

    void endOfSessionLocksAgain()
    {
        m_a.console().send(Proto::EndSession);
        QVERIFY(waitState(u"sessionWindow"_s, false));
        QVERIFY(waitState(u"lockScreenVisible"_s, true));
        QVERIFY(flag("keysLocked"));
        QVERIFY(waitUntil([this] { return lockScreenActive(); }));
        QTRY_COMPARE_WITH_TIMEOUT(m_x.topClientWindow(), m_a.lockWindow(), StepMs);
        QVERIFY(waitUntil([this] {
            return !m_x.hasVisibleWindow(u"^Warning$"_s) &&
                   !m_x.hasVisibleWindow(u'^' + AgentSettings::AppTitle);
        }));
        // The automatic logout requests stopped with the session.
        QTest::qWait(300);
        const int sent = m_a.console().count(Proto::Autologout);
        QTest::qWait(1500);
        QCOMPARE(m_a.console().count(Proto::Autologout), sent);
    }

    void staffSettingsFromTheSystemMenu()
    {
        QVERIFY2(!openSettingsPassword().isEmpty(), "the settings password window did not open");
        // The staff type the password straight away: the window has the keyboard.
        const QString settingsWindow = typeSettingsPassword(u"TOVLE"_s);
        QVERIFY2(!settingsWindow.isEmpty(), "the settings window did not open");
        QVERIFY(!m_x.hasVisibleWindow(u"^Password$"_s));
        // Above the lock screen while open.
        QTRY_COMPARE_WITH_TIMEOUT(m_x.topClientWindow(), settingsWindow, StepMs);

        // Password Change, the third button: old, new and confirmed password, then Save.
        keys(u"Tab Tab space"_s);
        type(u"TOVLE"_s);
        key(u"Tab"_s);
        type(u"Cafe9"_s);
        key(u"Tab"_s);
        type(u"Cafe9"_s);
        keys(u"Tab space"_s);
        AgentSettings stored;
        QVERIFY2(waitUntil([&stored] { return StaffSettings(stored).passwordMatches(u"Cafe9"_s); }),
                 "the new settings password was not stored");
        // (Which password opens the settings afterwards is tst_agentsettings_windows'.)
        QVERIFY2(closeSettings(), "the lock screen did not come back after the settings");

        // The password also enabled Restart, the item after Settings.
        QVERIFY(m_a.agent().powerCalls().isEmpty());
        clickSystemButton();
        keys(u"Down Down Return"_s);
        QTRY_COMPARE_WITH_TIMEOUT(m_a.agent().powerCalls(), u"reboot"_s, StepMs);
    }

    void killedInSessionComesBackLockedAndResumes()
    {
        // A session that began 20 minutes ago, as the console started it, where the set-up ends
        // logins with the session.
        AgentProcess::enableLoginEnding();
        const QDateTime start = QDateTime::currentDateTime().addSecs(-20 * 60);
        m_a.console().send(Proto::setDateTime(start) + Proto::StartSession);
        QVERIFY(waitState(u"sessionWindow"_s, true));
        QVERIFY(waitUntil([this] { return !lockScreenActive(); }));

        // The customer kills the agent; the user service starts it again at once, as systemd's
        // Restart=always does. It comes up locked and holding the keys before the console says
        // anything.
        m_a.agent().kill();
        const int connectionsBefore = m_a.console().connections();
        QVERIFY(m_a.startAgent());
        QVERIFY(waitState(u"keysLocked"_s, true));
        QVERIFY(waitState(u"lockScreenVisible"_s, true));
        QVERIFY(!flag("sessionWindow"));
        m_a.verifyLockHoldsAgainst(u"VK Victim 2"_s);

        // The console re-attaches the running session the way it does for any returning agent
        // ("|STARTSESSION|" alone): the session window counts from the original start.
        QVERIFY(waitUntil([&] { return m_a.console().connections() > connectionsBefore; }));
        QVERIFY(m_a.console().waitForAgent(StepMs));
        m_a.console().send(Proto::StartSession);
        QVERIFY(waitState(u"sessionWindow"_s, true));
        QVERIFY(!flag("keysLocked"));
        const QString shown = text("sessionTime");
        QVERIFY2(shown.startsWith(u"0:20:"_s), qPrintable(shown));
        QCOMPARE(text("loginTime"), start.toString(u"yyyy-MM-dd HH:mm:ss"_s));
        QVERIFY(waitUntil([this] { return !lockScreenActive(); }));
        // The customer's login goes on with the session.
        QCOMPARE(m_a.agent().loginEndings(), QString());
    }

    void slowFailingRestartLocksFirst()
    {
        // In the resumed session the console restarts the workstation; the power control is slow
        // and then refuses.
        QVERIFY(flag("sessionWindow"));
        m_a.agent().setPowerTail("sleep 4\nexit 5\n");
        m_a.console().clearReceived();
        m_a.console().send(Proto::Reboot);
        QTRY_VERIFY_WITH_TIMEOUT(m_a.agent().powerCalls().endsWith(u"reboot"_s), StepMs);
        // Locked and grabbed while it waits, and the agent still answers.
        verifyStillLocked();
        m_a.console().send(Proto::CName);
        QVERIFY(m_a.console().waitFor(Proto::CNameReplyEnd, 3000));
        QVERIFY(m_a.agent().waitState(u"powerFailed"_s, true, StepMs));
        QVERIFY(m_a.home().errorLog().contains(u"Calling Form: Power\r\n"_s));
        verifyStillLocked();
    }

private:
    QString xdotool(const QStringList& args) { return m_a.xdotool(args); }
    void key(const QString& keys) { m_a.key(keys); }
    void keys(const QString& chords) { m_a.keys(chords); }
    void type(const QString& text) { m_a.type(text); }
    bool lockScreenActive() { return m_a.lockScreenActive(); }
    bool grabsHeldByAgent() { return m_a.grabsHeldByAgent(); }
    void verifyStillLocked() { m_a.verifyStillLocked(); }
    bool flag(const char* key) { return m_a.agent().flag(key); }
    QString text(const char* key) { return m_a.agent().text(key); }
    int number(const char* key) { return m_a.agent().number(key); }
    bool waitState(const QString& k, const QJsonValue& v) { return m_a.waitState(k, v); }
    // The session window as the window manager shows it ("" when it is not on the screen).
    QString visibleSessionWindow()
    {
        return xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s,
                        u'^' + AgentSettings::AppTitle + u'$'})
            .section(u'\n', 0, 0);
    }

    QString openSettingsPassword()
    {
        if (!waitUntil([this] { return lockScreenActive(); })) {
            return {};
        }
        // The System button sits at the left end of the task bar along the bottom edge; its menu's
        // first item is Settings, which asks for the settings password.
        QString passwordWindow;
        for (int attempt = 0; attempt < 3 && passwordWindow.isEmpty(); ++attempt) {
            clickSystemButton();
            keys(u"Down Return"_s);
            passwordWindow = m_x.windowId(u"^Password$"_s, 4000);
            if (passwordWindow.isEmpty()) {
                key(u"Escape"_s);
            }
        }
        if (!passwordWindow.isEmpty() &&
            !waitUntil([this] { return m_x.hasVisibleWindow(u"^Password$"_s); })) {
            return {};
        }
        return passwordWindow;
    }

    void clickSystemButton()
    {
        xdotool({u"mousemove"_s, u"20"_s, QString::number(X11Agent::ScreenHeight - 10), u"click"_s,
                 u"1"_s});
        // The menu opens under the pointer; give it its moment before the keys.
        QTest::qWait(300);
    }

    // Types into the settings password window; the settings window's id when it opened.
    QString typeSettingsPassword(const QString& password)
    {
        key(u"ctrl+a"_s);
        type(password);
        key(u"Return"_s);
        const QString id = m_x.windowId(u"^VK Client Settings$"_s, 4000);
        if (!id.isEmpty() &&
            !waitUntil([this] { return m_x.hasVisibleWindow(u"^VK Client Settings$"_s); })) {
            return {};
        }
        return id;
    }

    bool closeSettings()
    {
        key(u"Escape"_s);
        // Back to the lock screen, focused, on top and still holding the keys.
        return waitUntil([this] {
                   return !m_x.hasVisibleWindow(u"^VK Client Settings$"_s) &&
                          !m_x.hasVisibleWindow(u"^Password$"_s);
               }) &&
               waitUntil([this] {
                   return lockScreenActive() && m_x.topClientWindow() == m_a.lockWindow();
               }) &&
               flag("keysLocked");
    }

    X11Agent m_a;
    XvfbSession& m_x = m_a.x();
};

QTEST_MAIN(TstAgentX11)
#include "tst_agent_x11.moc"
