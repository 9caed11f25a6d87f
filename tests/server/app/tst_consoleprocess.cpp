// SPDX-License-Identifier: Apache-2.0
// The real console program, started as a cashier's machine would start it.
#include "server/core/database.h"
#include "support/consoleconf.h"
#include "support/systemwait.h"
#include "support/testdatabase.h"
#include "support/testhome.h"

#include <QProcess>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTest>

#include <csignal>
#include <sys/stat.h>

namespace {

using namespace SystemTest;

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
        p.start(binary("vkserver"), {});
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

// The permission bits of a file, as ls shows them in octal.
int modeOf(const QString& path)
{
    struct stat st = {};
    return ::stat(QFile::encodeName(path).constData(), &st) == 0 ? int(st.st_mode & 07777) : -1;
}

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
        writeConsoleSettings(home, port);
        const DatabaseTarget target = testDatabaseTarget(home);
        ConsoleProcess console(home);
        QVERIFY(console.p.waitForStarted());
        QVERIFY2(console.listens(port), neverListened(home).constData());
        QCOMPARE(QFile::exists(home.file("server.db")), !target.isShared());

        ::kill(pid_t(console.p.processId()), SIGTERM);
        QVERIFY(console.p.state() == QProcess::NotRunning || console.p.waitForFinished(10000));
        QCOMPARE(console.p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(console.p.exitCode(), 0);

        Database db;
        QVERIFY(db.open(target));
        for (const QString& table : Database::tableNames() + Database::deskTables()) {
            QVERIFY2(db.scalar("SELECT count(*) FROM " + table).isValid(), qPrintable(table));
        }
        QCOMPARE(db.scalar("SELECT count(*) FROM online").toInt(), 0); // emptied at shut-down
        QCOMPARE(db.scalar("SELECT billno FROM defalt").toInt(), 1);
    }

    // The database carries the passwords, the error log addresses: other accounts of the
    // computer read neither. A mode an administrator chose for a file stays.
    void filesAreOwnerOnlyUnlessAnAdministratorSaidOtherwise()
    {
        TestHome home;
        // A port already taken: the console logs that it cannot listen, so it writes its
        // error log on every start.
        QTcpServer taken;
        QVERIFY(taken.listen(QHostAddress::LocalHost));
        writeConsoleSettings(home, taken.serverPort());
        const QStringList files = {home.file("server.db"), home.file("server.db-wal"),
                                   home.file("server.db-shm"), home.file("Morvek.txt")};
        const auto allThere = [&] {
            for (const QString& f : files) {
                if (!QFile::exists(f)) {
                    return false;
                }
            }
            // Logged after the database is open: the start-up has touched every file.
            return QFileInfo(home.file("Morvek.txt")).size() > 0;
        };
        for (const int mode : {0600, 0640}) {
            ConsoleProcess console(home);
            QVERIFY2(waitUntil(allThere), qPrintable(home.errorLog()));
            // The second start finds the files an administrator opened to a group.
            for (const QString& f : files) {
                QCOMPARE(modeOf(f), mode);
            }
            if (mode == 0600) {
                // Killed, so the journals stay for the next start to open again.
                console.p.kill();
                QVERIFY(console.p.waitForFinished(10000));
                for (const QString& f : files) {
                    QVERIFY(::chmod(QFile::encodeName(f).constData(), 0640) == 0);
                }
                QFile::resize(home.file("Morvek.txt"), 0);
            }
        }
    }

    void secondStartLeavesTheRunningConsoleAlone()
    {
        TestHome home;
        const quint16 port = freePort();
        writeConsoleSettings(home, port);
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
