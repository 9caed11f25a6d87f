// SPDX-License-Identifier: Apache-2.0
// The lock holding on a real X server (Xvfb with openbox) against what a customer can do:
// every command that shows the lock screen takes the keys, another program hiding, covering or
// closing the lock screen does not free the workstation, and an agent started again while
// another program holds the keyboard ends the logins on the display after a few seconds (where
// the set-up ends logins) and takes the keys as soon as they are let go.

#include "common/errorlog.h"
#include "common/protocol.h"
#include "common/settingsstore.h"
#include "platform/loginsession.h"
#include "support/systemwait.h"
#include "support/x11agent.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtTest>

namespace {

constexpr int StepMs = X11Agent::StepMs;
// How soon the lock must be back after another program hid or covered it or let go of the
// keyboard (far sooner in practice: the cases print how soon it was).
constexpr int ComeBackMs = 5000;

} // namespace

class TstAgentLockX11 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();

    void shownLockScreenHoldsTheKeys_data();
    void shownLockScreenHoldsTheKeys();
    void hiddenOrCoveredLockComesBack_data();
    void hiddenOrCoveredLockComesBack();
    void restartedAgentTakesTheKeysWhenLetGo();

private:
    // The lock screen is up: viewable, on top and holding the keyboard.
    bool lockHolds()
    {
        const QString id = m_a.lockWindow();
        return !id.isEmpty() && m_a.x().isViewable(id) && m_a.x().topClientWindow() == id &&
               m_a.x().keyboardTaken();
    }
    QByteArray lockReport()
    {
        const QString id = m_a.lockWindow();
        return QStringLiteral("lock %1: viewable %2, top %3, keyboard taken %4")
            .arg(id)
            .arg(m_a.x().isViewable(id))
            .arg(m_a.x().topClientWindow())
            .arg(m_a.x().keyboardTaken())
            .toUtf8();
    }
    int grabRefusalsLogged()
    {
        return int(m_a.home().errorLog().count(QStringLiteral("Calling Form: InputLock grab")));
    }

    X11Agent m_a;
};

void TstAgentLockX11::initTestCase()
{
    const QString skip = XvfbSession::missingPrograms();
    if (!skip.isEmpty()) {
        QSKIP(qPrintable(skip));
    }
    const QString failed = m_a.start(QStringLiteral("PC-LOCK"));
    QVERIFY2(failed.isEmpty(), qPrintable(failed));
    // The agent answers once the link is up.
    m_a.console().send(Proto::Lock + Proto::CName);
    QVERIFY(m_a.console().waitFor(Proto::CNameReplyEnd, StepMs));
}

void TstAgentLockX11::shownLockScreenHoldsTheKeys_data()
{
    QTest::addColumn<QByteArray>("first");
    QTest::addColumn<QByteArray>("then");

    QTest::newRow("unlock, lock") << Proto::Unlock << Proto::Lock;
    QTest::newRow("unlock, options") << Proto::Unlock << Proto::ShowOptions;
    QTest::newRow("unlock, options with password")
        << Proto::Unlock << Proto::ShowOptionsWithPassword;
    QTest::newRow("unlock, password refused") << Proto::Unlock << Proto::PasswordNotValid;
    QTest::newRow("session, options") << Proto::StartSession << Proto::ShowOptions;
    QTest::newRow("options, session ended") << Proto::ShowOptions << Proto::EndSession;
}

void TstAgentLockX11::shownLockScreenHoldsTheKeys()
{
    QFETCH(QByteArray, first);
    QFETCH(QByteArray, then);

    m_a.console().send(first);
    if (first == Proto::ShowOptions) {
        QVERIFY(m_a.waitState(QStringLiteral("optionsVisible"), true));
        QVERIFY(SystemTest::waitUntil([this] { return lockHolds(); }, StepMs));
    } else {
        // The workstation is free: nothing holds the keyboard.
        QVERIFY(m_a.waitState(QStringLiteral("lockScreenVisible"), false));
        QVERIFY(SystemTest::waitUntil([this] { return !m_a.x().keyboardTaken(); }, StepMs));
    }
    m_a.console().send(then);
    QVERIFY(m_a.waitState(QStringLiteral("lockScreenVisible"), true));
    QVERIFY(SystemTest::waitUntil([this] { return m_a.lockScreenActive(); }, StepMs));
    QVERIFY2(SystemTest::waitUntil([this] { return lockHolds(); }, StepMs),
             "the lock screen is shown without holding the keyboard");
    QCOMPARE(m_a.state().value(QStringLiteral("keysLocked")).toBool(), true);
}

void TstAgentLockX11::hiddenOrCoveredLockComesBack_data()
{
    QTest::addColumn<QString>("action");

    // What a program left running from the session can do to the lock window through the X
    // server and the window manager.
    QTest::newRow("unmapped") << QStringLiteral("windowunmap");
    QTest::newRow("minimised") << QStringLiteral("windowminimize");
    QTest::newRow("lowered") << QStringLiteral("windowlower");
    QTest::newRow("other raised") << QStringLiteral("windowraise");
    QTest::newRow("other activated") << QStringLiteral("windowactivate");
    // As a window manager's close button or a task switcher's close would.
    QTest::newRow("closed") << QStringLiteral("close");
}

void TstAgentLockX11::hiddenOrCoveredLockComesBack()
{
    QFETCH(QString, action);

    // Locked, as the previous case left the agent (a reload here would race the old window).
    QVERIFY(m_a.state().value(QStringLiteral("lockScreenVisible")).toBool());
    QVERIFY(
        SystemTest::waitUntil([this] { return m_a.lockScreenActive() && lockHolds(); }, StepMs));
    const QString lockWindow = m_a.lockWindow();
    LineProcess other(QStandardPaths::findExecutable(QStringLiteral("xev")),
                      {QStringLiteral("-name"), QStringLiteral("VK Other"),
                       QStringLiteral("-event"), QStringLiteral("keyboard")},
                      m_a.x().environment());
    QVERIFY(other.started());
    const QString otherWindow = m_a.x().windowId(QStringLiteral("^VK Other$"), StepMs);
    QVERIFY(!otherWindow.isEmpty());
    QVERIFY2(SystemTest::waitUntil([this] { return lockHolds(); }, StepMs), lockReport());

    const bool onOther =
        action == QLatin1String("windowraise") || action == QLatin1String("windowactivate");
    if (action == QLatin1String("close")) {
        LineProcess closer(QCoreApplication::applicationDirPath() + QStringLiteral("/lockprobe"),
                           {QStringLiteral("--close"), lockWindow}, m_a.x().environment());
        QVERIFY(closer.waitForLine(QStringLiteral("asked"), StepMs));
    } else {
        m_a.xdotool({action, onOther ? otherWindow : lockWindow});
    }
    QElapsedTimer back;
    back.start();
    QVERIFY2(SystemTest::waitUntil([this] { return lockHolds(); }, ComeBackMs), lockReport());
    qInfo("%s: the lock was back after %lld ms", qPrintable(action), back.elapsed());
    QCOMPARE(m_a.lockWindow(), lockWindow);
    // And it stays so: typing reaches the lock screen only.
    m_a.type(QStringLiteral("x"));
    QTest::qWait(300);
    QVERIFY(lockHolds());
    QCOMPARE(other.linesStarting(QStringLiteral("KeyPress")), QStringList());
}

void TstAgentLockX11::restartedAgentTakesTheKeysWhenLetGo()
{
    // The customer kills the agent and, before it is back, another program grabs the keyboard
    // and the pointer. The set-up ends logins.
    SettingsStore settings;
    settings.createKey(RegKey::Platform);
    settings.writeValue(RegKey::Platform, QString::fromLatin1(LoginSession::EndValue),
                        QStringLiteral("1"));
    m_a.agent().kill();
    const QString probe = QCoreApplication::applicationDirPath() + QStringLiteral("/lockprobe");
    LineProcess holder(probe, {QStringLiteral("--hold-grab"), QStringLiteral("60000")},
                       m_a.x().environment());
    QVERIFY(holder.started());
    QVERIFY(holder.waitForLine(QStringLiteral("held"), StepMs));
    const int loggedBefore = grabRefusalsLogged();

    // The agent comes back locked, cannot have the keys, says so once and keeps trying.
    QVERIFY(m_a.startAgent());
    QVERIFY(m_a.waitState(QStringLiteral("lockScreenVisible"), true));
    QVERIFY2(SystemTest::waitUntil([&] { return grabRefusalsLogged() > loggedBefore; }, StepMs),
             "the refused grab was not logged");
    QTest::qWait(1500);
    QCOMPARE(grabRefusalsLogged(), loggedBefore + 1);
    QVERIFY(m_a.home().errorLog().contains(QStringLiteral("another program holds it")));
    // Held for seconds: the login the program runs in is ended, once.
    QCOMPARE(m_a.agent().loginEndings(), QString());
    QVERIFY2(
        SystemTest::waitUntil([this] { return !m_a.agent().loginEndings().isEmpty(); }, StepMs),
        "the logins on the display were not ended");
    QTest::qWait(1000);
    QCOMPARE(m_a.agent().loginEndings().count(QLatin1Char('\n')), 0);

    // Let go: the agent holds the keyboard within a moment.
    holder.process().write("go\n");
    QVERIFY(holder.waitForLine(QStringLiteral("released"), StepMs));
    QElapsedTimer taken;
    taken.start();
    QVERIFY2(SystemTest::waitUntil([this] { return m_a.x().keyboardTaken(); }, ComeBackMs),
             "the agent did not take the keyboard after it was let go");
    qInfo("the agent held the keyboard %lld ms after it was let go", taken.elapsed());
    QVERIFY(
        SystemTest::waitUntil([this] { return m_a.lockScreenActive() && lockHolds(); }, StepMs));
    QCOMPARE(grabRefusalsLogged(), loggedBefore + 1);
}

QTEST_MAIN(TstAgentLockX11)
#include "tst_agentlock_x11.moc"
