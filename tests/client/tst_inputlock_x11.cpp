// SPDX-License-Identifier: Apache-2.0
// The workstation lock against a real X server: Xvfb with openbox, real key presses and
// clicks through the XTEST extension (xdotool), and a locker program (lockprobe) that shows a
// full-screen lock window and holds InputLock on it.
#include "common/errorlog.h"
#include "platform/ui/inputlock.h"
#include "support/xvfbsession.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QWindow>

#include <memory>

using namespace Qt::StringLiterals;

class TstInputLockX11 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        m_skip = XvfbSession::missingPrograms();
        if (!m_skip.isEmpty()) {
            return;
        }
        m_probe = QCoreApplication::applicationDirPath() + u"/lockprobe"_s;
        if (!QFileInfo(m_probe).isExecutable())
            m_skip = u"the lockprobe program is not built next to this test"_s;
    }

    void init()
    {
        if (QByteArray(QTest::currentTestFunction()) == "noOpWithoutX11")
            return;
        if (!m_skip.isEmpty())
            QSKIP(qPrintable(m_skip));
        QVERIFY2(m_x.start(withWindowManager()), "could not start Xvfb and the window manager");
    }

    void cleanup() { m_x.stop(); }

    void cleanupTestCase() { m_x.stop(); }

    void noOpWithoutX11()
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

    void keysAndClicksReachOnlyTheLockWindow()
    {
        auto victim = startProbe({u"--window"_s, u"VK Victim"_s});
        QVERIFY(victim);
        QVERIFY(victim->waitForLine(u"shown"_s, 10000));
        const QString victimId = windowId(u"VK Victim"_s);
        QVERIFY(!victimId.isEmpty());
        xdotool({u"windowactivate"_s, u"--sync"_s, victimId});
        // The set-up works: without the lock, typed keys reach the other window.
        xdotool({u"type"_s, u"v"_s});
        QVERIFY(victim->waitForLine(u"key 86 v"_s, 5000));

        auto locker = startLocker({});
        QVERIFY(locker);
        const int victimLinesBefore = victim->lines().size();

        for (const QString& chord : {u"alt+Tab"_s, u"alt+F4"_s, u"ctrl+Escape"_s, u"super"_s})
            xdotool({u"key"_s, chord});
        xdotool({u"type"_s, u"q"_s});
        // A click where the other window lies.
        xdotool({u"mousemove"_s, u"150"_s, u"150"_s, u"click"_s, u"1"_s});
        // Keys typed reach the lock window itself: it still works for the customer.
        QVERIFY(locker->waitForLine(u"key 81 q"_s, 5000));
        QTest::qWait(300);

        QCOMPARE(victim->lines().size(), victimLinesBefore);
        QVERIFY2(locker->running(), "Alt+F4 closed the lock window");
        QVERIFY(!locker->lines().contains(u"close"_s));
        QVERIFY(!locker->lines().contains(u"grabs 0"_s));
        // Alt+Tab did not bring the other window up.
        QCOMPARE(m_x.topClientWindow(), windowId(u"VK LockProbe"_s));
    }

    // Cases whose data tag says "without window manager" run on a bare X server.
    void lockWindowStaysAboveALaterWindow_data() { withAndWithoutWindowManager(); }
    void lockWindowStaysAboveALaterWindow()
    {
        auto locker = startLocker({});
        QVERIFY(locker);
        const QString lockId = windowId(u"VK LockProbe"_s);
        QVERIFY(!lockId.isEmpty());

        auto late = startProbe({u"--window"_s, u"VK Late"_s});
        QVERIFY(late);
        QVERIFY(late->waitForLine(u"shown"_s, 10000));
        QVERIFY(!windowId(u"VK Late"_s).isEmpty());
        // It may appear above for a moment; within a second the lock window is on top again.
        QTRY_COMPARE_WITH_TIMEOUT(topWindow(), lockId, 3000);
        QTest::qWait(500);
        QCOMPARE(topWindow(), lockId);
        // And the later window gets no input.
        xdotool({u"mousemove"_s, u"120"_s, u"100"_s, u"click"_s, u"1"_s});
        xdotool({u"type"_s, u"z"_s});
        QVERIFY(locker->waitForLine(u"key 90 z"_s, 5000));
        QTest::qWait(200);
        QCOMPARE(late->linesStarting(u"key"_s), QStringList());
        QCOMPARE(late->linesStarting(u"press"_s), QStringList());
    }

    void otherClientHoldingTheGrabs_data()
    {
        QTest::addColumn<QStringList>("cover");
        QTest::addColumn<bool>("ended");
        // Neither a grab without a window nor a small window above the lock gets its program ended.
        QTest::newRow("no window") << QStringList() << false;
        QTest::newRow("small window") << QStringList{u"--cover"_s, u"300"_s, u"200"_s} << false;
        // A program covering the screen with a window of its own is.
        const QStringList screen = {u"--cover"_s, u"1024"_s, u"768"_s};
        QTest::newRow("cover stacked by no window manager") << screen << true;
        // Framed by the window manager, the window's program is found inside the frame.
        QTest::newRow("cover framed by the window manager")
            << screen + QStringList{u"--managed"_s} << true;
    }
    void otherClientHoldingTheGrabs()
    {
        QFETCH(QStringList, cover);
        QFETCH(bool, ended);
        auto holder = startProbe(QStringList{u"--hold-grab"_s, u"60000"_s} + cover);
        QVERIFY(holder);
        QVERIFY(holder->waitForLine(u"held"_s, 5000));

        QTemporaryDir logDir;
        auto locker = startProbe({u"--lock"_s}, logDir.path());
        QVERIFY(locker);
        QVERIFY(locker->waitForLine(u"locked supported=1 grabs=0"_s, 10000));
        QFile log(logDir.filePath(QString::fromLatin1(ErrorLog::FileName)));
        if (ended) {
            // Its connection is ended after a moment, and the lock has the grabs.
            QVERIFY(holder->waitForLine(u"disconnected"_s, 10000));
            QVERIFY(locker->waitForLine(u"grabs 1"_s, 10000));
            QCOMPARE(m_x.topClientWindow(), windowId(u"VK LockProbe"_s));
            QVERIFY(log.open(QIODevice::ReadOnly));
            QVERIFY(QString::fromUtf8(log.readAll()).contains(u"Ended the program"_s));
        } else {
            // While the other client holds the grabs, the lock cannot have them; it keeps
            // trying, and says so in the error log once, not once a try.
            QTest::qWait(InputLock::EndCoverAfterMs + InputLock::RetryIntervalMs * 4);
            QVERIFY(!locker->lines().contains(u"grabs 1"_s));
            QVERIFY(!holder->lines().contains(u"disconnected"_s));
            QVERIFY(log.open(QIODevice::ReadOnly));
            const QString logged = QString::fromUtf8(log.readAll());
            QCOMPARE(logged.count(u"Calling Form: InputLock grab"_s), 1);
            QVERIFY2(logged.contains(u"another program holds it"_s), qPrintable(logged));

            holder->process().write("go\n");
            QVERIFY(holder->waitForLine(u"released"_s, 5000));
            // Retried until it succeeds, soon after the other client lets go.
            QVERIFY(locker->waitForLine(u"grabs 1"_s, 10000));
        }
        xdotool({u"type"_s, u"k"_s});
        QVERIFY(locker->waitForLine(u"key 75 k"_s, 5000));
    }

    void ownDialogStaysUsableAboveTheLock_data() { withAndWithoutWindowManager(); }
    void ownDialogStaysUsableAboveTheLock()
    {
        auto locker = startLocker({u"--dialog"_s});
        QVERIFY(locker);
        QVERIFY(locker->waitForLine(u"dialog shown"_s, 10000));
        const QString dialogId = windowId(u"VK Dialog"_s);
        QVERIFY(!dialogId.isEmpty());
        // The lock does not push its own application's dialog under it (without a window
        // manager nothing else keeps it above its parent), and typing reaches it.
        QTest::qWait(1500);
        QCOMPARE(topWindow(), dialogId);
        if (withWindowManager())
            xdotool({u"windowactivate"_s, u"--sync"_s, dialogId});
        else
            xdotool({u"mousemove"_s, u"--window"_s, dialogId, u"10"_s, u"10"_s});
        xdotool({u"type"_s, u"ok"_s});
        QVERIFY2(locker->waitForLine(u"dialog text ok"_s, 5000),
                 qPrintable(locker->lines().join(u'|')));
        QVERIFY(!locker->lines().contains(u"grabs 0"_s));
    }

private:
    QString xdotool(const QStringList& args) { return m_x.xdotool(args); }
    QString windowId(const QString& title) { return m_x.windowId(title); }
    static void withAndWithoutWindowManager()
    {
        // Read from the data tag, as init() needs it before the case runs.
        QTest::addColumn<bool>("windowManager");
        QTest::newRow("window manager") << true;
        QTest::newRow("without window manager") << false;
    }
    static bool withWindowManager()
    {
        return !QByteArray(QTest::currentDataTag()).contains("without window manager");
    }
    // The top-most window as the window manager stacks them, or as the X server does.
    QString topWindow() { return withWindowManager() ? m_x.topClientWindow() : m_x.topRootChild(); }
    // The locker with the grabs taken.
    std::unique_ptr<LineProcess> startLocker(const QStringList& args)
    {
        auto locker = startProbe(QStringList{u"--lock"_s} + args);
        if (locker && !locker->waitForLine(u"grabs 1"_s, 10000)) {
            qWarning("%s", qPrintable(locker->lines().join(u'|')));
            return nullptr;
        }
        return locker;
    }
    std::unique_ptr<LineProcess> startProbe(const QStringList& args,
                                            const QString& workingDirectory = {})
    {
        auto c = std::make_unique<LineProcess>(m_probe, args, m_x.environment(), workingDirectory);
        return c->started() ? std::move(c) : nullptr;
    }

    QString m_skip;
    QString m_probe;
    XvfbSession m_x;
};

QTEST_MAIN(TstInputLockX11)
#include "tst_inputlock_x11.moc"
