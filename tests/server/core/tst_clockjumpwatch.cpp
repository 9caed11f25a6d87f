// The date-time lock: a hand on the console's clock is noticed, logged and shown once.
#include "common/clock.h"
#include "server/core/clockjumpwatch.h"
#include "server/core/messagelog.h"
#include "support/scriptedprompt.h"
#include "support/testhome.h"

#include <QTest>

class TestClockJumpWatch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { Clock::reset(); }

    void jumpsAreReportedOnceWhileTheLockIsOn_data()
    {
        QTest::addColumn<bool>("lockOn");
        QTest::addColumn<qint64>("moveSeconds");
        QTest::addColumn<QString>("reported"); // "" when nothing is

        QTest::newRow("set back") << true << qint64(-2700) << "moved back 45 min";
        QTest::newRow("set forward") << true << qint64(3900) << "moved forward 1 h 5 min";
        QTest::newRow("a day back") << true << qint64(-86400) << "moved back 24 h 0 min";
        QTest::newRow("time sync") << true << qint64(90) << "";
        QTest::newRow("just past") << true << qint64(-121) << "moved back 2 min";
        QTest::newRow("lock off") << false << qint64(-3600) << "";
    }

    void jumpsAreReportedOnceWhileTheLockIsOn()
    {
        QFETCH(bool, lockOn);
        QFETCH(qint64, moveSeconds);
        QFETCH(QString, reported);
        TestHome home;
        ScriptedPrompt prompt;
        MessageLog log;
        const QDateTime start(QDate(2026, 3, 2), QTime(14, 0));
        Clock::setFixed(start);
        ClockJumpWatch watch(log, [&lockOn] { return lockOn; });

        Clock::setFixed(start.addSecs(moveSeconds));
        QCOMPARE(watch.check(), !reported.isEmpty());
        // Once per jump; and one passed over while the lock was off is not reported later.
        lockOn = true;
        QVERIFY(!watch.check());

        QCOMPARE(log.lines().size(), reported.isEmpty() ? 0 : 1);
        QCOMPARE(prompt.asked().size(), reported.isEmpty() ? 0 : 1);
        QCOMPARE(home.errorLog().contains(ClockJumpWatch::Label), !reported.isEmpty());
        if (!reported.isEmpty()) {
            QVERIFY2(log.lines().first().contains(reported), qPrintable(log.lines().first()));
            QVERIFY(prompt.lastText().startsWith(log.lines().first()));
            QCOMPARE(prompt.asked().first().title, QStringLiteral("Warning"));
            QVERIFY(home.errorLog().contains(reported));
        }
    }
};

QTEST_GUILESS_MAIN(TestClockJumpWatch)
#include "tst_clockjumpwatch.moc"
