// SPDX-License-Identifier: Apache-2.0
#include "common/clock.h"
#include "common/protocol.h"
#include "server/prepaid/prepaidlink.h"
#include "server/prepaid/prepaidservice.h"
#include "server/prepaid/prepaidwatch.h"
#include "server/prepaid/ticketstore.h"
#include "server/sessions/tariffstore.h"
#include "support/tariffrows.h"
#include "tests/server/link/fakeagent.h"
#include "tests/server/link/linkconsole.h"

#include <QTest>

namespace {

const QDateTime T0(QDate(2026, 12, 7), QTime(10, 0));
const QString Code = QStringLiteral("ACDE-FGHJ-KLMN");

// The console's link with its prepaid side wired as the console wires it, on a cafe with one
// tariff (1.00 a minute) and one ticket of 10.00.
struct PrepaidConsole : LinkConsole
{
    std::unique_ptr<PrepaidService> service;
    std::unique_ptr<PrepaidLink> link;
    std::unique_ptr<PrepaidWatch> watch;

    PrepaidConsole()
    {
        TariffSettings perMinute;
        perMinute.chargebyminute = true;
        TariffStore(db).save(QStringLiteral("Browsing"), QString(), true,
                             {row("1", "1", "1"), row("60", "60", "1")}, perMinute);
        TicketStore(db, 2).sell({QStringLiteral("Browsing"), 1, m("10"), 0, {}});
        // A known code, so the agent can type it.
        db.run(QStringLiteral("UPDATE tickets SET code = 'ACDEFGHJKLMN'"));
        wire();
    }

    void wire()
    {
        service = std::make_unique<PrepaidService>(db, 2);
        link = std::make_unique<PrepaidLink>(*service, server);
        manager->setPrepaidHandler(link.get());
        QObject::connect(link.get(), &PrepaidLink::logLine, [this](const QString& l) { log << l; });
        watch = std::make_unique<PrepaidWatch>(*service, server);
    }

    // The console stops and starts again on the same database; the agents stay connected.
    void restart()
    {
        watch.reset();
        link.reset();
        service.reset();
        manager.reset();
        const DatabaseTarget target = db.target();
        db.close();
        QVERIFY(db.open(target));
        manager = std::make_unique<ConnectionManager>(db, server);
        wire();
    }

    void login(FakeAgent& a, const QString& code)
    {
        a.write(Proto::prepaidLogin({Proto::PrepaidCredentials::Kind::Ticket, code, {}}));
    }
};

} // namespace

class TstPrepaidLink : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init() { Clock::setFixed(T0); }
    void cleanup() { Clock::reset(); }
    void sessionRunsToItsTimeUpAcrossReconnectAndRestart_data();
    void sessionRunsToItsTimeUpAcrossReconnectAndRestart();
    void guessingIsHeldBackThenTheRightCodeRunsToItsAutomaticLogout();
};

void TstPrepaidLink::sessionRunsToItsTimeUpAcrossReconnectAndRestart_data()
{
    QTest::addColumn<bool>("away");
    QTest::addColumn<bool>("watched");
    QTest::addColumn<QByteArray>("heard"); // what the agent last hears
    QTest::newRow("watched") << false << true << Proto::EndSession;
    QTest::newRow("watched while away") << true << true << Proto::Lock + Proto::CName;
    QTest::newRow("back after its time up") << true << false << Proto::EndSession;
}

void TstPrepaidLink::sessionRunsToItsTimeUpAcrossReconnectAndRestart()
{
    PrepaidConsole c;
    auto a = std::make_unique<FakeAgent>();
    QVERIFY(a->greeted(QStringLiteral("127.0.0.5"), c.port(), Proto::CName));
    a->received.clear();
    c.login(*a, Code.toLower());
    QVERIFY(a->waitFor(Proto::StartSession));
    QCOMPARE(a->received, Proto::prepaidTime({600, QStringLiteral("10.00")}) + Proto::StartSession);
    QVERIFY(!c.log.join(u'\n').contains(QStringLiteral("ACDE"), Qt::CaseInsensitive));

    // Back after a minute away: the time left, then the session.
    a.reset();
    QTRY_COMPARE(c.onlineRows(), 0);
    Clock::advance(60);
    FakeAgent b;
    QVERIFY(b.greeted(QStringLiteral("127.0.0.5"), c.port(), Proto::StartSession));
    QCOMPARE(b.received, Proto::prepaidTime({540, QStringLiteral("9.00")}) + Proto::StartSession);
    b.received.clear();

    // The console restarts; the session ends at its time up all the same: by its watch, or,
    // when the agent was away then, as it comes back (with the lock only, never unlocked).
    c.restart();
    Clock::advance(539);
    QCOMPARE(c.watch->check(), 0);
    QFETCH(bool, away);
    QFETCH(bool, watched);
    QFETCH(QByteArray, heard);
    std::unique_ptr<FakeAgent> back;
    if (away) {
        b.socket.abort();
        QTRY_COMPARE(c.server.connectionsFrom(QStringLiteral("127.0.0.5")).size(), 0);
    }
    Clock::advance(1);
    if (watched) {
        QCOMPARE(c.watch->check(), 1);
        // An agent that did not hear the lock is not ready until it connects again.
        QCOMPARE(c.onlineRows(), away ? 0 : 1);
    }
    if (away) {
        back = std::make_unique<FakeAgent>();
        QVERIFY(back->connectFrom(QStringLiteral("127.0.0.5"), c.port()));
    }
    FakeAgent& last = away ? *back : b;
    QVERIFY(last.waitFor(heard));
    QCOMPARE(last.received, heard);
    QCOMPARE(c.value(QStringLiteral("SELECT count(*) FROM terminals")).toInt(), 0);
    QCOMPARE(c.onlineRows(), 1);
    QCOMPARE(Money::fromVariant(
                 c.value(QStringLiteral("SELECT netamount FROM history WHERE ticket IS NOT NULL"))),
             Money::fromWhole(10));
    QCOMPARE(Money::fromVariant(c.value(QStringLiteral("SELECT credit FROM tickets"))), Money());
}

// Logging off by the button is run end to end by the agent's prepaid X11 test.
void TstPrepaidLink::guessingIsHeldBackThenTheRightCodeRunsToItsAutomaticLogout()
{
    PrepaidConsole c;
    FakeAgent a;
    QVERIFY(a.greeted(QStringLiteral("127.0.0.6"), c.port(), Proto::CName));
    // A value that does not even parse is a wrong guess like any other.
    a.write(Proto::PrepaidLogin + QByteArrayLiteral("!!") + Proto::PrepaidLoginEnd);
    QVERIFY(a.waitFor(Proto::PrepaidRefusedEnd));
    QVERIFY(a.received.contains(Proto::prepaidRefused(PrepaidService::NotAccepted)));
    const QByteArray held = Proto::prepaidRefused(PrepaidService::TooManyAttempts);
    // The owner of an empty account logs in rightly between guesses: refused for credit, and
    // that must not start the count afresh.
    c.db.run(QStringLiteral("INSERT INTO members (memberid, Password, category, ob) VALUES "
                            "('M-000', 'pw', 'Browsing', 0)"));
    for (int n = 2; n <= PasswordThrottle::FreeAttempts + 2; ++n) {
        a.write(Proto::prepaidLogin({Proto::PrepaidCredentials::Kind::Member,
                                     QStringLiteral("M-000"), QStringLiteral("pw")}));
        c.login(a, QStringLiteral("WRONGCODE%1").arg(n));
        QTRY_COMPARE(int(a.received.count(Proto::PrepaidRefusedEnd)), 2 * n - 1);
    }
    QVERIFY(a.received.contains(held));
    // While held back even the right code is refused unseen.
    QCOMPARE(a.ask(Proto::prepaidLogin({Proto::PrepaidCredentials::Kind::Ticket, Code, {}})), held);
    QCOMPARE(c.value(QStringLiteral("SELECT count(*) FROM terminals")).toInt(), 0);
    Clock::advance(PasswordThrottle::LongestDelaySeconds);
    c.login(a, Code);
    QVERIFY(a.waitFor(Proto::StartSession));
    Clock::advance(150);
    QCOMPARE(a.ask(Proto::Autologout), Proto::EndSession);
    QCOMPARE(c.value(QStringLiteral("SELECT count(*) FROM terminals")).toInt(), 0);
    QCOMPARE(Money::fromVariant(c.value(QStringLiteral("SELECT credit FROM tickets"))),
             Money::fromWhole(8));
}

QTEST_GUILESS_MAIN(TstPrepaidLink)
#include "tst_prepaidlink.moc"
