// SPDX-License-Identifier: Apache-2.0
// The workstation lock against a real X server: Xvfb with openbox, real key presses and
// clicks through the XTEST extension (xdotool), and a locker program (lockprobe) that shows a
// full-screen lock window and holds InputLock on it.
#include "common/errorlog.h"
#include "platform/ui/inputlock.h"
#include "support/xvfbsession.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <memory>

class TstInputLockX11 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void init();
    void cleanup();
    void cleanupTestCase();

    void noOpWithoutX11();

    void keysAndClicksReachOnlyTheLockWindow();
    void lockWindowStaysAboveALaterWindow();
    void grabHeldByAnotherClientIsRetried_data();
    void grabHeldByAnotherClientIsRetried();
    void coverHoldingTheGrabsIsEnded_data();
    void coverHoldingTheGrabsIsEnded();
    void ownDialogStaysUsableAboveTheLock();
    void ownDialogStaysAboveWithoutWindowManager();
    void stillOnTopAndGrabbedWithoutWindowManager();

private:
    QString xdotool(const QStringList& args) { return m_x.xdotool(args); }
    QString windowId(const QString& title) { return m_x.windowId(title); }
    QString topClientWindow() { return m_x.topClientWindow(); }
    QString topRootChild() { return m_x.topRootChild(); }
    std::unique_ptr<LineProcess> startProbe(const QStringList& args,
                                            const QString& workingDirectory = {});

    QString m_skip;
    QString m_probe;
    XvfbSession m_x;
};

void TstInputLockX11::initTestCase()
{
    m_skip = XvfbSession::missingPrograms();
    if (!m_skip.isEmpty()) {
        return;
    }
    const QStringList candidates = {
        qEnvironmentVariable("VK_LOCKPROBE"),
        QCoreApplication::applicationDirPath() + QStringLiteral("/lockprobe"),
        qEnvironmentVariable("VK_BIN_DIR") + QStringLiteral("/lockprobe")};
    for (const QString& c : candidates) {
        if (!c.isEmpty() && QFileInfo(c).isExecutable()) {
            m_probe = c;
            break;
        }
    }
    if (m_probe.isEmpty())
        m_skip = QStringLiteral("the lockprobe program is not built next to this test");
}

void TstInputLockX11::init()
{
    if (QByteArray(QTest::currentTestFunction()) == "noOpWithoutX11")
        return;
    if (!m_skip.isEmpty())
        QSKIP(qPrintable(m_skip));
    // Cases named "...WithoutWindowManager" run on a bare X server.
    const bool wm = !QByteArray(QTest::currentTestFunction()).contains("WithoutWindowManager");
    QVERIFY2(m_x.start(wm), "could not start Xvfb and the window manager");
}

void TstInputLockX11::cleanup()
{
    m_x.stop();
}

void TstInputLockX11::cleanupTestCase()
{
    m_x.stop();
}

std::unique_ptr<LineProcess> TstInputLockX11::startProbe(const QStringList& args,
                                                         const QString& workingDirectory)
{
    auto c = std::make_unique<LineProcess>(m_probe, args, m_x.environment(), workingDirectory);
    return c->started() ? std::move(c) : nullptr;
}

void TstInputLockX11::noOpWithoutX11()
{
    // This process itself runs offscreen: there is nothing to grab, and the lock says so.
    QVERIFY(!InputLock::isSupported());
    QWindow window;
    window.resize(200, 100);
    window.show();
    InputLock lock;
    QSignalSpy changed(&lock, &InputLock::grabsChanged);
    lock.lock(&window);
    QVERIFY(lock.isLocked());
    QVERIFY(!lock.grabsHeld());
    QTest::qWait(InputLock::RetryIntervalMs * 2);
    QVERIFY(!lock.grabsHeld());
    QCOMPARE(changed.count(), 0);
    lock.unlock();
    QVERIFY(!lock.isLocked());
}

void TstInputLockX11::keysAndClicksReachOnlyTheLockWindow()
{
    auto victim = startProbe({QStringLiteral("--window"), QStringLiteral("VK Victim")});
    QVERIFY(victim);
    QVERIFY(victim->waitForLine(QStringLiteral("shown"), 10000));
    const QString victimId = windowId(QStringLiteral("VK Victim"));
    QVERIFY(!victimId.isEmpty());
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), victimId});
    // The set-up works: without the lock, typed keys reach the other window.
    xdotool({QStringLiteral("type"), QStringLiteral("v")});
    QVERIFY(victim->waitForLine(QStringLiteral("key 86 v"), 5000));

    auto locker = startProbe({QStringLiteral("--lock")});
    QVERIFY(locker);
    QVERIFY2(locker->waitForLine(QStringLiteral("grabs 1"), 10000),
             qPrintable(locker->lines().join(u'|')));
    const int victimLinesBefore = victim->lines().size();

    xdotool({QStringLiteral("key"), QStringLiteral("alt+Tab")});
    xdotool({QStringLiteral("key"), QStringLiteral("alt+F4")});
    xdotool({QStringLiteral("key"), QStringLiteral("ctrl+Escape")});
    xdotool({QStringLiteral("key"), QStringLiteral("super")});
    xdotool({QStringLiteral("type"), QStringLiteral("q")});
    // A click where the other window lies.
    xdotool({QStringLiteral("mousemove"), QStringLiteral("150"), QStringLiteral("150"),
             QStringLiteral("click"), QStringLiteral("1")});
    // Keys typed reach the lock window itself: it still works for the customer.
    QVERIFY(locker->waitForLine(QStringLiteral("key 81 q"), 5000));
    QTest::qWait(300);

    QCOMPARE(victim->lines().size(), victimLinesBefore);
    QVERIFY2(locker->running(), "Alt+F4 closed the lock window");
    QVERIFY(!locker->lines().contains(QStringLiteral("close")));
    QVERIFY(!locker->lines().contains(QStringLiteral("grabs 0")));
    // Alt+Tab did not bring the other window up.
    QCOMPARE(topClientWindow(), windowId(QStringLiteral("VK LockProbe")));
}

void TstInputLockX11::lockWindowStaysAboveALaterWindow()
{
    auto locker = startProbe({QStringLiteral("--lock")});
    QVERIFY(locker);
    QVERIFY(locker->waitForLine(QStringLiteral("grabs 1"), 10000));
    const QString lockId = windowId(QStringLiteral("VK LockProbe"));
    QVERIFY(!lockId.isEmpty());

    auto late = startProbe({QStringLiteral("--window"), QStringLiteral("VK Late")});
    QVERIFY(late);
    QVERIFY(late->waitForLine(QStringLiteral("shown"), 10000));
    const QString lateId = windowId(QStringLiteral("VK Late"));
    QVERIFY(!lateId.isEmpty());
    // It may appear above for a moment; within a second the lock window is on top again.
    QTRY_COMPARE_WITH_TIMEOUT(topClientWindow(), lockId, 3000);
    QTest::qWait(500);
    QCOMPARE(topClientWindow(), lockId);
    // And the later window gets no input.
    xdotool({QStringLiteral("type"), QStringLiteral("z")});
    xdotool({QStringLiteral("mousemove"), QStringLiteral("120"), QStringLiteral("100"),
             QStringLiteral("click"), QStringLiteral("1")});
    QVERIFY(locker->waitForLine(QStringLiteral("key 90 z"), 5000));
    QTest::qWait(200);
    QCOMPARE(late->linesStarting(QStringLiteral("key")), QStringList());
    QCOMPARE(late->linesStarting(QStringLiteral("press")), QStringList());
}

void TstInputLockX11::grabHeldByAnotherClientIsRetried_data()
{
    QTest::addColumn<QStringList>("cover");
    // Neither a grab without a window nor a small window above the lock gets its program ended.
    QTest::newRow("no window") << QStringList();
    QTest::newRow("small window") << QStringList{QStringLiteral("--cover"), QStringLiteral("300"),
                                                 QStringLiteral("200")};
}

void TstInputLockX11::grabHeldByAnotherClientIsRetried()
{
    QFETCH(QStringList, cover);
    auto holder =
        startProbe(QStringList{QStringLiteral("--hold-grab"), QStringLiteral("60000")} + cover);
    QVERIFY(holder);
    QVERIFY(holder->waitForLine(QStringLiteral("held"), 5000));

    QTemporaryDir logDir;
    auto locker = startProbe({QStringLiteral("--lock")}, logDir.path());
    QVERIFY(locker);
    QVERIFY(locker->waitForLine(QStringLiteral("locked supported=1 grabs=0"), 10000));
    // While the other client holds the grabs, the lock cannot have them; it keeps trying, and
    // says so in the error log once, not once a try.
    QTest::qWait(InputLock::EndCoverAfterMs + InputLock::RetryIntervalMs * 4);
    QVERIFY(!locker->lines().contains(QStringLiteral("grabs 1")));
    QVERIFY(!holder->lines().contains(QStringLiteral("disconnected")));
    QFile log(logDir.filePath(QString::fromLatin1(ErrorLog::FileName)));
    QVERIFY(log.open(QIODevice::ReadOnly));
    const QString logged = QString::fromUtf8(log.readAll());
    QCOMPARE(logged.count(QStringLiteral("Calling Form: InputLock grab")), 1);
    QVERIFY2(logged.contains(QStringLiteral("another program holds it")), qPrintable(logged));

    holder->process().write("go\n");
    QVERIFY(holder->waitForLine(QStringLiteral("released"), 5000));
    // Retried until it succeeds, soon after the other client lets go.
    QVERIFY(locker->waitForLine(QStringLiteral("grabs 1"), 10000));
    xdotool({QStringLiteral("type"), QStringLiteral("k")});
    QVERIFY(locker->waitForLine(QStringLiteral("key 75 k"), 5000));
}

void TstInputLockX11::coverHoldingTheGrabsIsEnded_data()
{
    QTest::addColumn<QStringList>("how");
    QTest::newRow("stacked by no window manager") << QStringList();
    // Framed by the window manager, the window's program is found inside the frame.
    QTest::newRow("framed by the window manager") << QStringList{QStringLiteral("--managed")};
}

void TstInputLockX11::coverHoldingTheGrabsIsEnded()
{
    QFETCH(QStringList, how);
    // A program covers the screen with a window of its own, and holds the grabs.
    auto holder = startProbe(QStringList{QStringLiteral("--hold-grab"), QStringLiteral("60000"),
                                         QStringLiteral("--cover"), QStringLiteral("1024"),
                                         QStringLiteral("768")} +
                             how);
    QVERIFY(holder);
    QVERIFY(holder->waitForLine(QStringLiteral("held"), 5000));
    QTemporaryDir logDir;
    auto locker = startProbe({QStringLiteral("--lock")}, logDir.path());
    QVERIFY(locker);
    QVERIFY(locker->waitForLine(QStringLiteral("locked supported=1 grabs=0"), 10000));

    // Its connection is ended after a moment, and the lock has the grabs.
    QVERIFY(holder->waitForLine(QStringLiteral("disconnected"), 10000));
    QVERIFY(locker->waitForLine(QStringLiteral("grabs 1"), 10000));
    QCOMPARE(topClientWindow(), windowId(QStringLiteral("VK LockProbe")));
    xdotool({QStringLiteral("type"), QStringLiteral("k")});
    QVERIFY(locker->waitForLine(QStringLiteral("key 75 k"), 5000));
    QFile log(logDir.filePath(QString::fromLatin1(ErrorLog::FileName)));
    QVERIFY(log.open(QIODevice::ReadOnly));
    QVERIFY(QString::fromUtf8(log.readAll()).contains(QStringLiteral("Ended the program")));
}

void TstInputLockX11::ownDialogStaysUsableAboveTheLock()
{
    auto locker = startProbe({QStringLiteral("--lock"), QStringLiteral("--dialog")});
    QVERIFY(locker);
    QVERIFY(locker->waitForLine(QStringLiteral("grabs 1"), 10000));
    QVERIFY(locker->waitForLine(QStringLiteral("dialog shown"), 10000));
    const QString dialogId = windowId(QStringLiteral("VK Dialog"));
    QVERIFY(!dialogId.isEmpty());
    // The lock does not push its own application's dialog under it, and typing reaches it.
    QTest::qWait(1500);
    QCOMPARE(topClientWindow(), dialogId);
    xdotool({QStringLiteral("windowactivate"), QStringLiteral("--sync"), dialogId});
    xdotool({QStringLiteral("type"), QStringLiteral("ok")});
    QVERIFY2(locker->waitForLine(QStringLiteral("dialog text ok"), 5000),
             qPrintable(locker->lines().join(u'|')));
    QVERIFY(!locker->lines().contains(QStringLiteral("grabs 0")));
}

void TstInputLockX11::ownDialogStaysAboveWithoutWindowManager()
{
    auto locker = startProbe({QStringLiteral("--lock"), QStringLiteral("--dialog")});
    QVERIFY(locker);
    QVERIFY(locker->waitForLine(QStringLiteral("grabs 1"), 10000));
    QVERIFY(locker->waitForLine(QStringLiteral("dialog shown"), 10000));
    const QString dialogId = windowId(QStringLiteral("VK Dialog"));
    QVERIFY(!dialogId.isEmpty());
    // Nothing keeps a dialog above its parent here but the lock's own restraint.
    QTest::qWait(1500);
    QCOMPARE(topRootChild(), dialogId);
    xdotool({QStringLiteral("mousemove"), QStringLiteral("--window"), dialogId,
             QStringLiteral("10"), QStringLiteral("10")});
    xdotool({QStringLiteral("type"), QStringLiteral("ok")});
    QVERIFY2(locker->waitForLine(QStringLiteral("dialog text ok"), 5000),
             qPrintable(locker->lines().join(u'|')));
}

void TstInputLockX11::stillOnTopAndGrabbedWithoutWindowManager()
{
    auto locker = startProbe({QStringLiteral("--lock")});
    QVERIFY(locker);
    QVERIFY(locker->waitForLine(QStringLiteral("grabs 1"), 10000));
    const QString lockId = windowId(QStringLiteral("VK LockProbe"));
    QVERIFY(!lockId.isEmpty());
    auto late = startProbe({QStringLiteral("--window"), QStringLiteral("VK Late")});
    QVERIFY(late);
    QVERIFY(late->waitForLine(QStringLiteral("shown"), 10000));
    QTRY_COMPARE_WITH_TIMEOUT(topRootChild(), lockId, 3000);
    xdotool({QStringLiteral("mousemove"), QStringLiteral("100"), QStringLiteral("100"),
             QStringLiteral("click"), QStringLiteral("1")});
    xdotool({QStringLiteral("type"), QStringLiteral("m")});
    QVERIFY(locker->waitForLine(QStringLiteral("key 77 m"), 5000));
    QCOMPARE(late->linesStarting(QStringLiteral("key")), QStringList());
    QCOMPARE(late->linesStarting(QStringLiteral("press")), QStringList());
}

QTEST_MAIN(TstInputLockX11)
#include "tst_inputlock_x11.moc"
