// The workstation lock against a real X server: Xvfb with openbox, real key presses and
// clicks through the XTEST extension (xdotool), and a locker program (lockprobe) that shows a
// full-screen lock window and holds InputLock on it.
#include "platform/ui/inputlock.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QSignalSpy>
#include <QStandardPaths>
#include <QTest>
#include <QWindow>

#include <memory>

namespace {

// A child process whose standard output is collected line by line.
class Child
{
public:
    Child(const QString& program, const QStringList& args, const QProcessEnvironment& env)
    {
        m_p.setProgram(program);
        m_p.setArguments(args);
        m_p.setProcessEnvironment(env);
        m_p.setProcessChannelMode(QProcess::SeparateChannels);
        m_p.start();
    }
    ~Child()
    {
        if (m_p.state() != QProcess::NotRunning) {
            m_p.terminate();
            if (!m_p.waitForFinished(2000)) {
                m_p.kill();
                m_p.waitForFinished(2000);
            }
        }
    }
    bool started() { return m_p.waitForStarted(5000); }
    bool running() const { return m_p.state() == QProcess::Running; }
    QStringList lines()
    {
        m_out += QString::fromLocal8Bit(m_p.readAllStandardOutput());
        return m_out.split(QLatin1Char('\n'), Qt::SkipEmptyParts);
    }
    bool waitForLine(const QString& line, int timeoutMs)
    {
        QElapsedTimer t;
        t.start();
        while (t.elapsed() < timeoutMs) {
            if (lines().contains(line))
                return true;
            m_p.waitForReadyRead(50);
        }
        return lines().contains(line);
    }
    // Lines starting with the prefix.
    QStringList linesStarting(const QString& prefix)
    {
        QStringList r;
        for (const QString& l : lines())
            if (l.startsWith(prefix))
                r << l;
        return r;
    }
    QProcess& process() { return m_p; }

private:
    QProcess m_p;
    QString m_out;
};

QString run(const QString& program, const QStringList& args, const QProcessEnvironment& env)
{
    QProcess p;
    p.setProcessEnvironment(env);
    p.start(program, args);
    if (!p.waitForFinished(10000))
        return {};
    return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
}

} // namespace

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
    void grabHeldByAnotherClientIsRetried();
    void ownDialogStaysUsableAboveTheLock();
    void ownDialogStaysAboveWithoutWindowManager();
    void stillOnTopAndGrabbedWithoutWindowManager();

private:
    bool startX(bool withWindowManager);
    void stopX();
    QString xdotool(const QStringList& args) { return run(m_xdotool, args, m_env); }
    QString windowId(const QString& title);
    QString topClientWindow();
    QString topRootChild();
    std::unique_ptr<Child> startProbe(const QStringList& args);

    const char* m_skip = nullptr;
    QString m_probe, m_xvfb, m_openbox, m_xdotool, m_xprop, m_xwininfo;
    std::unique_ptr<Child> m_x;
    std::unique_ptr<Child> m_wm;
    QProcessEnvironment m_env;
};

void TstInputLockX11::initTestCase()
{
    m_xvfb = QStandardPaths::findExecutable(QStringLiteral("Xvfb"));
    m_openbox = QStandardPaths::findExecutable(QStringLiteral("openbox"));
    m_xdotool = QStandardPaths::findExecutable(QStringLiteral("xdotool"));
    m_xprop = QStandardPaths::findExecutable(QStringLiteral("xprop"));
    m_xwininfo = QStandardPaths::findExecutable(QStringLiteral("xwininfo"));
    if (m_xvfb.isEmpty() || m_openbox.isEmpty() || m_xdotool.isEmpty() || m_xprop.isEmpty() ||
        m_xwininfo.isEmpty()) {
        m_skip = "needs Xvfb, openbox, xdotool, xprop and xwininfo (packages xvfb, openbox, "
                 "xdotool, x11-utils)";
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
        m_skip = "the lockprobe program is not built next to this test";
}

void TstInputLockX11::init()
{
    if (QByteArray(QTest::currentTestFunction()) == "noOpWithoutX11")
        return;
    if (m_skip)
        QSKIP(m_skip);
    // Cases named "...WithoutWindowManager" run on a bare X server.
    const bool wm = !QByteArray(QTest::currentTestFunction()).contains("WithoutWindowManager");
    QVERIFY2(startX(wm), "could not start Xvfb and the window manager");
}

void TstInputLockX11::cleanup()
{
    stopX();
}

void TstInputLockX11::cleanupTestCase()
{
    stopX();
}

bool TstInputLockX11::startX(bool withWindowManager)
{
    // -displayfd: the server picks a free display itself and writes its number to stdout.
    m_x = std::make_unique<Child>(m_xvfb,
                                  QStringList{QStringLiteral("-displayfd"), QStringLiteral("1"),
                                              QStringLiteral("-screen"), QStringLiteral("0"),
                                              QStringLiteral("1024x768x24"),
                                              QStringLiteral("-nolisten"), QStringLiteral("tcp")},
                                  QProcessEnvironment::systemEnvironment());
    if (!m_x->started())
        return false;
    QElapsedTimer t;
    t.start();
    QString display;
    while (display.isEmpty() && t.elapsed() < 10000) {
        m_x->process().waitForReadyRead(100);
        const QStringList l = m_x->lines();
        if (!l.isEmpty())
            display = QLatin1Char(':') + l.first().trimmed();
    }
    if (display.isEmpty())
        return false;
    m_env = QProcessEnvironment::systemEnvironment();
    m_env.insert(QStringLiteral("DISPLAY"), display);
    m_env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("xcb"));
    m_env.remove(QStringLiteral("WAYLAND_DISPLAY"));
    if (!withWindowManager)
        return true;
    m_wm = std::make_unique<Child>(m_openbox, QStringList{}, m_env);
    if (!m_wm->started())
        return false;
    while (t.elapsed() < 15000) {
        if (run(m_xprop, {QStringLiteral("-root"), QStringLiteral("_NET_SUPPORTING_WM_CHECK")},
                m_env)
                .contains(QLatin1String("window id")))
            return true;
        QTest::qWait(100);
    }
    return false;
}

void TstInputLockX11::stopX()
{
    m_wm.reset();
    m_x.reset();
}

std::unique_ptr<Child> TstInputLockX11::startProbe(const QStringList& args)
{
    auto c = std::make_unique<Child>(m_probe, args, m_env);
    return c->started() ? std::move(c) : nullptr;
}

QString TstInputLockX11::windowId(const QString& title)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < 5000) {
        const QString id = xdotool({QStringLiteral("search"), QStringLiteral("--name"), title})
                               .section(QLatin1Char('\n'), 0, 0);
        if (!id.isEmpty())
            return id;
        QTest::qWait(100);
    }
    return {};
}

// The top-most client window as the window manager stacks them (decimal id).
QString TstInputLockX11::topClientWindow()
{
    const QString out =
        run(m_xprop, {QStringLiteral("-root"), QStringLiteral("_NET_CLIENT_LIST_STACKING")}, m_env);
    const QString last = out.section(QLatin1Char(','), -1).section(QLatin1Char('#'), -1).trimmed();
    bool ok = false;
    const qulonglong v = last.toULongLong(&ok, 16);
    return ok ? QString::number(v) : QString();
}

// The top-most mapped child of the root window (decimal id), for a display without a manager.
QString TstInputLockX11::topRootChild()
{
    const QString out =
        run(m_xwininfo, {QStringLiteral("-root"), QStringLiteral("-children")}, m_env);
    // xwininfo lists the children from the top of the stack down.
    const QStringList lines = out.split(QLatin1Char('\n'));
    for (const QString& l : lines) {
        const QString s = l.trimmed();
        if (!s.startsWith(QLatin1String("0x")))
            continue;
        const QString idText = s.section(QLatin1Char(' '), 0, 0);
        const QString attrs = run(m_xwininfo, {QStringLiteral("-id"), idText}, m_env);
        if (attrs.contains(QLatin1String("IsViewable")))
            return QString::number(idText.toULongLong(nullptr, 16));
    }
    return {};
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

void TstInputLockX11::grabHeldByAnotherClientIsRetried()
{
    auto holder = startProbe({QStringLiteral("--hold-grab"), QStringLiteral("60000")});
    QVERIFY(holder);
    QVERIFY(holder->waitForLine(QStringLiteral("held"), 5000));

    auto locker = startProbe({QStringLiteral("--lock")});
    QVERIFY(locker);
    QVERIFY(locker->waitForLine(QStringLiteral("locked supported=1 grabs=0"), 10000));
    // While the other client holds the grabs, the lock cannot have them; it keeps trying.
    QTest::qWait(InputLock::RetryIntervalMs * 3);
    QVERIFY(!locker->lines().contains(QStringLiteral("grabs 1")));

    holder->process().write("go\n");
    QVERIFY(holder->waitForLine(QStringLiteral("released"), 5000));
    // Retried until it succeeds, soon after the other client lets go.
    QElapsedTimer t;
    t.start();
    QVERIFY(locker->waitForLine(QStringLiteral("grabs 1"), 3000));
    QVERIFY2(t.elapsed() < 1500, qPrintable(QString::number(t.elapsed())));
    xdotool({QStringLiteral("type"), QStringLiteral("k")});
    QVERIFY(locker->waitForLine(QStringLiteral("key 75 k"), 5000));
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
