// SPDX-License-Identifier: Apache-2.0
// Two cashier's desks of one cafe on one PostgreSQL database: two real consoles
// (cafeday_console, each naming its desk), real agents and a hundred customers at lock screens a
// desk. Sessions cross desks, both desks settle the same sessions at once, and one desk is
// killed mid-settlement while the other goes on. After every phase the cafe-day invariants hold
// over both desks' journal.
//
// Registered against PostgreSQL only (tst_desks_pg). VANTIROKIT_DAY_SEED fixes the kill's moment.
#include "cafeday_books.h"
#include "cafeday_customer.h"
#include "support/testdatabase.h"

#include <QRandomGenerator>

#include <memory>

namespace {

using namespace SystemTest;

// Workstations per desk that race: the settlements race over twice this many sessions.
constexpr int Stations = 100;
constexpr int Members = 20;
const QByteArray NotRunning = "The desk that workstation is connected to is not running.";

struct Desk
{
    QString name;
    QTemporaryDir home;
    quint16 port = 0;
    DayConsole console;
    QList<Agent*> agents;
    QList<Customer*> stations;
};

} // namespace

class TestDesks : public QObject
{
    Q_OBJECT

    std::unique_ptr<TestHome> testHome;
    QTemporaryDir journalDir;
    Desk a;
    Desk b;
    quint16 wakePort = 0;
    std::vector<std::unique_ptr<Agent>> agents;
    std::vector<std::unique_ptr<Customer>> stations;
    CafeBooks books;
    QRandomGenerator random;

    Agent& agent(const QString& name) { return byName(agents, name); }

    // Agents whose desk runs: each is in exactly one of online and terminals.
    void checkInvariants(const QString& phase)
    {
        QList<const Agent*> connected;
        for (const Desk* d : {&a, &b}) {
            for (const Agent* x : d->agents) {
                if (x->running() && d->console.running()) {
                    connected.append(x);
                }
            }
        }
        books.checkInvariants(phase, connected);
    }

    void startDesk(Desk& d) { STEP(d.console.start(d.home.path(), books.journalPath, wakePort)); }

    void connectStations(Desk& d)
    {
        for (Customer* c : d.stations) {
            c->connectTo(d.port);
        }
        for (Customer* c : d.stations) {
            QVERIFY2(waitUntil([&] { return books.listed(c->ip, c->name); }, 60000),
                     qPrintable(c->name));
        }
    }

    // Sends every line to the desk at once; each must be answered ok.
    void burst(Desk& d, const QList<QByteArray>& lines)
    {
        d.console.queue(lines);
        answeredOk(d, lines);
    }
    void answeredOk(Desk& d, const QList<QByteArray>& lines)
    {
        for (const QByteArray& l : lines) {
            const QByteArray r = d.console.readLine(120000);
            QVERIFY2(r.contains(" ok "), qPrintable(l + " -> " + r));
        }
    }

    bool inSessionWindow(const QString& name) { return agent(name).waitShows("sessionWindow"); }
    bool lockedAgain(const QString& name)
    {
        const Agent& x = agent(name);
        return waitUntil([&] { return !x.shows("sessionWindow") && x.shows("lockScreenVisible"); });
    }

private Q_SLOTS:
    void initTestCase()
    {
        if (!testOnPostgres()) {
            QSKIP("two desks share a PostgreSQL database: this test runs as tst_desks_pg");
        }
        seedRandom(random, "desks");

        testHome = std::make_unique<TestHome>();
        books.target = testDatabaseTarget(*testHome);
        books.journalPath = journalDir.filePath("journal.txt");
        wakePort = freePort(QHostAddress("127.0.3.1"));
        a.name = "A";
        b.name = "B";
        int n = 0;
        for (Desk* d : {&a, &b}) {
            d->port = freePort();
            QVERIFY(writeConsoleSettings(d->home.path(), d->port));
            DatabaseTarget t = books.target;
            t.desk = d->name;
            t.save(d->home.filePath("vantirokit.conf"));
            for (int i = 0; i < 3; ++i) {
                ++n;
                auto x = std::make_unique<Agent>();
                x->name = QString::asprintf("PC-%02d", n);
                x->ip = QString("127.0.3.%1").arg(n);
                QVERIFY(x->configure(d->port, wakePort));
                d->agents.append(x.get());
                agents.push_back(std::move(x));
            }
            const int net = d == &a ? 4 : 5;
            for (int i = 1; i <= Stations; ++i) {
                stations.push_back(
                    std::make_unique<Customer>(QString::asprintf("%s-%03d", qPrintable(d->name), i),
                                               QString("127.0.%1.%2").arg(net).arg(i)));
                d->stations.append(stations.back().get());
            }
        }
        STEP(startDesk(a));
        STEP(startDesk(b));
        for (auto& x : agents) {
            x->start();
        }
        for (auto& x : agents) {
            QVERIFY2(waitUntil([&] { return books.registered(x->ip, x->name); }, 60000),
                     qPrintable(x->name));
        }
        STEP(a.console.mustAct("category name=Std hour=30"));
        for (int i = 1; i <= Members; ++i) {
            const QString id = QString::asprintf("M%02d", i);
            const QString ob = QString("%1.%2").arg(i).arg(i % 4 * 25, 2, 10, QLatin1Char('0'));
            STEP(b.console.mustAct(
                QString("member id=%1 ob=%2 pw=pw%1 cat=Std").arg(id, ob).toUtf8()));
            books.openingBalance[id] = Money::parse(ob);
        }
        checkInvariants("two desks up");
    }

    // A session started on one desk for a workstation of the other reaches it through the
    // other desk, and is settled there; a session moved across desks.
    void acrossDesks()
    {
        STEP(a.console.mustAct("start term=PC-04 cat=Std adv=2"));
        QVERIFY(inSessionWindow("PC-04"));
        STEP(b.console.mustAct("end term=PC-04 recv=2"));
        QVERIFY(lockedAgain("PC-04"));
        STEP(a.console.mustAct("start term=PC-02 cat=Std"));
        STEP(b.console.mustAct("transfer from=PC-02 to=PC-05"));
        QVERIFY(inSessionWindow("PC-05"));
        QVERIFY(lockedAgain("PC-02"));
        STEP(a.console.mustAct("end term=PC-05 recv=1"));
        QVERIFY(lockedAgain("PC-05"));
        checkInvariants("started, moved and settled across desks");
    }

    // Both desks settle the same 200 sessions at the same moment: each is billed by one desk
    // only, and the numbers the two desks take interleave without a gap.
    void racingSettlements()
    {
        STEP(connectStations(a));
        STEP(connectStations(b));
        // Each desk starts half the sessions, as many on its own workstations as on the other's.
        QList<QByteArray> starts[2];
        QList<QByteArray> ends;
        QList<Customer*> all;
        for (int i = 0; i < Stations; ++i) {
            all << a.stations[i] << b.stations[i];
        }
        for (int i = 0; i < all.size(); ++i) {
            const QByteArray term = all[i]->name.toUtf8();
            QByteArray who = "cat=Std";
            if (i % (all.size() / Members) == 0) {
                who = QString("member=M%1 pw=pwM%1")
                          .arg(i / (all.size() / Members) + 1, 2, 10, QLatin1Char('0'))
                          .toUtf8();
            }
            starts[(i / 2) % 2].append("start term=" + term + ' ' + who +
                                       " adv=" + QByteArray::number(i % 7));
            ends.append("end term=" + term + " recv=" + QByteArray::number(i % 5) + ".50");
        }
        STEP(burst(a, starts[0]));
        STEP(burst(b, starts[1]));
        for (Customer* c : all) {
            QVERIFY2(waitUntil([&] { return c->started(); }), qPrintable(c->name));
            c->forget();
        }
        STEP(checkInvariants("200 sessions started on two desks"));

        a.console.queue(ends);
        b.console.queue(ends);
        for (const QByteArray& l : ends) {
            const bool byA = a.console.readLine(120000).contains(" ok ");
            const bool byB = b.console.readLine(120000).contains(" ok ");
            QVERIFY2(byA != byB,
                     qPrintable(l + (byA ? " settled by both desks" : " settled by neither desk")));
        }
        for (Customer* c : all) {
            QVERIFY2(waitUntil([&] { return c->locked(); }), qPrintable(c->name));
        }
        QCOMPARE(books.count("SELECT count(*) FROM terminals"), 0);
        checkInvariants("200 sessions settled by two desks at once");
    }

    // Desk A is killed in the middle of its settlements; B goes on, sees A down, leaves A's
    // workstations listed (disconnected) and still settles a session of A's at the counter.
    void deskKilledMidSettlement()
    {
        // The first `n` workstations of the desk: `verb` for each.
        auto each = [](const Desk& d, int n, const char* verb, const QByteArray& tail) {
            QList<QByteArray> lines;
            for (int i = 0; i < n; ++i) {
                lines.append(verb + (" term=" + d.stations[i]->name.toUtf8()) + tail);
            }
            return lines;
        };
        QList<QByteArray> startsA = each(a, 30, "start", " cat=Std adv=1");
        const QList<QByteArray> endsA = each(a, 30, "end", " recv=1");
        const QList<QByteArray> startsB = each(b, 10, "start", " cat=Std");
        const QList<QByteArray> endsB = each(b, 10, "end", " recv=2");
        startsA << "start term=PC-02 cat=Std"
                << "start term=PC-03 member=M02 pw=pwM02";
        STEP(burst(a, startsA));
        STEP(burst(b, startsB));
        QVERIFY(inSessionWindow("PC-03"));
        STEP(checkInvariants("sessions on both desks"));

        a.console.queue(endsA);
        b.console.queue(endsB);
        QTest::qWait(int(random.bounded(400)));
        a.console.kill();
        STEP(answeredOk(b, endsB));

        // B learns that A is gone: nothing more is sent or queued to A's workstations.
        const QByteArray ip1 = agent("PC-01").ip.toUtf8();
        QByteArray remote;
        QVERIFY2(waitUntil([&] {
                     remote = b.console.act("remote cmd=lock ip=" + ip1);
                     return remote.contains(" fail") && remote.contains(NotRunning);
                 }),
                 remote.constData());
        const QByteArray ready = b.console.act("ready");
        QVERIFY2(ready.contains("PC-01 (disconnected)@" + ip1), ready.constData());
        QVERIFY2(ready.contains("PC-04@"), ready.constData());
        // The money is at the counter: a session of A's is settled on B.
        STEP(b.console.mustAct("end term=PC-03 recv=5"));
        checkInvariants("desk A killed in the middle of its settlements");
    }

    // A comes back: its agents and workstations with it, the settled session's workstation
    // locked, nothing billed twice; the day ends with every session settled.
    void deskRestarted()
    {
        STEP(startDesk(a));
        for (Agent* x : a.agents) {
            QVERIFY2(waitUntil([&] { return books.cameBack(x->ip, x->name); }),
                     qPrintable(x->name + " did not come back"));
        }
        QVERIFY(lockedAgain("PC-03"));
        STEP(connectStations(a));
        STEP(checkInvariants("desk A restarted"));

        int turn = 0;
        for (const QVariantList& t : books.rows("SELECT trim(terminal) FROM terminals")) {
            Desk& d = turn++ % 2 == 0 ? a : b;
            STEP(d.console.mustAct("end term=" + t[0].toString().toUtf8() + " recv=1"));
        }
        QCOMPARE(books.count("SELECT count(*) FROM terminals"), 0);
        checkInvariants("the rest settled");
    }

    void cleanupTestCase()
    {
        for (auto& c : stations) {
            c->drop();
        }
        for (auto& x : agents) {
            x->kill();
        }
        a.console.kill();
        b.console.kill();
        books.closeReader();
        CafeBooks::dropReader();
    }
};

QTEST_GUILESS_MAIN(TestDesks)
#include "tst_desks.moc"
