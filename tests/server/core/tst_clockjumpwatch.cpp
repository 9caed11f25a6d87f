// SPDX-License-Identifier: Apache-2.0
// The date-time lock: a hand on the console's clock is noticed, logged and shown once.
#include "common/clock.h"
#include "server/core/clockjumpwatch.h"
#include "server/core/messagelog.h"
#include "support/datarow.h"
#include "support/scriptedprompt.h"
#include "support/testhome.h"

#include <QTest>

#include <memory>

class TestClockJumpWatch : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup() { Clock::reset(); }

    // The clock is moved `steps` times by `moveSeconds`, with a look after each, or while the
    // console is closed (then it starts again on the same run of the computer, or another).
    void jumpsAreReportedOnceWhileTheLockIsOn_data()
    {
        QTest::addColumn<bool>("lockOn");
        QTest::addColumn<int>("steps");
        QTest::addColumn<qint64>("moveSeconds");
        QTest::addColumn<QString>("closed");   // "" running, "same boot" or "new boot"
        QTest::addColumn<QString>("reported"); // "" when nothing is

        dataRow("set forward", true, 1, qint64(3900), "", "moved forward 1 h 5 min");
        dataRow("time sync", true, 1, qint64(90), "", "");
        dataRow("just past", true, 1, qint64(-121), "", "moved back 2 min");
        dataRow("lock off", false, 1, qint64(-3600), "", "");
        dataRow("small steps add up", true, 3, qint64(-100), "", "moved back 3 min");
        dataRow("while closed", true, 1, qint64(-2700), "same boot",
                "moved back 45 min while the console was closed");
        dataRow("small steps across a restart", true, 2, qint64(-100), "same boot",
                "moved back 3 min while the console");
        dataRow("while closed, lock off", false, 1, qint64(-2700), "same boot", "");
        dataRow("computer restarted", true, 1, qint64(-2700), "new boot", "");
    }

    void jumpsAreReportedOnceWhileTheLockIsOn()
    {
        QFETCH(bool, lockOn);
        QFETCH(int, steps);
        QFETCH(qint64, moveSeconds);
        QFETCH(QString, closed);
        QFETCH(QString, reported);
        TestHome home;
        ScriptedPrompt prompt;
        MessageLog log;
        Clock::setFixed(QDateTime(QDate(2026, 3, 2), QTime(14, 0)));
        QString boot = QStringLiteral("run-1");
        const auto watching = [&] {
            return std::make_unique<ClockJumpWatch>(
                log, [&lockOn] { return lockOn; }, std::function<qint64()>{},
                [&boot] { return boot; });
        };
        auto watch = watching();
        QVERIFY(!watch->start()); // nothing kept yet

        int reports = 0;
        for (int i = 0; i < steps; ++i) {
            Clock::setFixed(Clock::now().addSecs(moveSeconds));
            // Across a restart the first step is made while running, the rest while closed.
            if (closed.isEmpty() || (i == 0 && steps > 1)) {
                reports += watch->check();
            } else {
                watch.reset();
            }
        }
        if (!closed.isEmpty()) {
            if (closed == QLatin1String("new boot")) {
                boot = QStringLiteral("run-2");
            }
            watch = watching();
            reports += watch->start();
        }
        // Once per change; and one passed over while the lock was off is not reported later.
        lockOn = true;
        reports += watch->check();
        QCOMPARE(reports, reported.isEmpty() ? 0 : 1);

        QCOMPARE(log.lines().size(), reports);
        QCOMPARE(prompt.asked().size(), reports);
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
