// SPDX-License-Identifier: Apache-2.0
#include "platform/singleinstance.h"
#include "support/systemwait.h"
#include "support/testhome.h"

#include <QCoreApplication>
#include <QFile>
#include <QLocalSocket>
#include <QLockFile>
#include <QProcess>
#include <QSignalSpy>
#include <QTest>
#include <QTextStream>

#include <memory>
#include <vector>

// Other starts of the program are this executable re-run with VK_SI_CHILD set:
// "holder" takes the instance and reports each activation; "second" starts, finds the holder,
// notifies it and ends.
namespace {

const QString Name = QStringLiteral("client");

int childMain(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    // The programs name themselves unlike their executables; the lock must not mind.
    QCoreApplication::setApplicationName(QStringLiteral("Vantirokit Agent"));
    QTextStream out(stdout);
    SingleInstance si;
    if (!si.tryAcquire(Name)) {
        out << "busy" << Qt::endl;
        if (qEnvironmentVariable("VK_SI_CHILD") == QLatin1String("second")) {
            out << (si.notifyRunning() ? "notified" : "not notified") << Qt::endl;
        }
        return 1;
    }
    out << "acquired" << Qt::endl;
    QObject::connect(&si, &SingleInstance::activationRequested,
                     [&out] { out << "activated" << Qt::endl; });
    return app.exec();
}

std::unique_ptr<QProcess> startChild(const QString& role)
{
    auto p = std::make_unique<QProcess>();
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("VK_SI_CHILD"), role);
    p->setProcessEnvironment(env);
    p->setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p->start(QCoreApplication::applicationFilePath(), {});
    return p;
}

// The next line the child prints, or "" when none comes in time.
QByteArray nextLine(QProcess& p)
{
    SystemTest::waitUntil([&p] { return p.canReadLine() || p.state() == QProcess::NotRunning; });
    return p.canReadLine() ? p.readLine().trimmed() : QByteArray();
}

} // namespace

class TestSingleInstance : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { m_home = std::make_unique<TestHome>(); }
    void cleanup() { m_home.reset(); }

    void secondInstanceInProcessIsRefusedAndNotifies()
    {
        {
            SingleInstance first;
            QVERIFY(first.tryAcquire(Name));
            QVERIFY(!first.notifyRunning());
            QSignalSpy spy(&first, &SingleInstance::activationRequested);
            // A stranger's bytes on the socket are no activation.
            QLocalSocket stranger;
            stranger.connectToServer(SingleInstance::serverNameFor(Name));
            QVERIFY(stranger.waitForConnected(2000));
            stranger.write("hello\n");
            QVERIFY(stranger.waitForBytesWritten(2000));
            QVERIFY(!spy.wait(500));

            SingleInstance second;
            QVERIFY(!second.tryAcquire(Name));
            QVERIFY(second.notifyRunning());
            QVERIFY(spy.wait(5000));
            QCOMPARE(spy.size(), 1);

            SingleInstance other;
            QVERIFY(other.tryAcquire(QStringLiteral("vkserver"))); // another program is separate
        }
        // Released on destruction.
        SingleInstance again;
        QVERIFY(again.tryAcquire(Name));
    }

    // A customer who can write into the folder puts a lock file there naming a live process
    // (this one): only a lock held in the kernel keeps the agent out.
    void handWrittenLockFileHoldsNothing()
    {
        const QString sample = m_home->file(QStringLiteral("sample.lock"));
        QByteArray forged;
        {
            QLockFile live(sample);
            QVERIFY(live.tryLock(0));
            QFile f(sample);
            QVERIFY(f.open(QIODevice::ReadOnly));
            forged = f.readAll();
        }
        QFile lock(SingleInstance::lockFileFor(Name));
        QVERIFY(lock.open(QIODevice::WriteOnly));
        lock.write(forged);
        lock.close();

        SingleInstance first;
        QVERIFY(first.tryAcquire(Name));
        SingleInstance second;
        QVERIFY(!second.tryAcquire(Name));
    }

    // Of four simultaneous starts one holds the name; it is activated by later starts and its
    // death frees the name.
    void holderProcessGetsActivatedAndItsDeathFreesTheName()
    {
        std::vector<std::unique_ptr<QProcess>> starts;
        for (int i = 0; i < 4; ++i) {
            starts.push_back(startChild(QStringLiteral("holder")));
        }
        QProcess* holder = nullptr;
        int busy = 0;
        for (auto& c : starts) {
            const QByteArray line = nextLine(*c);
            holder = line == "acquired" && holder == nullptr ? c.get() : holder;
            busy += line == "busy";
        }
        QVERIFY(holder != nullptr);
        QCOMPARE(busy, 3);

        // Still held after a while, however long the first instance runs.
        QTest::qWait(1500);
        SingleInstance late;
        QVERIFY(!late.tryAcquire(Name));

        auto second = startChild(QStringLiteral("second"));
        QCOMPARE(nextLine(*second), QByteArray("busy"));
        QCOMPARE(nextLine(*second), QByteArray("notified"));
        QVERIFY(second->state() == QProcess::NotRunning || second->waitForFinished(10000));
        QCOMPARE(nextLine(*holder), QByteArray("activated"));

        // Killed outright, the holder leaves its lock file and socket behind.
        holder->kill();
        QVERIFY(holder->state() == QProcess::NotRunning || holder->waitForFinished(10000));
        QVERIFY(QFile::exists(SingleInstance::lockFileFor(Name)));

        SingleInstance next;
        QVERIFY(next.tryAcquire(Name));
        QSignalSpy spy(&next, &SingleInstance::activationRequested);
        auto third = startChild(QStringLiteral("second"));
        QVERIFY(spy.wait(30000));
        // Events keep flowing while the later start finishes: it may still be closing its
        // connection to this (first) instance.
        QTRY_VERIFY_WITH_TIMEOUT(third->state() == QProcess::NotRunning, 30000);
        QCOMPARE(third->readAll().trimmed(), QByteArray("busy\nnotified"));
    }

private:
    std::unique_ptr<TestHome> m_home;
};

int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsSet("VK_SI_CHILD")) {
        return childMain(argc, argv);
    }
    QCoreApplication app(argc, argv);
    TestSingleInstance test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_singleinstance.moc"
