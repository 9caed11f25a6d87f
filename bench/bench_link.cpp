// SPDX-License-Identifier: Apache-2.0
// Console link under a cafe's worth of agents, all on loopback.
//
// The console side (LinkServer + ConnectionManager on a temporary database) runs in a child
// process so that its memory and CPU can be read from /proc; this process emulates the agents,
// each from its own 127.x.y.z address, answering the name request as a real agent does.
//
// Prints: time until every agent is registered (locked, asked its name, answered, listed in
// `online` under the reported name), the delivery latency of single commands (p50/p99), the
// console's resident memory growth per agent, and its CPU use while all agents sit idle.
// More agents than the console holds in all (LinkServer::MaxConnections) are let in by raising
// its caps for that run.
//
// Then a flood against a keyed console with its usual caps: silent connections, five from each
// address (one over the per-address cap), held open. Prints how long the console takes to take
// them in and to clear them once they go, how soon a real agent that connects meanwhile is
// served, the console's memory before, at its peak and after, and how long its logs grew.
//
// Usage: bench_link [agents=1000] [flood=10000]
// On a machine busy with other work the latencies mostly measure the scheduler's queue; run it
// as `chrt -f 1 bench_link` (or at least `nice -n -10`) to see what the console itself costs.
#include "bench/agentfleet.h"
#include "common/linkauth.h"
#include "common/protocol.h"
#include "server/core/database.h"
#include "server/core/messagelog.h"
#include "server/link/connectionmanager.h"
#include "server/link/linkserver.h"

#include <QFileInfo>
#include <QSocketNotifier>
#include <QTemporaryDir>

#include <unistd.h>

namespace {

using namespace bench;

// ---- console side (child process) -------------------------------------------------------

const QByteArray FloodKey = QByteArrayLiteral("9f3c2a7be41d08c6f5a2e9b17d03c4e8");

int runConsole(const QString& dbPath, int holdAtLeast, const QByteArray& key)
{
    Database db;
    if (!db.open(dbPath)) {
        out(QStringLiteral("ERROR database"));
        return 1;
    }
    LinkServer server;
    server.setLinkKey(key);
    if (holdAtLeast > LinkServer::MaxConnections) {
        server.setConnectionCaps(LinkServer::MaxConnectionsPerAddress, holdAtLeast + 16);
    }
    ConnectionManager manager(db, server);
    // The message log as the console window's list keeps it.
    MessageLog log;
    QObject::connect(&manager, &ConnectionManager::logLine, &log, &MessageLog::append);
    if (!server.listen(0, QHostAddress::LocalHost)) {
        out(QStringLiteral("ERROR listen ") + server.errorString());
        return 1;
    }
    // Commands from the driver on standard input: "SEND <ip>" sends a lock to that workstation
    // the way the remote-control window does (look-up by address, one write).
    QSocketNotifier input(STDIN_FILENO, QSocketNotifier::Read);
    QByteArray pending;
    QObject::connect(&input, &QSocketNotifier::activated, [&] {
        char buf[4096];
        const ssize_t n = ::read(STDIN_FILENO, buf, sizeof buf);
        if (n <= 0) {
            QCoreApplication::quit();
            return;
        }
        pending.append(buf, n);
        qsizetype nl;
        while ((nl = pending.indexOf('\n')) >= 0) {
            const QByteArray line = pending.left(nl).trimmed();
            pending.remove(0, nl + 1);
            if (line.startsWith("SEND ")) {
                const qint64 t0 = monotonicNs();
                const qint64 id = db.scalar(QStringLiteral("SELECT id FROM online WHERE ip = ?"),
                                            {QString::fromLatin1(line.mid(5))})
                                      .toLongLong();
                const bool ok = server.send(id, Proto::Lock);
                out(QStringLiteral("SENT %1 %2 %3")
                        .arg(t0)
                        .arg(ok ? 1 : 0)
                        .arg(monotonicNs() - t0));
            } else if (line == "LOG") {
                out(QStringLiteral("LOG %1").arg(log.lines().size()));
            } else if (line == "STATS") {
                out(QStringLiteral("STATS %1 %2 %3 %4")
                        .arg(server.connectionCount())
                        .arg(server.lastIndex() + server.turnedAwayCount())
                        .arg(log.lines().size())
                        .arg(QFileInfo(QStringLiteral("Morvek.txt")).size()));
            }
        }
    });
    out(QStringLiteral("PORT %1").arg(server.serverPort()));
    return QCoreApplication::exec();
}

// ---- driver and agents (this process) ----------------------------------------------------

int runDriver(int count)
{
    LinkServer::raiseOpenFilesLimit();
    QTemporaryDir dir;
    const QString dbPath = dir.filePath(QStringLiteral("server.db"));

    ConsoleChild console;
    if (!console.start(dir.path(), {dbPath, QString::number(count)})) {
        return 1;
    }
    const qint64 pid = console.pid();
    spin(500);
    const qint64 rssBefore = rssKiB(pid);
    if (!openReader(dbPath)) {
        out(QStringLiteral("cannot read the console's database"));
        return 1;
    }

    Fleet fleet;
    const qint64 cpuBefore = cpuTicks(pid);
    connectFleet(fleet, count, console.port());
    const double registerMs = fleet.registerMs;
    const double askedMs = fleet.askedMs;
    const int named = fleet.named;
    const double registerCpuMs =
        double(cpuTicks(pid) - cpuBefore) * 1000.0 / double(sysconf(_SC_CLK_TCK));
    const auto& agents = fleet.agents;

    // Single commands to random agents, one at a time.
    std::vector<double> latency;
    std::vector<double> delivery;
    std::vector<double> inConsole;
    quint32 seed = 7;
    for (int k = 0; k < 300; ++k) {
        seed = seed * 1664525u + 1013904223u;
        Agent* a = agents[size_t(seed % quint32(count))].get();
        a->received.clear();
        const qint64 asked = monotonicNs();
        console.write(QByteArray("SEND ") + a->ip.toLatin1() + '\n');
        const QByteArray sent = console.nextLine("SENT ", 5000);
        const QDeadlineTimer deadline(5000);
        while (!a->received.contains(Proto::Lock) && !deadline.hasExpired()) {
            waitEvents(deadline);
        }
        if (sent.isEmpty() || !a->received.contains(Proto::Lock)) {
            out(QStringLiteral("command %1 not delivered").arg(k));
            continue;
        }
        const qint64 sentNs = sent.split(' ').value(1).toLongLong();
        inConsole.push_back(double(sent.split(' ').value(3).toLongLong()) / 1e6);
        delivery.push_back(double(a->lastArrivalNs - sentNs) / 1e6);
        latency.push_back(double(a->lastArrivalNs - asked) / 1e6);
    }
    const auto pct = percentile;

    spin(1000);
    const qint64 rssAfter = rssKiB(pid);
    // Idle: every agent connected, nobody sending.
    const long hz = sysconf(_SC_CLK_TCK);
    const qint64 t0 = cpuTicks(pid);
    QElapsedTimer idle;
    idle.start();
    spin(5000);
    const qint64 t1 = cpuTicks(pid);
    const double idleCpu = double(t1 - t0) / double(hz) / (double(idle.elapsed()) / 1000.0) * 100.0;

    out(QStringLiteral("agents                         %1").arg(count));
    out(QStringLiteral("all registered in              %1 ms   (target < 2000 ms)")
            .arg(registerMs, 0, 'f', 1));
    out(QStringLiteral("  all locked and asked by      %1 ms").arg(askedMs, 0, 'f', 1));
    out(QStringLiteral("  console CPU while registering %1 ms").arg(registerCpuMs, 0, 'f', 0));
    out(QStringLiteral("command delivery p50 / p99     %1 / %2 ms   (target p99 < 5 ms)")
            .arg(pct(delivery, 0.50), 0, 'f', 3)
            .arg(pct(delivery, 0.99), 0, 'f', 3));
    out(QStringLiteral("  of it in the console         %1 / %2 ms")
            .arg(pct(inConsole, 0.50), 0, 'f', 3)
            .arg(pct(inConsole, 0.99), 0, 'f', 3));
    out(QStringLiteral("  incl. request pipe p50 / p99 %1 / %2 ms")
            .arg(pct(latency, 0.50), 0, 'f', 3)
            .arg(pct(latency, 0.99), 0, 'f', 3));
    out(QStringLiteral("console RSS before / after     %1 / %2 KiB").arg(rssBefore).arg(rssAfter));
    out(QStringLiteral("RSS growth per agent           %1 KiB   (target < 50 KiB)")
            .arg(double(rssAfter - rssBefore) / count, 0, 'f', 2));
    out(QStringLiteral("console idle CPU               %1 %   (target < 1 %)")
            .arg(idleCpu, 0, 'f', 2));

    console.finish();
    return named == count ? 0 : 2;
}

int runFlood(int count)
{
    QTemporaryDir dir;
    ConsoleChild console;
    if (!console.start(dir.path(), {dir.filePath(QStringLiteral("server.db")), QStringLiteral("0"),
                                    QString::fromLatin1(FloodKey)})) {
        return 1;
    }
    const auto ask = [&console](const QByteArray& what) { return console.ask(what); };
    const quint16 port = console.port();
    const qint64 pid = console.pid();
    spin(500);
    const qint64 rssBefore = rssKiB(pid);
    qint64 rssPeak = rssBefore;
    QTimer sampler;
    QObject::connect(&sampler, &QTimer::timeout, [&] { rssPeak = std::max(rssPeak, rssKiB(pid)); });
    sampler.start(50);

    QElapsedTimer clock;
    clock.start();
    std::vector<std::unique_ptr<QTcpSocket>> flood;
    flood.reserve(size_t(count));
    for (int i = 0; i < count; ++i) {
        auto s = std::make_unique<QTcpSocket>();
        s->setReadBufferSize(1);
        const int a = i / (LinkServer::MaxConnectionsPerAddress + 1);
        s->bind(QHostAddress(QStringLiteral("127.2.%1.%2").arg(a / 250).arg(a % 250 + 1)), 0);
        s->connectToHost(QHostAddress::LocalHost, port);
        flood.push_back(std::move(s));
    }
    const double openedMs = double(clock.nsecsElapsed()) / 1e6;

    // A real agent, keyed, arriving in the middle of it.
    QTcpSocket agent;
    QByteArray heard;
    bool proved = false;
    double servedMs = -1;
    QElapsedTimer agentClock;
    QObject::connect(&agent, &QTcpSocket::readyRead, [&] {
        heard += agent.readAll();
        if (!proved && heard.contains(Proto::LinkChallengeEnd)) {
            proved = true;
            const qsizetype at = heard.indexOf(Proto::LinkChallenge) + Proto::LinkChallenge.size();
            const QByteArray nonce = heard.mid(at, LinkAuth::NonceBytes * 2);
            const QByteArray own = LinkAuth::newNonce();
            const LinkAuth::Ends ends{QStringLiteral("127.4.0.1"), QStringLiteral("127.0.0.1")};
            agent.write(Proto::linkProof(own, LinkAuth::agentProof(FloodKey, nonce, own, ends)));
        }
        if (servedMs < 0 && heard.contains(Proto::CName)) {
            servedMs = double(agentClock.nsecsElapsed()) / 1e6;
        }
    });
    agent.bind(QHostAddress(QStringLiteral("127.4.0.1")), 0);
    agentClock.start();
    agent.connectToHost(QHostAddress::LocalHost, port);

    double takenMs = -1;
    QList<QByteArray> stats;
    const QDeadlineTimer limit(120000);
    while (!limit.hasExpired() && (takenMs < 0 || servedMs < 0)) {
        spin(100);
        stats = ask("STATS");
        if (takenMs < 0 && stats.value(2).toLongLong() >= count + 1) {
            takenMs = double(clock.nsecsElapsed()) / 1e6;
        }
    }
    const qint64 held = stats.value(1).toLongLong();
    rssPeak = std::max(rssPeak, rssKiB(pid));

    clock.restart();
    flood.clear();
    double clearedMs = -1;
    while (!limit.hasExpired()) {
        stats = ask("STATS");
        if (stats.value(1).toLongLong() <= 1) {
            clearedMs = double(clock.nsecsElapsed()) / 1e6;
            break;
        }
        spin(20);
    }
    spin(1000);
    sampler.stop();
    const qint64 rssAfter = rssKiB(pid);
    stats = ask("STATS");

    out(QStringLiteral("flood connections              %1 (%2 per address, %3 addresses)")
            .arg(count)
            .arg(LinkServer::MaxConnectionsPerAddress + 1)
            .arg((count + LinkServer::MaxConnectionsPerAddress) /
                 (LinkServer::MaxConnectionsPerAddress + 1)));
    out(QStringLiteral("  opened by the flood in       %1 ms").arg(openedMs, 0, 'f', 1));
    out(QStringLiteral("  taken in by the console in   %1 ms, %2 held at the end")
            .arg(takenMs, 0, 'f', 1)
            .arg(held));
    out(QStringLiteral("  real agent served in         %1 ms").arg(servedMs, 0, 'f', 1));
    out(QStringLiteral("  cleared after it ended in    %1 ms").arg(clearedMs, 0, 'f', 1));
    out(QStringLiteral("console RSS before/peak/after  %1 / %2 / %3 KiB")
            .arg(rssBefore)
            .arg(rssPeak)
            .arg(rssAfter));
    out(QStringLiteral("message log lines, error log   %1 lines, %2 bytes")
            .arg(QString::fromLatin1(stats.value(3)), QString::fromLatin1(stats.value(4))));
    console.finish();
    return servedMs >= 0 && clearedMs >= 0 ? 0 : 3;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() >= 4 && args.at(1) == QLatin1String("--console")) {
        return runConsole(args.at(2), args.at(3).toInt(), args.value(4).toLatin1());
    }
    LinkServer::raiseOpenFilesLimit();
    const int count = args.size() >= 2 ? std::max(1, args.at(1).toInt()) : 1000;
    const int flood = args.size() >= 3 ? std::max(1, args.at(2).toInt()) : 10000;
    const int registered = runDriver(count);
    const int flooded = runFlood(flood);
    return registered != 0 ? registered : flooded;
}
