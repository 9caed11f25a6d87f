// SPDX-License-Identifier: Apache-2.0
// The lock holding on a real X server (Xvfb with openbox) against what a customer can do:
// every command that shows the lock screen takes the keys, another program hiding, covering or
// closing the lock screen does not free the workstation, and an agent started again while
// another program holds the keyboard ends the logins on the display after a few seconds (where
// the set-up ends logins) and takes the keys as soon as they are let go.

#include "common/errorlog.h"
#include "common/protocol.h"
#include "support/systemwait.h"
#include "support/x11agent.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

constexpr int StepMs = X11Agent::StepMs;
// How soon the lock must be back after another program hid or covered it or let go of the
// keyboard (far sooner in practice: the cases print how soon it was).
constexpr int ComeBackMs = 5000;

bool waitUntil(const std::function<bool()>& condition)
{
    return SystemTest::waitUntil(condition, StepMs);
}

} // namespace

class TstAgentLockX11 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QString skip = XvfbSession::missingPrograms();
        if (!skip.isEmpty()) {
            QSKIP(qPrintable(skip));
        }
        const QString failed = m_a.start(u"PC-LOCK"_s);
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        // The agent answers once the link is up.
        m_a.console().send(Proto::Lock + Proto::CName);
        QVERIFY(m_a.console().waitFor(Proto::CNameReplyEnd, StepMs));
    }

    void shownLockScreenHoldsTheKeys_data()
    {
        QTest::addColumn<QByteArray>("first");
        QTest::addColumn<QByteArray>("then");

        QTest::newRow("unlock, lock") << Proto::Unlock << Proto::Lock;
        QTest::newRow("unlock, options") << Proto::Unlock << Proto::ShowOptions;
        QTest::newRow("session, options") << Proto::StartSession << Proto::ShowOptions;
        QTest::newRow("options, session ended") << Proto::ShowOptions << Proto::EndSession;
    }

    void shownLockScreenHoldsTheKeys()
    {
        QFETCH(QByteArray, first);
        QFETCH(QByteArray, then);

        m_a.console().send(first);
        if (first == Proto::ShowOptions) {
            QVERIFY(m_a.waitState(u"optionsVisible"_s, true));
            QVERIFY(waitUntil([this] { return lockHolds(); }));
        } else {
            // The workstation is free: nothing holds the keyboard.
            QVERIFY(m_a.waitState(u"lockScreenVisible"_s, false));
            QVERIFY(waitUntil([this] { return !m_a.x().keyboardTaken(); }));
        }
        m_a.console().send(then);
        QVERIFY(m_a.waitState(u"lockScreenVisible"_s, true));
        QVERIFY(waitUntil([this] { return m_a.lockScreenActive(); }));
        QVERIFY2(waitUntil([this] { return lockHolds(); }),
                 "the lock screen is shown without holding the keyboard");
        QVERIFY(m_a.agent().flag("keysLocked"));
    }

    void hiddenOrCoveredLockComesBack_data()
    {
        QTest::addColumn<QString>("action");

        // What a program left running from the session can do to the lock window through the X
        // server and the window manager.
        QTest::newRow("unmapped") << u"windowunmap"_s;
        QTest::newRow("minimised") << u"windowminimize"_s;
        QTest::newRow("lowered") << u"windowlower"_s;
        QTest::newRow("other activated") << u"windowactivate"_s;
        // As a window manager's close button or a task switcher's close would.
        QTest::newRow("closed") << u"close"_s;
    }

    void hiddenOrCoveredLockComesBack()
    {
        QFETCH(QString, action);

        // Locked, as the previous case left the agent (a reload here would race the old window).
        QVERIFY(m_a.agent().flag("lockScreenVisible"));
        QVERIFY(waitUntil([this] { return m_a.lockScreenActive() && lockHolds(); }));
        const QString lockWindow = m_a.lockWindow();
        LineProcess other(QStandardPaths::findExecutable(u"xev"_s),
                          {u"-name"_s, u"VK Other"_s, u"-event"_s, u"keyboard"_s},
                          m_a.x().environment());
        QVERIFY(other.started());
        const QString otherWindow = m_a.x().windowId(u"^VK Other$"_s, StepMs);
        QVERIFY(!otherWindow.isEmpty());
        QVERIFY2(waitUntil([this] { return lockHolds(); }), lockReport());

        const bool onOther = action == u"windowactivate"_s;
        if (action == u"close"_s) {
            LineProcess closer(QCoreApplication::applicationDirPath() + u"/lockprobe"_s,
                               {u"--close"_s, lockWindow}, m_a.x().environment());
            QVERIFY(closer.waitForLine(u"asked"_s, StepMs));
        } else {
            m_a.xdotool({action, onOther ? otherWindow : lockWindow});
        }
        QElapsedTimer back;
        back.start();
        QVERIFY2(SystemTest::waitUntil([this] { return lockHolds(); }, ComeBackMs), lockReport());
        qInfo("%s: the lock was back after %lld ms", qPrintable(action), back.elapsed());
        QCOMPARE(m_a.lockWindow(), lockWindow);
        // And it stays so: typing reaches the lock screen only.
        m_a.type(u"x"_s);
        QTest::qWait(300);
        QVERIFY(lockHolds());
        QCOMPARE(other.linesStarting(u"KeyPress"_s), QStringList());
    }

    void restartedAgentTakesTheKeysWhenLetGo()
    {
        // The customer kills the agent and, before it is back, another program grabs the keyboard
        // and the pointer. The set-up ends logins.
        AgentProcess::enableLoginEnding();
        m_a.agent().kill();
        const QString probe = QCoreApplication::applicationDirPath() + u"/lockprobe"_s;
        LineProcess holder(probe, {u"--hold-grab"_s, u"60000"_s}, m_a.x().environment());
        QVERIFY(holder.started());
        QVERIFY(holder.waitForLine(u"held"_s, StepMs));
        const int loggedBefore = grabRefusalsLogged();

        // The agent comes back locked, cannot have the keys, says so once and keeps trying.
        QVERIFY(m_a.startAgent());
        QVERIFY(m_a.waitState(u"lockScreenVisible"_s, true));
        QVERIFY2(waitUntil([&] { return grabRefusalsLogged() > loggedBefore; }),
                 "the refused grab was not logged");
        QTest::qWait(1500);
        QCOMPARE(grabRefusalsLogged(), loggedBefore + 1);
        QVERIFY(m_a.home().errorLog().contains(u"another program holds it"_s));
        // Held for seconds: the login the program runs in is ended, once.
        QCOMPARE(m_a.agent().loginEndings(), QString());
        QVERIFY2(waitUntil([this] { return !m_a.agent().loginEndings().isEmpty(); }),
                 "the logins on the display were not ended");
        QTest::qWait(1000);
        QCOMPARE(m_a.agent().loginEndings().count(u'\n'), 0);

        // Let go: the agent holds the keyboard within a moment.
        holder.process().write("go\n");
        QVERIFY(holder.waitForLine(u"released"_s, StepMs));
        QElapsedTimer taken;
        taken.start();
        QVERIFY2(SystemTest::waitUntil([this] { return m_a.x().keyboardTaken(); }, ComeBackMs),
                 "the agent did not take the keyboard after it was let go");
        qInfo("the agent held the keyboard %lld ms after it was let go", taken.elapsed());
        QVERIFY(waitUntil([this] { return m_a.lockScreenActive() && lockHolds(); }));
        QCOMPARE(grabRefusalsLogged(), loggedBefore + 1);
    }

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
        return u"lock %1: viewable %2, top %3, keyboard taken %4"_s.arg(id)
            .arg(m_a.x().isViewable(id))
            .arg(m_a.x().topClientWindow())
            .arg(m_a.x().keyboardTaken())
            .toUtf8();
    }

    int grabRefusalsLogged()
    {
        return int(m_a.home().errorLog().count(u"Calling Form: InputLock grab"_s));
    }

    X11Agent m_a;
};

QTEST_MAIN(TstAgentLockX11)
#include "tst_agentlock_x11.moc"
