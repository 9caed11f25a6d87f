// SPDX-License-Identifier: Apache-2.0
#include "common/protocol.h"
#include "server/core/administration.h"
#include "server/core/consolecore.h"
#include "server/core/database.h"
#include "server/core/messagelog.h"
#include "server/desks/commanddelivery.h"
#include "server/desks/desklink.h"
#include "server/desks/desknumbers.h"
#include "server/desks/deskregistry.h"
#include "server/link/connectionmanager.h"
#include "server/link/linkserver.h"
#include "server/link/remotecontrol.h"
#include "server/sessions/sessionservice.h"
#include "support/scriptedprompt.h"
#include "support/testdatabase.h"
#include "tests/server/link/fakeagent.h"

#include <QSignalSpy>
#include <QTest>

#include <memory>

namespace {

// One console as console.cpp wires it on a shared database: its connection, its desk, its
// listener numbering for that desk, and the way to the other desks' agents. Deliveries come on
// the notice alone (the safety-net timer is far off), so a test sees the notice path work.
struct Desk
{
    Database db;
    DeskRegistry registry{db};
    LinkServer link;
    std::unique_ptr<ConnectionManager> manager;
    std::unique_ptr<DeskLink> agents;
    std::unique_ptr<CommandDelivery> delivery;

    Desk(DatabaseTarget t, const QString& name)
    {
        t.desk = name;
        if (!db.open(t) || !registry.start()) {
            qFatal("desk %s: %s", qPrintable(name), qPrintable(registry.refusal()));
        }
        link.setDesk(registry.desk());
        manager = std::make_unique<ConnectionManager>(db, link);
        manager->continueNumbering();
        agents = std::make_unique<DeskLink>(db, registry, link);
        delivery = std::make_unique<CommandDelivery>(db, registry, link);
        delivery->start(3600 * 1000);
        if (!link.listen(0, QHostAddress::LocalHost)) {
            qFatal("listen");
        }
    }

    // An agent from that address, locked and listed; returns its index.
    qint64 connect(FakeAgent& a, const QString& address)
    {
        if (!a.connectFrom(address, link.serverPort()) || !a.waitFor(Proto::CName)) {
            return -1;
        }
        a.received.clear();
        return db.scalar(QStringLiteral("SELECT id FROM online WHERE ip = ?"), {address})
            .toLongLong();
    }

    // The console's connection dies as a killed console's does: the server lets its desk go.
    void die()
    {
        delivery->stop();
        link.close();
        db.close();
    }
};

qint64 count(Database& db, const QString& sql, const QVariantList& params = {})
{
    return db.scalar(sql, params).toLongLong();
}

// A console started as a whole on the shared database, as its main() starts it.
struct StartingConsole
{
    ScriptedPrompt prompt;
    Database db;
    MessageLog log;
    ConsoleCore core{db, log};
    DeskRegistry registry{db};
    QStringList woken;

    bool startAs(DatabaseTarget t, const QString& desk)
    {
        ConsoleCore::Hooks hooks;
        hooks.wake = [this](const QString& ip) { woken << ip; };
        hooks.ownAddress = [] { return QStringLiteral("127.0.0.9"); };
        hooks.takeDesk = [this](QString* why) {
            const bool ok = registry.start();
            *why = registry.refusal();
            return ok ? registry.desk() : -1;
        };
        t.desk = desk;
        return core.startUp(t, hooks);
    }
};

} // namespace

class TstDeskLink : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void init();
    void cleanup();
    void numbersNameTheirDesk_data();
    void numbersNameTheirDesk();
    void commandReachesAnotherDesksAgentUntilThatDeskDies();
    void ownComputersAreRowsOfTheirOwn_data();
    void ownComputersAreRowsOfTheirOwn();
    void administrationIsAnnouncedToTheOtherDesks_data();
    void administrationIsAnnouncedToTheOtherDesks();

private:
    std::unique_ptr<TestHome> m_home;
    DatabaseTarget m_target;
};

void TstDeskLink::init()
{
    if (QTest::currentTestFunction() == QLatin1String("numbersNameTheirDesk")) {
        return;
    }
    if (!testOnPostgres()) {
        QSKIP("several desks share a PostgreSQL database");
    }
    m_home = std::make_unique<TestHome>();
    m_target = testDatabaseTarget(*m_home);
}

void TstDeskLink::cleanup()
{
    AgentLink::setInstance(nullptr);
    m_home.reset();
}

void TstDeskLink::numbersNameTheirDesk_data()
{
    QTest::addColumn<qint64>("after");
    QTest::addColumn<int>("desk");
    QTest::addColumn<qint64>("next");
    QTest::newRow("own file numbers on") << qint64(41) << 0 << qint64(42);
    QTest::newRow("first of desk 3") << qint64(0) << 3 << qint64(103);
    QTest::newRow("after another desk's") << qint64(205) << 3 << qint64(303);
    QTest::newRow("after its own") << qint64(303) << 3 << qint64(403);
    QTest::newRow("below its own in the hundred") << qint64(301) << 3 << qint64(303);
    QTest::newRow("desk 99, past the int range") << qint64(9999999999) << 99 << qint64(10000000099);
}

void TstDeskLink::numbersNameTheirDesk()
{
    QFETCH(qint64, after);
    QFETCH(int, desk);
    QFETCH(qint64, next);
    QCOMPARE(DeskNumbers::nextIndex(after, desk), next);
    if (desk != 0) {
        QCOMPARE(DeskNumbers::owner(next), desk);
    }
}

void TstDeskLink::commandReachesAnotherDesksAgentUntilThatDeskDies()
{
    Desk a(m_target, QStringLiteral("A"));
    auto b = std::make_unique<Desk>(m_target, QStringLiteral("B"));
    FakeAgent onA;
    FakeAgent onB;
    const qint64 ia = a.connect(onA, QStringLiteral("127.0.0.2"));
    const qint64 ib = b->connect(onB, QStringLiteral("127.0.0.3"));
    const int deskA = a.registry.desk();
    const int deskB = b->registry.desk();
    QCOMPARE(DeskNumbers::owner(ia), deskA);
    QCOMPARE(DeskNumbers::owner(ib), deskB);
    const QByteArray command = Proto::SetTime + Proto::StartSession;
    QVERIFY(a.agents->isConnected(ib));
    QCOMPARE(a.agents->peerAddress(ib), QStringLiteral("127.0.0.3"));
    QVERIFY(a.agents->send(ib, command));
    QVERIFY(onB.waitFor(command));
    QCOMPARE(onB.received, command);
    QTRY_COMPARE(count(a.db, QStringLiteral("SELECT count(*) FROM commands")), 0);
    // Its own agent it reaches directly; nothing is queued for it.
    QVERIFY(a.agents->send(ia, Proto::Lock));
    QVERIFY(onA.waitFor(Proto::Lock));
    QCOMPARE(count(a.db, QStringLiteral("SELECT count(*) FROM commands")), 0);

    // Then each desk has a command waiting, and B dies.
    a.db.run(QStringLiteral("INSERT INTO commands (desk, cid, message) VALUES (?, ?, 'x')"),
             {deskA, ia});
    a.db.run(QStringLiteral("INSERT INTO commands (desk, cid, message) VALUES (?, ?, 'x')"),
             {deskB, ib});
    const QString listed = QStringLiteral("SELECT count(*) FROM online WHERE id = ?");
    const QString queued = QStringLiteral("SELECT count(*) FROM commands WHERE desk = ?");

    // A second console as desk B is turned away while B runs.
    {
        StartingConsole second;
        QVERIFY(!second.startAs(m_target, QStringLiteral("B")));
        QVERIFY(second.core.deskRefused());
        QCOMPARE(second.prompt.lastText(),
                 QStringLiteral("Another console is already running as desk B."));
        QCOMPARE(count(a.db, listed, {ib}), 1);
    }

    a.registry.refresh();
    QSignalSpy down(&a.registry, &DeskRegistry::deskDown);
    b->die();
    QTRY_VERIFY(!a.registry.isAlive(deskB));
    QCOMPARE(down.count(), 1);
    QCOMPARE(down.at(0).at(0).toInt(), deskB);
    QVERIFY(!a.agents->isConnected(ib));
    QVERIFY(!a.agents->deskRunning(ib));
    QVERIFY(!a.agents->send(ib, Proto::Lock));
    // Listed still, for the desk to clear when it comes back; the cashier is told why not.
    QCOMPARE(count(a.db, listed, {ib}), 1);
    AgentLink::setInstance(a.agents.get());
    QCOMPARE(RemoteControl(a.db).refusal(QStringLiteral("127.0.0.3"), a.agents.get()),
             AgentLink::DeskNotRunning);
    QVERIFY(!RemoteControl(a.db).send(RemoteControl::Command::Lock, QStringLiteral("127.0.0.3"),
                                      a.agents.get()));
    StartRequest start;
    start.terminal = QStringLiteral("127.0.0.3");
    start.maintenance = true;
    const auto refusal = SessionService(a.db).checkStart(start);
    QVERIFY(refusal);
    QCOMPARE(refusal->text, AgentLink::DeskNotRunning);
    AgentLink::setInstance(nullptr);

    // B starts again: it clears its own rows and wakes its own workstations, no one else's.
    b.reset();
    StartingConsole restarted;
    QVERIFY(restarted.startAs(m_target, QStringLiteral("B")));
    QCOMPARE(restarted.core.desk(), deskB);
    QCOMPARE(restarted.woken, QStringList{QStringLiteral("127.0.0.3")});
    QCOMPARE(count(a.db, listed, {ib}), 0);
    QCOMPARE(count(a.db, listed, {ia}), 1);
    QCOMPARE(count(a.db, queued, {deskB}), 0);
    QCOMPARE(count(a.db, queued, {deskA}), 1);
    restarted.core.shutDown();
    QCOMPARE(count(a.db, listed, {ia}), 1);
}

void TstDeskLink::ownComputersAreRowsOfTheirOwn_data()
{
    QTest::addColumn<bool>("otherEnds");
    QTest::newRow("ended at its own desk") << false;
    QTest::newRow("ended at the other desk") << true;
}

void TstDeskLink::ownComputersAreRowsOfTheirOwn()
{
    QFETCH(bool, otherEnds);
    Desk a(m_target, QStringLiteral("A"));
    Desk b(m_target, QStringLiteral("B"));
    MessageLog log;
    ConsoleCore(a.db, log).addOwnRow(QStringLiteral("127.0.0.2"));
    ConsoleCore(b.db, log).addOwnRow(QStringLiteral("127.0.0.3"));
    const QString ownA = QStringLiteral("VK Server (A)");
    const QString ownB = QStringLiteral("VK Server (B)");
    const QString listed = QStringLiteral("SELECT count(*) FROM online WHERE id = 0 AND name = ?");
    QCOMPARE(SessionService(b.db).onlineNames(), (QStringList{ownA, ownB}));

    StartRequest start;
    start.terminal = ownA;
    start.maintenance = true;
    const StartResult started = SessionService(a.db).start(start);
    QVERIFY(started.ok);
    QCOMPARE(started.messages.size(), 0);
    QCOMPARE(count(a.db, listed, {ownA}), 0);

    const auto session = SessionService(b.db).findSession(ownA);
    QVERIFY(session);
    SettleRequest end;
    end.sessionRowid = session->rowid;
    end.sstart = session->sstart;
    end.userLabel = QStringLiteral("Maintaining");
    QVERIFY(SessionService(otherEnds ? b.db : a.db).settle(end).ok);
    QCOMPARE(count(a.db, QStringLiteral("SELECT count(*) FROM terminals")), 0);
    QCOMPARE(count(a.db, listed, {ownA}), 1);
    QCOMPARE(count(a.db, listed, {ownB}), 1);
    QCOMPARE(count(a.db, QStringLiteral("SELECT count(*) FROM history WHERE terminal = ?"), {ownA}),
             1);
}

void TstDeskLink::administrationIsAnnouncedToTheOtherDesks_data()
{
    QTest::addColumn<bool>("commits");
    QTest::addColumn<QStringList>("heard");
    QTest::newRow("committed") << true
                               << QStringList{QStringLiteral("A: Next bill number set to 500")};
    QTest::newRow("rolled back") << false << QStringList{};
}

void TstDeskLink::administrationIsAnnouncedToTheOtherDesks()
{
    QFETCH(bool, commits);
    QFETCH(QStringList, heard);
    Desk a(m_target, QStringLiteral("A"));
    Desk b(m_target, QStringLiteral("B"));
    QStringList got;
    QObject::connect(&b.db, &Database::notice, [&](const QString& channel, const QString& text) {
        if (channel == Administration::Channel) {
            got << text;
        }
    });
    QVERIFY(b.db.listen(Administration::Channel));
    const bool done = a.db.transaction([&] {
        return Administration::begin(a.db, QStringLiteral("Next bill number set to 500"),
                                     QStringLiteral("test")) &&
               commits;
    });
    QCOMPARE(done, commits);
    // Notices from one desk arrive in order: once a later one is heard, an earlier one that
    // is missing was never sent.
    QVERIFY(a.db.transaction([&] {
        return Administration::begin(a.db, QStringLiteral("last"), QStringLiteral("test"));
    }));
    QTRY_COMPARE(got, heard + QStringList{QStringLiteral("A: last")});
}

QTEST_GUILESS_MAIN(TstDeskLink)
#include "tst_desklink.moc"
