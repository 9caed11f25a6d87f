// SPDX-License-Identifier: Apache-2.0
// A day in a cafe: the real console (cafeday_console.cpp, driven by a cashier script), 20 real
// agents and customers at free workstations, while the console and agents are killed,
// connections are cut mid-message and the database folder turns read-only. After every phase
// the database must be whole and must hold everything the cashier was told.
//
// VANTIROKIT_DAY_SEED fixes the seed of the random kills; VANTIROKIT_SOAK_DAYS runs more days.
#include "cafeday_books.h"
#include "cafeday_customer.h"
#include "support/testdatabase.h"

#include <QDir>
#include <QRandomGenerator>
#include <QTcpSocket>

#include <memory>
#include <unistd.h>

namespace {

using namespace SystemTest;

constexpr int AgentCount = 20;
// Free workstations where customers log in with prepaid time (see Customer), after the agents.
constexpr int CustomerCount = 7;
const QString NotAccepted =
    QStringLiteral("The code or the member id and password were not accepted.");

} // namespace

class TestCafeDay : public QObject
{
    Q_OBJECT

    // The console's home is the test's own: its settings name the database on PostgreSQL.
    TestHome consoleHome;
    QTemporaryDir journalDir;
    bool folderMounted = false;
    bool dayPassed = false;
    quint16 consolePort = 0;
    quint16 wakePort = 0;
    DayConsole console;
    std::vector<std::unique_ptr<Agent>> agents;
    std::vector<std::unique_ptr<Customer>> customers;
    CafeBooks books;
    std::map<QString, PrepaidRecord>& prepaidSessions = books.prepaidSessions;
    QRandomGenerator random;

    std::map<QString, Money>& openingBalance = books.openingBalance;
    std::map<QString, Money>& ledgerEdits = books.ledgerEdits;
    // The login time each agent took for its session (terminal|sstart), first seen.
    QHash<QString, QString> loginTimes;
    const QSet<QString> optionsScreens{QStringLiteral("PC-04"), QStringLiteral("PC-07")};

    // ----- the console -----

    void startConsole() { console.start(consoleHome.path(), books.journalPath, wakePort); }
    QByteArray act(const QByteArray& line) { return console.act(line); }
    void mustAct(const QByteArray& line) { console.mustAct(line); }
    void mustAct(const QList<QByteArray>& lines) { console.mustAct(lines); }

    Agent& agent(const QString& name) { return byName(agents, name); }

    static QString pc(int i) { return QString::asprintf("PC-%02d", i); }

    // ----- the books, read as the cashier's reports would -----

    bool inSession(const QString& terminal) { return books.inSession(terminal); }
    QString sstartOf(const QString& terminal) { return books.sstartOf(terminal); }

    void checkInvariants(const char* phase)
    {
        QList<const Agent*> running;
        for (const auto& a : agents) {
            if (a->running()) {
                running.append(a.get());
            }
        }
        books.checkInvariants(QString::fromLatin1(phase), running);
    }

    void checkPhase(const char* phase)
    {
        STEP(checkInvariants(phase));
        STEP(checkSessionsResumed(phase));
    }

    // Every running session whose agent is up is open on that agent, with the login time the
    // agent took when the session started (or was moved to it).
    void checkSessionsResumed(const char* phase)
    {
        for (const QVariantList& t : books.rows(
                 "SELECT trim(terminal), sstart, AUTOLOGOUT FROM terminals WHERE maintains = 0 "
                 "AND prepaid = 0")) {
            Agent& a = agent(t[0].toString());
            // A session that opens on the options screen shows no session window.
            if (!a.running() || t[2].toInt() == 1 || optionsScreens.contains(a.name)) {
                continue;
            }
            const QString key = a.name + '|' + t[1].toString();
            const bool ok = waitUntil([&] {
                const QJsonObject s = a.state();
                if (!s.value("sessionWindow").toBool() || !s.value("linkUp").toBool()) {
                    return false;
                }
                const QString login = s.value("loginTime").toString();
                return !login.isEmpty() && loginTimes.value(key, login) == login;
            });
            QVERIFY2(ok, qPrintable(QString("%1: %2 did not resume its session of %3")
                                        .arg(QString::fromLatin1(phase), a.name, t[1].toString())));
            loginTimes.insert(key, a.state().value("loginTime").toString());
        }
    }

    void restartConsole()
    {
        console.kill();
        startConsole();
        for (auto& a : agents) {
            QVERIFY2(!a->running() || waitUntil([&] { return books.cameBack(a->ip, a->name); }),
                     qPrintable(a->name + " did not come back"));
        }
    }

    // ----- prepaid time -----

    Customer& customer(const QString& name) { return byName(customers, name); }

    void connectCustomers()
    {
        for (auto& c : customers) {
            if (!c->connected()) {
                c->connectTo(consolePort);
            }
        }
        for (auto& c : customers) {
            QVERIFY2(waitUntil([&] { return books.listed(c->ip, c->name); }),
                     qPrintable(c->name + " was not listed"));
        }
    }

    void sell(const QByteArray& what, QStringList& codes)
    {
        const QByteArray reply = act("tickets " + what);
        QVERIFY2(reply.contains(" ok "), reply.constData());
        codes = QString::fromUtf8(reply).section("codes=", 1).trimmed().split(',');
    }

    void topUp(const QString& id, const QString& amount)
    {
        STEP(mustAct(QString("topup id=%1 amount=%2").arg(id, amount).toUtf8()));
        ledgerEdits[id] += Money::parse(amount);
    }

    static Proto::PrepaidCredentials ticket(const QString& code)
    {
        return {Proto::PrepaidCredentials::Kind::Ticket, code, {}};
    }
    static Proto::PrepaidCredentials member(const QString& id)
    {
        return {Proto::PrepaidCredentials::Kind::Member, id, "pw" + id};
    }

    // The customer's login, refused with `refusal` or, when that is empty, started.
    void login(Customer& c, const Proto::PrepaidCredentials& how, const QString& refusal = {})
    {
        c.login(how);
        QVERIFY2(waitUntil([&] { return c.answered(); }), qPrintable(c.name + " got no answer"));
        QCOMPARE(c.refusal(), refusal);
        if (!refusal.isEmpty()) {
            return;
        }
        const auto row =
            books.rows("SELECT sstart, credit, coalesce(ticket, memberid), prepaid FROM "
                       "terminals WHERE ip = ?",
                       {c.ip});
        QCOMPARE(row.size(), 1);
        const PrepaidRecord p{c.name, row[0][0].toString(), row[0][2].toString(),
                              row[0][3].toInt() == 2, Money::fromVariant(row[0][1])};
        // The customer is shown the time and what is left of the credit held (less the first
        // minute once a second has passed); a member holds the ledger balance.
        const auto left = c.timeLeft();
        QVERIFY(left && left->seconds > 0 && Money::parse(left->credit) <= p.held);
        if (p.member) {
            QCOMPARE(p.held.units(), (openingBalance[p.account] + books.ledger(p.account)).units());
        }
        prepaidSessions[p.account + '|' + p.sstart] = p;
    }

    void addCredit(const QString& terminal, const QString& amount)
    {
        Customer& c = customer(terminal);
        c.forget();
        STEP(mustAct(QString("addcredit term=%1 amount=%2").arg(terminal, amount).toUtf8()));
        const auto row =
            books.rows("SELECT sstart, credit, coalesce(ticket, memberid) FROM terminals "
                       "WHERE trim(terminal) = ?",
                       {terminal});
        QCOMPARE(row.size(), 1);
        PrepaidRecord& p = prepaidSessions[row[0][2].toString() + '|' + row[0][0].toString()];
        p.held = Money::fromVariant(row[0][1]);
        if (p.member) {
            ledgerEdits[p.account] += Money::parse(amount);
        }
        QVERIFY2(waitUntil([&] { return c.timeLeft().has_value(); }),
                 qPrintable(terminal + " was not told its new time"));
    }

    // ----- one day -----

    void runDay(int day)
    {
        if (day == 1) {
            // Prepaid members (M4, M5) on a tariff where a little credit buys a minute or two.
            STEP(mustAct({"category name=Std hour=30", "category name=Kids hour=17.5",
                          "category name=Short hour=6 minute=1",
                          "jobcatalogue Print=2.50 Scan=1.25 Burn=7.33"}));
            for (const QStringList& m : {QStringList{"M1", "10.00", "Std"},
                                         {"M2", "0", "Std"},
                                         {"M3", "25.55", "Std"},
                                         {"M4", "0", "Short"},
                                         {"M5", "0", "Short"}}) {
                STEP(mustAct(
                    QString("member id=%1 ob=%2 pw=pw%1 cat=%3").arg(m[0], m[1], m[2]).toUtf8()));
                openingBalance[m[0]] = Money::parse(m[1]);
            }
        }
        STEP(checkInvariants("setup"));

        // Morning: sessions with and without members, advances, automatic logouts, the
        // options screen on the workstation, a maintenance session.
        STEP(mustAct({"start term=PC-01 cat=Std", "start term=PC-02 cat=Std adv=20",
                      "start term=PC-03 member=M1 pw=pwM1 adv=5.50",
                      "start term=PC-04 member=M2 byuser=1", "start term=PC-05 cat=Kids auto=1",
                      "start term=PC-06 cat=Std auto=1 close=shutdown",
                      "start term=PC-07 cat=Std options=1", "start term=PC-08 maint=1",
                      "start term=PC-09 member=M3 pw=pwM3", "start term=PC-10 cat=Kids"}));
        // A wrong member password is refused and starts nothing.
        QVERIFY(act("start term=PC-11 member=M1 pw=nope").contains("fail"));
        QVERIFY(!inSession("PC-11"));
        STEP(checkPhase("morning"));
        // The member types the password on the workstation's options screen; an agent started
        // again meanwhile asks for it again and opens nothing.
        Agent& waiting = agent("PC-04");
        QVERIFY(waiting.waitShows("passwordVisible"));
        waiting.kill();
        waiting.start();
        QVERIFY(waiting.waitShows("passwordVisible"));
        QCOMPARE(waiting.shows("sessionWindow"), false);
        QVERIFY(agent("PC-07").waitShows("optionsVisible"));

        // Prepaid time: tickets sold, members topped up, customers log in at free workstations.
        // Two sessions hold a minute's worth, so the console ends them while the day goes on.
        QStringList codes;
        QStringList minuteCodes;
        STEP(sell("cat=Short count=2 amount=5", codes));
        STEP(sell("cat=Short count=2 minutes=1", minuteCodes));
        const Money minute = Money::fromVariant(
            books.scalar("SELECT value FROM tickets WHERE code = ?", {minuteCodes[0]}));
        STEP(topUp("M4", minute.toString()));
        STEP(topUp("M5", "3"));
        STEP(connectCustomers());
        STEP(login(customer("PC-26"), ticket("WRONG-CODE-0"), NotAccepted));
        STEP(login(customer("PC-21"), ticket(codes[0])));
        STEP(login(customer("PC-22"), ticket(minuteCodes[0])));
        STEP(login(customer("PC-23"), member("M4")));
        STEP(login(customer("PC-24"), member("M5")));
        STEP(login(customer("PC-25"), ticket(minuteCodes[1])));
        STEP(login(customer("PC-27"), ticket(codes[1])));
        // The workstation's connection is lost in the middle of its session.
        customer("PC-25").drop();
        STEP(checkInvariants("prepaid logins"));

        // Moves and remote control of idle workstations.
        STEP(mustAct({"transfer from=PC-01 to=PC-11", "transfer from=PC-10 to=PC-12"}));
        QVERIFY(agent("PC-01").waitShows("lockScreenVisible"));
        STEP(mustAct("remote cmd=unlock ip=" + agent("PC-15").ip.toUtf8()));
        QVERIFY(agent("PC-15").waitShows("lockScreenVisible", false));
        STEP(mustAct("remote cmd=lock ip=" + agent("PC-15").ip.toUtf8()));
        QVERIFY(agent("PC-15").waitShows("lockScreenVisible"));
        // The machine "went down": its agent ends and comes back.
        Agent& down = agent("PC-19");
        const qsizetype powerCalls = down.powerCalls().size();
        STEP(mustAct("remote cmd=shutdown ip=" + down.ip.toUtf8()));
        QVERIFY(waitUntil([&] { return down.powerCalls().size() == powerCalls + 1; }));
        down.kill();
        down.start();
        STEP(checkPhase("transfers and remote control"));

        // Prepaid sessions: credit added, a log off, one moved and ended from the session list.
        STEP(addCredit("PC-21", "1"));
        STEP(addCredit("PC-24", "0.50"));
        customer("PC-21").forget();
        customer("PC-21").logOff();
        QVERIFY(waitUntil([&] { return customer("PC-21").locked() && !inSession("PC-21"); }));
        customer("PC-24").forget();
        customer("PC-26").forget();
        STEP(mustAct("transfer from=PC-24 to=PC-26"));
        QVERIFY(
            waitUntil([&] { return customer("PC-26").started() && customer("PC-24").locked(); }));
        STEP(mustAct("prepaidend term=PC-26"));
        QVERIFY(waitUntil([&] { return customer("PC-26").locked(); }));
        STEP(checkInvariants("prepaid log off, move and end"));

        // The one-minute limits run out: the agents log out and the console records it.
        QVERIFY(waitUntil(
            [&] {
                return books.count("SELECT count(*) FROM terminals WHERE AUTOLOGOUT = 1 AND "
                                   "trim(terminal) IN ('PC-05', 'PC-06')") == 2;
            },
            120000));
        QVERIFY(waitUntil([&] { return !agent("PC-06").powerCalls().isEmpty(); }));
        // Started again, a logged-out session's agent stays locked, its session left to settle.
        Agent& loggedOut = agent("PC-05");
        loggedOut.kill();
        loggedOut.start();
        QVERIFY(loggedOut.waitShows("linkUp"));
        QVERIFY(loggedOut.waitShows("lockScreenVisible"));
        QCOMPARE(loggedOut.shows("sessionWindow"), false);
        QVERIFY(inSession("PC-05"));

        // The minute's worth runs out: the console ends those sessions, the one whose
        // connection was lost too, and locks the workstations.
        QVERIFY(waitUntil(
            [&] { return !inSession("PC-22") && !inSession("PC-23") && !inSession("PC-25"); },
            120000));
        QVERIFY(
            waitUntil([&] { return customer("PC-22").locked() && customer("PC-23").locked(); }));
        // Away, the lost workstation is not listed as ready (once the lock could not be sent).
        QVERIFY(waitUntil([&] {
            return books.count("SELECT count(*) FROM online WHERE ip = ?",
                               {customer("PC-25").ip}) == 0;
        }));
        // Back, the lost workstation is locked and free.
        customer("PC-25").connectTo(consolePort);
        QVERIFY(waitUntil([&] { return customer("PC-25").locked(); }));
        QVERIFY(!customer("PC-25").started());
        STEP(checkInvariants("prepaid time up"));

        // Fault: the console killed inside a prepaid session's end, between two of its writes:
        // the session runs on (the books find anything billed or deducted of it), and comes
        // back to its workstation.
        const QString prepaidStart = sstartOf("PC-27");
        console.queue({"prepaidend term=PC-27 stall=" + QByteArray::number(1 + random.bounded(4))});
        QCOMPARE(console.readLine(), QByteArray("stalled"));
        STEP(restartConsole());
        QCOMPARE(sstartOf("PC-27"), prepaidStart);
        customer("PC-27").connectTo(consolePort);
        QVERIFY(waitUntil([&] { return customer("PC-27").started(); }));
        STEP(checkInvariants("console killed inside a prepaid end"));

        // Midday settlements, some with job work.
        STEP(mustAct({"end term=PC-02", "end term=PC-03 recv=3",
                      "endjob term=PC-04 Print=3 Scan=1 recv=4", "end term=PC-05",
                      "endjob term=PC-06 Burn=3", "end term=PC-08"}));
        STEP(checkInvariants("midday settlements"));

        // Fault: the console killed inside a settlement, between two of its writes.
        const QString stalled = sstartOf("PC-09");
        console.queue(
            {"endjob term=PC-09 Print=1 stall=" + QByteArray::number(1 + random.bounded(3))});
        QCOMPARE(console.readLine(), QByteArray("stalled"));
        STEP(restartConsole());
        QCOMPARE(sstartOf("PC-09"), stalled);
        STEP(checkPhase("console killed inside a settlement"));

        // Fault: the console killed at a random moment of a burst of settlements.
        QList<QByteArray> ends;
        for (int i = 13; i <= 18; ++i) {
            STEP(mustAct(QString("start term=%1 cat=Std adv=%2.25").arg(pc(i)).arg(i).toUtf8()));
            ends.append(QString("end term=%1 recv=%2").arg(pc(i)).arg(i).toUtf8());
        }
        console.queue(ends);
        QTest::qWait(int(random.bounded(600)));
        STEP(restartConsole());
        STEP(checkPhase("console killed during a burst of settlements"));

        // Fault: agents killed and started again, one of them in a session.
        QList<Agent*> victims{&agent("PC-09")};
        for (int i = 0; i < 2; ++i) {
            victims.append(agents[size_t(12 + random.bounded(8))].get());
        }
        for (Agent* a : victims) {
            if (a->running()) {
                a->kill();
            }
        }
        QVERIFY(waitUntil([&] {
            return books.count("SELECT count(*) FROM online WHERE ip = ?", {agent("PC-09").ip}) ==
                   0;
        }));
        STEP(checkInvariants("agents killed"));
        for (Agent* a : victims) {
            if (!a->running()) {
                a->start();
            }
        }
        STEP(checkPhase("agents restarted"));

        // Fault: a connection from a workstation's address cut half-way through a message, and
        // one that names itself but never finishes the name.
        Agent& cut = agent("PC-11");
        cut.kill();
        for (const auto& [from, bytes] :
             {std::pair{cut.ip, "|AUTOLOG"}, std::pair{agent("PC-16").ip, "|CNAME|PC-1"}}) {
            QTcpSocket raw;
            raw.bind(QHostAddress(from), 0);
            raw.connectToHost(QHostAddress::LocalHost, consolePort);
            QVERIFY(raw.waitForConnected(5000));
            raw.write(bytes);
            raw.flush();
            raw.waitForBytesWritten(2000);
            QTest::qWait(200);
            raw.abort();
        }
        QVERIFY(act("ready").contains(" ok"));
        QCOMPARE(books.count("SELECT AUTOLOGOUT FROM terminals WHERE trim(terminal) = 'PC-11'"), 0);
        cut.start();
        STEP(checkPhase("connections cut mid-message"));

        // Evening: ledger edits, the rest settled, housekeeping and a backup.
        STEP(mustAct("ledger id=M1 credit=12.34"));
        ledgerEdits["M1"] += Money::parse(u"12.34");
        STEP(mustAct("ledger id=M3 debit=0.01"));
        ledgerEdits["M3"] -= Money::parse(u"0.01");
        for (const QVariantList& t : books.rows("SELECT trim(terminal), prepaid FROM terminals")) {
            const QByteArray term = t[0].toString().toUtf8();
            STEP(mustAct(t[1].toInt() != 0 ? "prepaidend term=" + term
                                           : "end term=" + term + " recv=1.10"));
        }
        STEP(checkInvariants("evening settlements"));
        const qint64 first = books.scalar("SELECT min(billno) FROM history").toLongLong();
        STEP(mustAct(QString("housekeeping from=%1 to=%2").arg(first).arg(first + 2).toUtf8()));
        books.housekept.append({first, first + 2});
        STEP(mustAct("backup"));
        STEP(checkInvariants("housekeeping and backup"));
        QCOMPARE(books.count("SELECT count(*) FROM terminals"), 0);
    }

private Q_SLOTS:
    void initTestCase()
    {
        seedRandom(random, "cafe day");

        // The journal lives apart from the database folder, which a fault makes read-only.
        books.journalPath = journalDir.filePath("journal.txt");
        QVERIFY(QDir(consoleHome.path()).mkpath("out"));
        consolePort = freePort();
        wakePort = freePort(QHostAddress("127.0.0.101"));
        // Where the backup goes.
        QVERIFY(writeConsoleSettings(
            consoleHome.path(), consolePort,
            QString("\"backupfolder\"=\"%1\"\n").arg(consoleHome.file("out"))));
        books.target = testDatabaseTarget(consoleHome);
        for (int i = 1; i <= AgentCount; ++i) {
            auto a = std::make_unique<Agent>();
            a->ip = QString("127.0.0.%1").arg(100 + i);
            a->name = pc(i);
            QVERIFY(a->configure(consolePort, wakePort));
            agents.push_back(std::move(a));
        }
        for (int i = 1; i <= CustomerCount; ++i) {
            customers.push_back(std::make_unique<Customer>(
                pc(AgentCount + i), QString("127.0.0.%1").arg(100 + AgentCount + i)));
        }
        startConsole();
        for (auto& a : agents) {
            a->start();
        }
        for (auto& a : agents) {
            QVERIFY2(waitUntil([&] { return books.registered(a->ip, a->name); }, 60000),
                     qPrintable(a->name));
        }
    }

    void cafeDays()
    {
        const int days = qMax(1, qEnvironmentVariableIntValue("VANTIROKIT_SOAK_DAYS"));
        for (int day = 1; day <= days; ++day) {
            runDay(day);
            if (QTest::currentTestFailed()) {
                return;
            }
        }
        dayPassed = true;
    }

    // The database folder read-only for a moment. The folder is its own bind mount so that it
    // can really be made read-only, even for root, whom file modes do not stop; a mount that is
    // in use for writing cannot be made read-only, so the console is down while it happens.
    void databaseFolderReadOnlyForAMoment()
    {
        if (!dayPassed) {
            QSKIP("the cafe day failed before this fault");
        }
        if (books.target.isShared()) {
            QSKIP("the database is not in the console's folder");
        }
        if (::geteuid() != 0 ||
            QProcess::execute("mount", {"--bind", consoleHome.path(), consoleHome.path()}) != 0) {
            QSKIP("making a folder read-only for the console needs root and mount (a bind mount "
                  "remounted read-only); file modes do not stop root");
        }
        folderMounted = true;
        books.closeReader();
        console.kill();
        QCOMPARE(QProcess::execute("mount", {"-o", "remount,bind,ro", consoleHome.path()}), 0);
        QVERIFY(!QFile(consoleHome.file("probe")).open(QIODevice::WriteOnly));
        // The console comes up on a database it cannot write: starting a session must fail,
        // and say so, rather than be confirmed and lost.
        if (console.launch(consoleHome.path(), books.journalPath, wakePort)
                .startsWith("listening")) {
            QTest::qWait(1000);
            const QByteArray reply = act("start term=PC-14 cat=Std");
            QVERIFY2(!reply.contains(" ok"), reply.constData());
        }
        console.kill();
        books.closeReader();
        QCOMPARE(QProcess::execute("mount", {"-o", "remount,bind,rw", consoleHome.path()}), 0);
        startConsole();
        QVERIFY(waitUntil([&] { return books.registered(agent("PC-14").ip, "PC-14"); }));
        mustAct("start term=PC-14 cat=Std adv=1");
        mustAct("end term=PC-14 recv=1");
        checkInvariants("database folder read-only");
    }

    void cleanupTestCase()
    {
        for (auto& c : customers) {
            c->drop();
        }
        for (auto& a : agents) {
            a->kill();
        }
        console.kill();
        books.closeReader();
        CafeBooks::dropReader();
        if (folderMounted) {
            QProcess::execute("umount", {consoleHome.path()});
        }
    }
};

QTEST_GUILESS_MAIN(TestCafeDay)
#include "tst_cafeday.moc"
