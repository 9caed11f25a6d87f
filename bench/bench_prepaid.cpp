// SPDX-License-Identifier: Apache-2.0
// Prepaid logins with a cafe's worth of agents connected and a large stock of tickets sold.
//
// Seeds a database with N tickets sold the way the console sells them (TicketStore::sell, one
// bill per batch of 500) and a few members with credit, then starts the console side in a
// child process (LinkServer + ConnectionManager with PrepaidService, PrepaidLink and
// PrepaidWatch wired as the console wires them) and connects the agents. Then, timed from the
// write of the agent's message to the arrival of the console's answer at the agent:
//   - logins one at a time from different agents (nine tickets to one member), to
//     PREPAID_TIME + STARTSESSION;
//   - wrong codes, one at a time and then 100 at once, to their refusal;
//   - the log offs of those sessions, one at a time, to the lock (each a settlement);
//   - 100 logins at once from 100 other agents, and their 100 log offs at once.
// Prints p50/p99/max of each, the database's size and whether every login and log off was
// answered within the target at p99. Last, checks that nothing was lost: each ticket used has
// one bill and its credit is its value less that bill; each member bill has its ledger debit.
//
// Usage: bench_prepaid [agents=1000] [tickets=100000]
// Run it as `chrt -f 1 bench_prepaid` on a busy machine (see bench_link).
#include "bench/agentfleet.h"
#include "common/clock.h"
#include "server/core/database.h"
#include "server/core/messagelog.h"
#include "server/link/connectionmanager.h"
#include "server/link/linkserver.h"
#include "server/prepaid/prepaidlink.h"
#include "server/prepaid/prepaidservice.h"
#include "server/prepaid/prepaidwatch.h"
#include "server/prepaid/ticketstore.h"
#include "server/sessions/tariffstore.h"

#include <QFileInfo>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <unistd.h>

using namespace bench;

namespace {

constexpr int Digits = 2;
constexpr double TargetMs = 50.0;
constexpr int Members = 50;

int runConsole(const QString& dbPath, int holdAtLeast)
{
    Database db;
    if (!db.open(dbPath)) {
        out(QStringLiteral("ERROR database"));
        return 1;
    }
    LinkServer server;
    if (holdAtLeast > LinkServer::MaxConnections) {
        server.setConnectionCaps(LinkServer::MaxConnectionsPerAddress, holdAtLeast + 16);
    }
    ConnectionManager manager(db, server);
    MessageLog log;
    QObject::connect(&manager, &ConnectionManager::logLine, &log, &MessageLog::append);
    PrepaidService prepaid(db, Digits);
    PrepaidLink prepaidLink(prepaid, server);
    manager.setPrepaidHandler(&prepaidLink);
    QObject::connect(&prepaidLink, &PrepaidLink::logLine, &log, &MessageLog::append);
    PrepaidWatch watch(prepaid, server);
    QObject::connect(&watch, &PrepaidWatch::logLine, &log, &MessageLog::append);
    watch.start();
    if (!server.listen(0, QHostAddress::LocalHost)) {
        out(QStringLiteral("ERROR listen ") + server.errorString());
        return 1;
    }
    // Runs until the driver closes our standard input.
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buf[256];
        if (::read(STDIN_FILENO, buf, sizeof buf) <= 0) {
            QCoreApplication::quit();
        }
    });
    out(QStringLiteral("PORT %1").arg(server.serverPort()));
    return QCoreApplication::exec();
}

RateRow rate(int slice, int amount, const char* perMinute)
{
    RateRow r;
    r.timeslice = Money::fromWhole(slice);
    r.rate = Money::fromWhole(amount);
    r.rpermin = Money::parse(QString::fromLatin1(perMinute));
    return r;
}

QString memberId(int i)
{
    return QStringLiteral("M-%1").arg(i + 1, 3, 10, QLatin1Char('0'));
}

// The codes of the tickets sold, in the order sold; empty on failure.
QStringList seed(const QString& path, int tickets)
{
    Database db;
    if (!db.open(path)) {
        return {};
    }
    if (!TariffStore(db).save(QStringLiteral("Normal"), QString(), true,
                              {rate(30, 15, "0.5"), rate(60, 25, "0.33")}, {})) {
        return {};
    }
    for (int i = 0; i < Members; ++i) {
        db.run(QStringLiteral("INSERT INTO members (memberid, name, ob, Password, category) "
                              "VALUES (?, ?, 100, 'secret', 'Normal')"),
               {memberId(i), QStringLiteral("Member %1").arg(i + 1)});
    }
    QStringList codes;
    codes.reserve(tickets);
    TicketStore store(db, Digits);
    while (codes.size() < tickets) {
        TicketSale sale;
        sale.category = QStringLiteral("Normal");
        sale.count = int(std::min<qsizetype>(TicketStore::MaxBatch, tickets - codes.size()));
        sale.amount = Money::fromWhole(50);
        const TicketSaleResult r = store.sell(sale);
        if (!r.ok) {
            out(QStringLiteral("sale failed: ") + r.error);
            return {};
        }
        for (const Ticket& t : r.tickets) {
            codes.append(t.code);
        }
    }
    return codes;
}

struct Send
{
    Agent* agent;
    QByteArray bytes;
};

// Writes every message at once, then waits until each agent has `awaited`; returns the
// latencies of those answered and counts the others (and answers without `needed`) as failed.
std::vector<double> timeRound(const std::vector<Send>& sends, const QByteArray& awaited,
                              const QByteArray& needed, int& failed)
{
    std::vector<qint64> sentNs;
    for (const Send& s : sends) {
        s.agent->await(awaited);
        s.agent->socket->write(s.bytes);
        s.agent->socket->flush();
        sentNs.push_back(monotonicNs());
    }
    const QDeadlineTimer deadline(10000);
    auto pending = [&] {
        return std::any_of(sends.begin(), sends.end(),
                           [](const Send& s) { return s.agent->awaitedNs == 0; });
    };
    while (pending() && !deadline.hasExpired()) {
        waitEvents(deadline);
    }
    std::vector<double> ms;
    for (size_t i = 0; i < sends.size(); ++i) {
        const Agent* a = sends[i].agent;
        if (a->awaitedNs == 0 || !a->received.contains(needed)) {
            ++failed;
            continue;
        }
        ms.push_back(double(a->awaitedNs - sentNs[i]) / 1e6);
    }
    return ms;
}

std::vector<double> oneAtATime(const std::vector<Send>& sends, const QByteArray& awaited,
                               const QByteArray& needed, int& failed)
{
    std::vector<double> all;
    for (const Send& s : sends) {
        const std::vector<double> one = timeRound({s}, awaited, needed, failed);
        all.insert(all.end(), one.begin(), one.end());
    }
    return all;
}

QByteArray ticketLogin(const QString& code)
{
    return Proto::prepaidLogin({Proto::PrepaidCredentials::Kind::Ticket, code, QString()});
}

QByteArray memberLogin(int i)
{
    return Proto::prepaidLogin(
        {Proto::PrepaidCredentials::Kind::Member, memberId(i), QStringLiteral("secret")});
}

bool report(const QString& what, const std::vector<double>& ms, int failed, bool judged)
{
    const double p99 = percentile(ms, 0.99);
    const bool pass = failed == 0 && !ms.empty() && p99 < TargetMs;
    out(QStringLiteral("%1 %2 p50 / p99 / max  %3 / %4 / %5 ms%6%7")
            .arg(what, -30)
            .arg(ms.size(), 4)
            .arg(percentile(ms, 0.50), 0, 'f', 2)
            .arg(p99, 0, 'f', 2)
            .arg(ms.empty() ? -1.0 : *std::max_element(ms.begin(), ms.end()), 0, 'f', 2)
            .arg(failed > 0 ? QStringLiteral("  %1 FAILED").arg(failed) : QString())
            .arg(judged ? (pass ? QStringLiteral("  pass") : QStringLiteral("  FAIL"))
                        : QString()));
    return !judged || pass;
}

int runDriver(int count, int tickets)
{
    QTemporaryDir dir;
    const QString dbPath = dir.filePath(QStringLiteral("server.db"));
    QElapsedTimer seeding;
    seeding.start();
    const QStringList codes = seed(dbPath, tickets);
    if (codes.size() != tickets) {
        out(QStringLiteral("could not seed the database"));
        return 1;
    }
    out(QStringLiteral("tickets sold (TicketStore::sell, batches of %1)  %2 in %3 s")
            .arg(TicketStore::MaxBatch)
            .arg(tickets)
            .arg(double(seeding.elapsed()) / 1000.0, 0, 'f', 1));
    // The batches below take agents and tickets in turn; fewer agents run fewer logins.
    const int single = std::min(400, count / 2);
    const int burst = std::min(100, count / 4);
    const int wrong = std::min(100, count / 8);
    if (single < 10 || tickets < single + burst) {
        out(QStringLiteral("need at least 40 agents and as many tickets as logins"));
        return 1;
    }

    ConsoleChild console;
    if (!console.start(dir.path(), {dbPath, QString::number(count)})) {
        return 1;
    }
    if (!openReader(dbPath)) {
        out(QStringLiteral("cannot read the console's database"));
        return 1;
    }
    Fleet fleet;
    connectFleet(fleet, count, console.port());
    if (fleet.named != count) {
        return 2;
    }
    out(QStringLiteral("agents registered             %1 in %2 ms")
            .arg(count)
            .arg(fleet.registerMs, 0, 'f', 0));
    auto agent = [&fleet](int i) { return fleet.agents[size_t(i)].get(); };

    // Every tenth login is a member's; members are used once each.
    std::vector<Send> logins;
    std::vector<Send> logoffs;
    int member = 0;
    int ticket = 0;
    for (int i = 0; i < single; ++i) {
        logins.push_back({agent(i), i % 10 == 9 && member < Members
                                        ? memberLogin(member++)
                                        : ticketLogin(codes[ticket++])});
        logoffs.push_back({agent(i), Proto::PrepaidLogoff});
    }
    std::vector<Send> wrongOnes;
    std::vector<Send> wrongBurst;
    for (int i = 0; i < wrong; ++i) {
        wrongOnes.push_back(
            {agent(single + i),
             ticketLogin(QStringLiteral("AAAA-AAAA-%1").arg(i, 4, 10, QLatin1Char('A')))});
        wrongBurst.push_back(
            {agent(single + wrong + i),
             Proto::prepaidLogin({Proto::PrepaidCredentials::Kind::Member, memberId(i % Members),
                                  QStringLiteral("guess")})});
    }
    std::vector<Send> burstLogins;
    std::vector<Send> burstLogoffs;
    for (int i = 0; i < burst; ++i) {
        Agent* a = agent(single + 2 * wrong + i);
        burstLogins.push_back({a, i % 10 == 9 && member < Members ? memberLogin(member++)
                                                                  : ticketLogin(codes[ticket++])});
        burstLogoffs.push_back({a, Proto::PrepaidLogoff});
    }

    const QByteArray started = Proto::StartSession;
    const QByteArray refused = Proto::prepaidRefused(PrepaidService::NotAccepted);
    int failedLogins = 0;
    int failedWrong = 0;
    int failedLogoffs = 0;
    const std::vector<double> loginOne =
        oneAtATime(logins, started, Proto::PrepaidTime, failedLogins);
    const std::vector<double> wrongOne = oneAtATime(wrongOnes, refused, refused, failedWrong);
    const std::vector<double> logoffOne =
        oneAtATime(logoffs, Proto::EndSession, Proto::EndSession, failedLogoffs);
    const std::vector<double> loginMany =
        timeRound(burstLogins, started, Proto::PrepaidTime, failedLogins);
    const std::vector<double> wrongMany = timeRound(wrongBurst, refused, refused, failedWrong);
    const std::vector<double> logoffMany =
        timeRound(burstLogoffs, Proto::EndSession, Proto::EndSession, failedLogoffs);
    std::vector<double> loginAll = loginOne;
    loginAll.insert(loginAll.end(), loginMany.begin(), loginMany.end());
    std::vector<double> logoffAll = logoffOne;
    logoffAll.insert(logoffAll.end(), logoffMany.begin(), logoffMany.end());

    spin(1500); // a round of the watch, then everything is on disk
    const qint64 dbBytes = QFileInfo(dbPath).size();
    const qint64 walBytes = QFileInfo(dbPath + QStringLiteral("-wal")).size();

    const int usedTickets = ticket;
    const int usedMembers = member;
    const qint64 ticketBills =
        readScalar(QStringLiteral("SELECT count(*) FROM history WHERE ticket IS NOT NULL"))
            .toLongLong();
    // Each ticket used: exactly one bill, and its credit is its value less that bill.
    const qint64 ticketsSound =
        readScalar(
            QStringLiteral("SELECT count(*) FROM tickets t WHERE t.lastuse IS NOT NULL AND "
                           "(SELECT count(*) FROM history h WHERE h.ticket = t.code) = 1 AND "
                           "abs(t.value - t.credit - (SELECT coalesce(netamount, 0) FROM history h "
                           "WHERE h.ticket = t.code)) < 0.00005"))
            .toLongLong();
    const qint64 ticketsTouched =
        readScalar(QStringLiteral("SELECT count(*) FROM tickets WHERE lastuse IS NOT NULL OR "
                                  "credit <> value"))
            .toLongLong();
    // Each member bill: one ledger debit of its amount.
    const qint64 memberBills =
        readScalar(QStringLiteral("SELECT count(*) FROM history WHERE memberid LIKE 'M-%'"))
            .toLongLong();
    const qint64 membersSound =
        readScalar(QStringLiteral("SELECT count(*) FROM history h JOIN transactions x ON "
                                  "x.memberid = h.memberid AND x.part = 'By Bill No ' || "
                                  "h.billno WHERE abs(coalesce(x.debit, 0) - "
                                  "coalesce(h.netamount, 0)) < 0.00005"))
            .toLongLong();
    const qint64 running =
        readScalar(QStringLiteral("SELECT count(*) FROM terminals")).toLongLong();
    const qint64 online = readScalar(QStringLiteral("SELECT count(*) FROM online")).toLongLong();
    const bool sound = ticketBills == usedTickets && ticketsSound == usedTickets &&
                       ticketsTouched == usedTickets && memberBills == usedMembers &&
                       membersSound == usedMembers && running == 0 && online == count;

    out(QStringLiteral("tickets in the database       %1, members %2").arg(tickets).arg(Members));
    out(QStringLiteral("database size                 %1 KiB (+ %2 KiB log)")
            .arg(dbBytes / 1024)
            .arg(walBytes / 1024));
    bool pass = true;
    pass &= report(QStringLiteral("login, one at a time"), loginOne, 0, false);
    pass &= report(QStringLiteral("login, 100 at once"), loginMany, 0, false);
    pass &= report(QStringLiteral("login, all"), loginAll, failedLogins, true);
    pass &= report(QStringLiteral("wrong code, one at a time"), wrongOne, 0, false);
    pass &= report(QStringLiteral("wrong, 100 at once"), wrongMany, 0, false);
    std::vector<double> wrongAll = wrongOne;
    wrongAll.insert(wrongAll.end(), wrongMany.begin(), wrongMany.end());
    pass &= report(QStringLiteral("refusal, all"), wrongAll, failedWrong, true);
    pass &= report(QStringLiteral("log off to lock, one at a time"), logoffOne, 0, false);
    pass &= report(QStringLiteral("log off to lock, 100 at once"), logoffMany, 0, false);
    pass &= report(QStringLiteral("log off to lock, all"), logoffAll, failedLogoffs, true);
    out(QStringLiteral("nothing lost                  %1 (ticket bills %2/%3 sound %4, other "
                       "tickets touched %5; member bills %6/%7 with debit %8; running %9)")
            .arg(sound ? QStringLiteral("yes") : QStringLiteral("NO"))
            .arg(ticketBills)
            .arg(usedTickets)
            .arg(ticketsSound)
            .arg(ticketsTouched - ticketsSound)
            .arg(memberBills)
            .arg(usedMembers)
            .arg(membersSound)
            .arg(running));
    out(QStringLiteral("target p99 < %1 ms            %2")
            .arg(TargetMs, 0, 'f', 0)
            .arg(pass ? QStringLiteral("pass") : QStringLiteral("FAIL")));
    console.finish();
    return pass && sound ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args.at(1) == QLatin1String("--console")) {
        return runConsole(args.at(2), args.at(3).toInt());
    }
    LinkServer::raiseOpenFilesLimit();
    const int count = args.size() >= 2 ? std::max(1, args.at(1).toInt()) : 1000;
    const int tickets = args.size() >= 3 ? std::max(1, args.at(2).toInt()) : 100000;
    return runDriver(count, tickets);
}
