// SPDX-License-Identifier: Apache-2.0
#include "common/settingsstore.h"
#include "platform/loginsession.h"
#include "platform/power.h"
#include "support/datarow.h"
#include "support/testhome.h"

#include <QElapsedTimer>
#include <QFile>
#include <QTest>

#include <memory>

Q_DECLARE_METATYPE(LoginSession::Session)

// What the agent asks of the system at the end: power, and the end of the customer's login.
// Every power case configures a recording command first and checks it is in force, so the
// tests can never reach the machine's real power control; the login cases never call the
// login manager.
class TestPower : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        qunsetenv(Power::CommandVariable);
    }
    void cleanup()
    {
        qunsetenv(Power::CommandVariable);
        m_home.reset();
    }

    void storedCommandRunsUnlessTheVariableNamesOne()
    {
        // Nothing configured, a blank variable and a key without the value name no command.
        QCOMPARE(Power::overrideCommand(), QString());
        qputenv(Power::CommandVariable, "   ");
        SettingsStore().createKey(Power::platformKey());
        QCOMPARE(Power::overrideCommand(), QString());
        SettingsStore().writeValue(Power::platformKey(), QString::fromLatin1(Power::CommandValue),
                                   recorder(QStringLiteral("stored.txt")));
        QCOMPARE(Power::overrideCommand(), recorder(QStringLiteral("stored.txt")));
        QVERIFY(ask(Power::Action::Reboot));
        QCOMPARE(read(QStringLiteral("stored.txt")), QByteArray("reboot\n"));

        qputenv(Power::CommandVariable, recorder(QStringLiteral("env.txt")).toLocal8Bit());
        QCOMPARE(Power::overrideCommand(), recorder(QStringLiteral("env.txt")));
        QVERIFY(ask(Power::Action::Shutdown));
        QVERIFY(ask(Power::Action::Reboot));
        QCOMPARE(read(QStringLiteral("env.txt")), QByteArray("poweroff\nreboot\n"));
        QCOMPARE(read(QStringLiteral("stored.txt")), QByteArray("reboot\n"));
    }

    void wordIsOneArgumentNotCommandText()
    {
        // The command sees exactly one extra argument, the word itself.
        const QString cmd = QStringLiteral("printf '%s|' \"$#\" >> '") +
                            m_home->file(QStringLiteral("args.txt")) + QStringLiteral("'; :");
        qputenv(Power::CommandVariable, cmd.toLocal8Bit());
        QVERIFY(ask(Power::Action::Shutdown));
        QCOMPARE(read(QStringLiteral("args.txt")), QByteArray("1|"));
    }

    void failingCommandIsReportedAndLogged()
    {
        qputenv(Power::CommandVariable, "exit 3; :");
        QVERIFY(!Power::overrideCommand().isEmpty());
        QVERIFY(!ask(Power::Action::Shutdown));
        QVERIFY(m_home->errorLog().contains(QStringLiteral("Calling Form: Power\r\n")));
        QVERIFY(m_home->errorLog().contains(QStringLiteral("Error Number: 3\r\n")));
    }

    void slowCommandNeitherBlocksNorOutlivesItsOwner()
    {
        const QString done = m_home->file(QStringLiteral("done.txt"));
        qputenv(
            Power::CommandVariable,
            (QStringLiteral("sleep 1; echo >> '") + done + QStringLiteral("'; :")).toLocal8Bit());
        bool called = false;
        QElapsedTimer took;
        took.start();
        {
            QObject owner;
            Power::request(Power::Action::Reboot, &owner, [&](bool) { called = true; });
            QVERIFY(took.elapsed() < 500);
            QTest::qWait(100);
        }
        // Abandoned with its owner: killed before it could act, and nothing reported.
        QTest::qWait(1500);
        QVERIFY(!called);
        QVERIFY(!QFile::exists(done));
    }

    void loginEndingIsOffUnlessSetToOne()
    {
        QVERIFY(!LoginSession::enabled());
        SettingsStore s;
        s.createKey(RegKey::Platform);
        const QString value = QString::fromLatin1(LoginSession::EndValue);
        for (const char* text : {"0", "yes", "", "1"}) {
            s.writeValue(RegKey::Platform, value, QString::fromLatin1(text));
            QCOMPARE(LoginSession::enabled(), QByteArray(text) == "1");
        }
    }

    void accountsToEnd_data()
    {
        using S = LoginSession::Session;
        QTest::addColumn<QList<S>>("sessions");
        QTest::addColumn<QString>("display");
        QTest::addColumn<QList<uint>>("ended");
        // The agent runs as account 120.
        dataRow("screen number", QList<S>{{1001, ":0"}}, ":0.0", QList<uint>{1001});
        dataRow("other display", QList<S>{{1001, ":1"}, {1002, ""}}, ":0", QList<uint>{});
        dataRow("never root, never the agent", QList<S>{{0, ":0"}, {120, ":0"}, {1001, ":0"}}, ":0",
                QList<uint>{1001});
        dataRow("each account once", QList<S>{{1001, ":0"}, {1001, ":0"}, {1002, ":0"}}, ":0",
                QList<uint>{1001, 1002});
        dataRow("no display known", QList<S>{{1001, ""}}, "", QList<uint>{});
    }

    void accountsToEnd()
    {
        QFETCH(QList<LoginSession::Session>, sessions);
        QFETCH(QString, display);
        QFETCH(QList<uint>, ended);
        QCOMPARE(LoginSession::accountsToEnd(sessions, display, 120), ended);
    }

private:
    // The request's outcome, waited for on the event loop.
    static bool ask(Power::Action action)
    {
        QObject owner;
        int outcome = -1;
        Power::request(action, &owner, [&outcome](bool accepted) { outcome = accepted; });
        return QTest::qWaitFor([&outcome] { return outcome >= 0; }, 10000) && outcome == 1;
    }
    QString recorder(const QString& file) const
    {
        return QStringLiteral("echo >> '") + m_home->file(file) + QLatin1Char('\'');
    }
    QByteArray read(const QString& name) const
    {
        QFile f(m_home->file(name));
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }

    std::unique_ptr<TestHome> m_home;
};

QTEST_GUILESS_MAIN(TestPower)
#include "tst_power.moc"
