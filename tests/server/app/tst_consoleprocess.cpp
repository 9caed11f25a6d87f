// The real console program, started as a cashier's machine would start it.
#include "server/core/database.h"
#include "support/systemwait.h"
#include "support/testhome.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>

namespace {

using namespace SystemTest;

QString consoleExe()
{
    return binary("vkserver");
}

void writeSettings(const TestHome& home, const QByteArray& text)
{
    QFile f(home.file("vantirokit.conf"));
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(text);
}

bool canConnect(quint16 port)
{
    QTcpSocket s;
    s.connectToHost(QHostAddress::LocalHost, port);
    return s.waitForConnected(1000);
}

// A loaded machine may take many seconds to start the console.
constexpr int ListenMs = 60000;

class ConsoleProcess
{
public:
    explicit ConsoleProcess(const TestHome& home)
    {
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("VANTIROKIT_HOME", home.path());
        env.insert("QT_QPA_PLATFORM", "offscreen");
        p.setProcessEnvironment(env);
        p.setWorkingDirectory(home.path());
        p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        p.start(consoleExe(), {});
    }
    ~ConsoleProcess()
    {
        if (p.state() != QProcess::NotRunning) {
            p.kill();
            p.waitForFinished(5000);
        }
    }
    // Waits until the console accepts connections on the port, or has ended.
    bool listens(quint16 port)
    {
        return waitUntil([&] { return canConnect(port) || p.state() == QProcess::NotRunning; },
                         ListenMs) &&
               canConnect(port);
    }
    QProcess p;
};

QByteArray neverListened(const TestHome& home)
{
    return ("the console never listened; its error log: " + home.errorLog()).toUtf8();
}

} // namespace

class TestConsoleProcess : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void startsOnAnEmptyHomeListensAndShutsDownOnSigterm()
    {
        TestHome home;
        const quint16 port = freePort();
        writeSettings(home, QString("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n"
                                    "\"port\"=\"%1\"\n")
                                .arg(port)
                                .toUtf8());
        ConsoleProcess console(home);
        QVERIFY(console.p.waitForStarted());
        QVERIFY2(console.listens(port), neverListened(home).constData());
        QVERIFY(QFile::exists(home.file("server.db")));

        ::kill(pid_t(console.p.processId()), SIGTERM);
        QVERIFY(console.p.state() == QProcess::NotRunning || console.p.waitForFinished(10000));
        QCOMPARE(console.p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(console.p.exitCode(), 0);

        Database db;
        QVERIFY(db.open(home.file("server.db")));
        QCOMPARE(db.scalar("SELECT count(*) FROM sqlite_master WHERE type = 'table'").toInt(), 10);
        QCOMPARE(db.scalar("SELECT count(*) FROM online").toInt(), 0); // emptied at shut-down
        QCOMPARE(db.scalar("SELECT billno FROM defalt").toInt(), 1);
    }

    void secondStartLeavesTheRunningConsoleAlone()
    {
        TestHome home;
        const quint16 port = freePort();
        writeSettings(home, QString("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n"
                                    "\"port\"=\"%1\"\n")
                                .arg(port)
                                .toUtf8());
        ConsoleProcess first(home);
        QVERIFY2(first.listens(port), neverListened(home).constData());
        ConsoleProcess second(home);
        QVERIFY(second.p.state() == QProcess::NotRunning || second.p.waitForFinished(10000));
        QCOMPARE(second.p.exitCode(), 0);
        QCOMPARE(first.p.state(), QProcess::Running);
        QVERIFY(canConnect(port));

        // A console killed outright does not block the next start.
        first.p.kill();
        QVERIFY(first.p.state() == QProcess::NotRunning || first.p.waitForFinished(5000));
        ConsoleProcess third(home);
        QVERIFY2(third.listens(port), neverListened(home).constData());
        QCOMPARE(third.p.state(), QProcess::Running);
    }
};

QTEST_GUILESS_MAIN(TestConsoleProcess)
#include "tst_consoleprocess.moc"
