// SPDX-License-Identifier: Apache-2.0
// The session clock's countdown: elapsed time, remaining-time warnings and the automatic
// logout request, on a clock the test moves second by second.

#include "client/core/agentsettings.h"
#include "client/core/loginrules.h"
#include "client/core/sessionclock.h"
#include "common/clock.h"
#include "support/agentfixture.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

struct Run
{
    QList<qint64> warnedAt;  // elapsed minutes of each warning
    QList<qint64> remaining; // the minutes each warning showed
    QList<qint64> logoutAt;  // elapsed seconds of each automatic logout request
};

const QDateTime Start(QDate(2026, 3, 14), QTime(9, 0, 0));

} // namespace

class TstSessionClock : public QObject, public AgentFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        openAgentHome();
        m_settings->setLoginTime(Start);
        Clock::setFixed(Start);
    }
    void cleanup() { closeAgentHome(); }

    void warningsWithoutAutomaticLogout()
    {
        m_settings->setAutologoff(false);
        m_settings->setSurfupto(u"30"_s);
        SessionClock clock(*m_settings);
        const Run r = tick(clock, 45 * 60);
        QCOMPARE(r.warnedAt, (QList<qint64>{21, 22, 23, 24, 25, 26, 27, 28, 29}));
        QCOMPARE(r.remaining, (QList<qint64>{9, 8, 7, 6, 5, 4, 3, 2, 1}));
        QVERIFY(r.logoutAt.isEmpty());
        QCOMPARE(m_settings->minlastText(), u"29"_s);
    }

    void automaticLogoutRepeatsEverySecond()
    {
        m_settings->setAutologoff(true);
        m_settings->setSurfupto(u"30"_s);
        SessionClock clock(*m_settings);
        const Run r = tick(clock, 32 * 60);
        QCOMPARE(r.warnedAt, (QList<qint64>{21, 22, 23, 24, 25, 26, 27, 28, 29}));
        // Every second from minute 30 on, none before.
        QCOMPARE(r.logoutAt.size(), 2 * 60 + 1);
        QCOMPARE(r.logoutAt.first(), 30 * 60);
        QCOMPARE(r.logoutAt.last(), 32 * 60);
    }

    void raisingTheLimitInTheWarningWindow()
    {
        m_settings->setAutologoff(true);
        m_settings->setSurfupto(u"30"_s);
        SessionClock clock(*m_settings);
        LoginRules rules(*m_settings);
        const Run r = tick(clock, 50 * 60, [&](qint64 s) {
            if (s == 25 * 60 + 10) {
                QVERIFY(rules.warningSurfChanged(u"45"_s, clock.elapsedMinutes()));
            }
        });
        QCOMPARE(r.warnedAt,
                 (QList<qint64>{21, 22, 23, 24, 25, 36, 37, 38, 39, 40, 41, 42, 43, 44}));
        QCOMPARE(r.remaining.mid(5), (QList<qint64>{9, 8, 7, 6, 5, 4, 3, 2, 1}));
        QCOMPARE(r.logoutAt.first(), 45 * 60);
    }

    void limitBelowUsedTimeIsNotStored()
    {
        m_settings->setSurfupto(u"30"_s);
        LoginRules rules(*m_settings);
        QVERIFY(!rules.warningSurfChanged(u"25"_s, 25));
        QVERIFY(!rules.warningSurfChanged(u"2"_s, 25));
        QVERIFY(!rules.warningSurfChanged(QString(), 25));
        QCOMPARE(m_settings->surfuptoText(), u"30"_s);
        QVERIFY(rules.warningSurfChanged(u"26"_s, 25));
        QCOMPARE(m_settings->surfuptoText(), u"26"_s);
        // The box needs a surf time.
        QVERIFY(!rules.warningAutoToggled(true, QString()));
        QCOMPARE(m_settings->autologoffText(), SettingsStore::Error);
        QVERIFY(rules.warningAutoToggled(true, u"26"_s));
        QCOMPARE(m_settings->autologoffText(), u"1"_s);
        QVERIFY(rules.warningAutoToggled(false, QString()));
        QCOMPARE(m_settings->autologoffText(), u"0"_s);
    }

    void noLimitMeansNoWarningAndNoLogout_data()
    {
        QTest::addColumn<QString>("autologoff");
        QTest::addColumn<QString>("surfupto");
        // A limit of 0 is no limit even with the flag on: the session must not end at once.
        QTest::newRow("limit 0, logout on") << u"1"_s << u"0"_s;
        QTest::newRow("limit unset, logout on") << u"1"_s << QString();
        QTest::newRow("flag unset, limit 30") << QString() << u"30"_s;
        QTest::newRow("letters") << u"1"_s << u"abc"_s;
    }
    void noLimitMeansNoWarningAndNoLogout()
    {
        QFETCH(QString, autologoff);
        QFETCH(QString, surfupto);
        if (!autologoff.isNull()) {
            m_settings->write(RegKey::AgentOptions, u"autologoff"_s, autologoff);
        }
        if (!surfupto.isNull()) {
            m_settings->setSurfupto(surfupto);
        }
        SessionClock clock(*m_settings);
        const Run r = tick(clock, 40 * 60);
        QVERIFY(r.warnedAt.isEmpty());
        QVERIFY(r.logoutAt.isEmpty());
    }

    void countsPastMidnight()
    {
        const QDateTime late(QDate(2026, 3, 14), QTime(23, 30, 0));
        m_settings->setLoginTime(late);
        m_settings->setAutologoff(false);
        m_settings->setSurfupto(u"180"_s);
        SessionClock clock(*m_settings);
        Clock::setFixed(late.addSecs(2 * 3600 + 5 * 60 + 9));
        clock.updateElapsed();
        QCOMPARE(clock.timeText(), u"2:05:09"_s);
        QCOMPARE(clock.elapsedMinutes(), 125);
        Clock::setFixed(late.addSecs(26 * 3600 + 59));
        clock.updateElapsed();
        QCOMPARE(clock.timeText(), u"26:00:59"_s);
        // Warnings keep working across the day boundary.
        Clock::setFixed(late.addSecs(171 * 60));
        clock.updateElapsed();
        const SessionClock::Check c = clock.checkAutoLogout();
        QCOMPARE(int(c.outcome), int(SessionClock::Outcome::Warning));
        QCOMPARE(c.remainingMinutes, 9);
    }

    void unreadableLoginTimeKeepsCounters()
    {
        SessionClock clock(*m_settings);
        Clock::advance(65);
        clock.updateElapsed();
        QCOMPARE(clock.timeText(), u"0:01:05"_s);
        m_settings->write(RegKey::LoginTime, u"time"_s, u"not a time"_s);
        Clock::advance(600);
        clock.updateElapsed();
        QCOMPARE(clock.timeText(), u"0:01:05"_s);
        clock.resetCounters();
        QCOMPARE(clock.timeText(), u"0:00:00"_s);
    }

private:
    // Ticks both timers once a second from the current clock up to the elapsed second `until`;
    // `at` runs before the tick of the given elapsed second.
    Run tick(SessionClock& clock, qint64 until, std::function<void(qint64)> at = {})
    {
        Run r;
        for (qint64 s = Start.secsTo(Clock::now()); s <= until; ++s) {
            if (at) {
                at(s);
            }
            clock.updateElapsed();
            const SessionClock::Check c = clock.checkAutoLogout();
            if (c.outcome == SessionClock::Outcome::Warning) {
                r.warnedAt.append(clock.elapsedMinutes());
                r.remaining.append(c.remainingMinutes);
            } else if (c.outcome == SessionClock::Outcome::Autologout) {
                r.logoutAt.append(s);
            }
            Clock::advance(1);
        }
        return r;
    }
};

QTEST_GUILESS_MAIN(TstSessionClock)
#include "tst_sessionclock.moc"
