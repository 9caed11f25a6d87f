// SPDX-License-Identifier: Apache-2.0
// Two cashier's desks on one PostgreSQL database, started by the bench itself
// (tests/support/pgcluster.sh, with fsync and synchronous commits turned back on: the test
// server skips them, a cafe's server does not).
//
// The desks are two connections, each in a thread of its own, in this one process: each
// connection is a server process of its own, where the two desks meet (row claims, the bill
// number's row lock, notices), and one process gives one clock for the time a change takes
// from one desk to the other. The console's side of a settlement is the real one
// (SessionService::settle).
//
//   - settlements: N sessions started, then settled, first each desk its half, then both desks
//     all N at once (every session claimed by both); settlements per second in total, the time
//     of each settlement from its start to its commit (p50/p99/max), and the bills checked:
//     one per session, numbers unique and without a gap;
//   - first, a change on desk A (a row of `online` written and committed) until desk B's lists
//     hear of it (Database::tableChanged on B's connection), one change at a time,
//     p50/p99/max.
//
// Usage: bench_desks [sessions=400] [changes=300] [durable=1]
// durable=0 leaves the server's commits unflushed, as the test server runs: the figures without
// the disk. VK_BENCH_PG_DIR names a running pgcluster.sh folder to use instead of a new one.
#include "bench/agentfleet.h"
#include "server/core/database.h"
#include "server/sessions/sessionservice.h"
#include "server/sessions/tariffstore.h"

#include <QDir>
#include <QSemaphore>
#include <QTemporaryDir>
#include <QThread>

#include <atomic>
#include <unistd.h>

using namespace bench;

namespace {

constexpr double TargetPerSecond = 300.0;
constexpr double TargetCommitMs = 20.0;
constexpr double TargetNoticeMs = 200.0;

QString loadAverage()
{
    QFile f(QStringLiteral("/proc/loadavg"));
    return f.open(QIODevice::ReadOnly)
               ? QString::fromLatin1(f.readAll()).section(QLatin1Char(' '), 0, 2)
               : QStringLiteral("?");
}

int arg(int argc, char** argv, const char* key, int fallback)
{
    const QByteArray prefix = QByteArray(key) + '=';
    for (int i = 1; i < argc; ++i) {
        if (QByteArray(argv[i]).startsWith(prefix)) {
            return QByteArray(argv[i]).mid(prefix.size()).toInt();
        }
    }
    return fallback;
}

// The throw-away server of the tests, started and stopped around the bench.
class Cluster
{
public:
    ~Cluster()
    {
        if (m_started) {
            execute(QStringLiteral("stop"));
        }
    }
    bool start(DatabaseTarget& t)
    {
        m_dir = qEnvironmentVariable("VK_BENCH_PG_DIR");
        if (m_dir.isEmpty()) {
            m_dir = QStringLiteral("/tmp/vkbench-desks-%1").arg(::getpid());
            if (execute(QStringLiteral("start")) != 0) {
                return false;
            }
            m_started = true;
        }
        QFile f(m_dir + QStringLiteral("/connection"));
        if (!f.open(QIODevice::ReadOnly)) {
            return false;
        }
        t.kind = DatabaseTarget::Kind::PostgreSQL;
        for (const QByteArray& line : f.readAll().split('\n')) {
            const QString value = QString::fromUtf8(line.mid(line.indexOf('=') + 1));
            if (line.startsWith("HOST=")) {
                t.host = value;
            } else if (line.startsWith("PORT=")) {
                t.port = value.toInt();
            } else if (line.startsWith("USER=")) {
                t.user = value;
            } else if (line.startsWith("DATABASE=")) {
                t.name = value;
            }
        }
        return true;
    }
    // Statements that take no parameters, on a connection of their own.
    static bool run(const DatabaseTarget& t, const QStringList& statements,
                    QString* answer = nullptr)
    {
        bool ok = true;
        {
            QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QPSQL"), "bench-admin");
            db.setHostName(t.host);
            db.setPort(t.port);
            db.setDatabaseName(t.name);
            db.setUserName(t.user);
            ok = db.open();
            for (const QString& sql : statements) {
                QSqlQuery q(db);
                ok = ok && q.exec(sql);
                if (ok && answer != nullptr && q.next()) {
                    *answer = q.value(0).toString();
                }
            }
        }
        QSqlDatabase::removeDatabase("bench-admin");
        return ok;
    }

private:
    // From a folder the server's own user may enter.
    int execute(const QString& action) const
    {
        QProcess p;
        p.setWorkingDirectory(QStringLiteral("/tmp"));
        p.setProcessChannelMode(QProcess::ForwardedChannels);
        p.start(QStringLiteral(VK_SOURCE_DIR "/tests/support/pgcluster.sh"), {action, m_dir});
        p.waitForFinished(120000);
        return p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    }
    QString m_dir;
    bool m_started = false;
};

struct Pick
{
    qint64 rowid = 0;
    QDateTime sstart;
};

// One desk settling its list as fast as it can; the time of each settlement that went through.
struct Settler
{
    DatabaseTarget target;
    QList<Pick> picks;
    std::vector<double> ms;
    QList<qint64> billnos;
    int refused = 0;
    bool opened = false;

    // Opens its connection, says so on `ready`, and settles once `go` lets it: a console keeps
    // its connection for its whole life, so opening is not timed.
    void run(QSemaphore& ready, QSemaphore& go)
    {
        Database db;
        opened = db.open(target);
        ready.release();
        go.acquire();
        SessionService service(db);
        for (const Pick& p : std::as_const(picks)) {
            SettleRequest r;
            r.sessionRowid = p.rowid;
            r.sstart = p.sstart;
            r.userLabel = QStringLiteral("Std");
            r.charge = Money::fromWhole(10);
            r.net = r.charge;
            r.received = r.charge;
            const qint64 t0 = monotonicNs();
            const SettleResult s = service.settle(r);
            const qint64 t1 = monotonicNs();
            if (s.ok) {
                ms.push_back(double(t1 - t0) / 1e6);
                billnos.append(s.billno);
            } else {
                ++refused;
            }
        }
    }
};

QList<Pick> startSessions(Database& db, int count, int round)
{
    QList<Pick> picks;
    SessionService service(db);
    for (int i = 0; i < count; ++i) {
        const QString name = QStringLiteral("R%1-%2").arg(round).arg(i, 4, 10, QLatin1Char('0'));
        const qint64 index = qint64(i + 1) * 100 + 1 + (i % 2);
        db.run(
            QStringLiteral("INSERT INTO online (name, ip, id) VALUES (?, ?, ?)"),
            {name, QStringLiteral("10.%1.%2.%3").arg(round).arg(i / 250).arg(i % 250 + 1), index});
        StartRequest req;
        req.terminal = name;
        req.category = QStringLiteral("Std");
        const StartResult s = service.start(req);
        if (!s.ok) {
            out(QStringLiteral("ERROR could not start session %1").arg(name));
            return {};
        }
        const auto row = service.findSession(name);
        picks.append({row->rowid, row->sstart});
    }
    return picks;
}

// Runs the two desks at once; false when a bill is missing, doubled or a number skipped.
bool settleRound(Database& db, const DatabaseTarget& target, const QString& what,
                 const QList<Pick>& forA, const QList<Pick>& forB, int sessions)
{

    const qint64 firstNo = db.scalar(QStringLiteral("SELECT billno FROM defalt")).toLongLong();
    Settler a{target, forA, {}, {}, 0, false};
    Settler b{target, forB, {}, {}, 0, false};
    const QString load = loadAverage();
    QSemaphore ready;
    QSemaphore go;
    std::unique_ptr<QThread> ta(QThread::create([&] { a.run(ready, go); }));
    std::unique_ptr<QThread> tb(QThread::create([&] { b.run(ready, go); }));
    ta->start();
    tb->start();
    ready.acquire(2);
    const qint64 t0 = monotonicNs();
    go.release(2);
    ta->wait();
    tb->wait();
    const double seconds = double(monotonicNs() - t0) / 1e9;
    std::vector<double> all = a.ms;
    all.insert(all.end(), b.ms.begin(), b.ms.end());
    QList<qint64> numbers = a.billnos + b.billnos;
    std::sort(numbers.begin(), numbers.end());
    const qint64 nextNo = db.scalar(QStringLiteral("SELECT billno FROM defalt")).toLongLong();
    const qint64 billed =
        db.scalar(QStringLiteral("SELECT count(*) FROM history WHERE billno >= ?"), {firstNo})
            .toLongLong();
    const qint64 distinct = db.scalar(QStringLiteral("SELECT count(DISTINCT billno) FROM history "
                                                     "WHERE billno >= ?"),
                                      {firstNo})
                                .toLongLong();
    bool sound = a.opened && b.opened && numbers.size() == sessions && billed == sessions &&
                 distinct == sessions && nextNo == firstNo + sessions;
    for (qsizetype i = 0; sound && i < numbers.size(); ++i) {
        sound = numbers[i] == firstNo + i;
    }
    const double rate = double(numbers.size()) / seconds;
    const double p99 = percentile(all, 0.99);
    const bool quick = p99 >= 0 && p99 <= TargetCommitMs;
    out(QStringLiteral("%1: %2 sessions, settled %3 by A + %4 by B (refused %5 + %6) in %7 s "
                       "(load before %8)")
            .arg(what)
            .arg(sessions)
            .arg(a.billnos.size())
            .arg(b.billnos.size())
            .arg(a.refused)
            .arg(b.refused)
            .arg(seconds, 0, 'f', 2)
            .arg(load));
    out(QStringLiteral("  settlements per second, both desks  %1   (target >= %2)  %3")
            .arg(rate, 0, 'f', 0)
            .arg(TargetPerSecond, 0, 'f', 0)
            .arg(rate >= TargetPerSecond ? QStringLiteral("PASS") : QStringLiteral("FAIL")));
    out(QStringLiteral("  settlement to commit p50/p99/max  %1 / %2 / %3 ms   (target p99 <= %4)"
                       "  %5")
            .arg(percentile(all, 0.5), 0, 'f', 2)
            .arg(percentile(all, 0.99), 0, 'f', 2)
            .arg(percentile(all, 1.0), 0, 'f', 2)
            .arg(TargetCommitMs, 0, 'f', 0)
            .arg(percentile(all, 0.99) <= TargetCommitMs ? QStringLiteral("PASS")
                                                         : QStringLiteral("FAIL")));
    out(QStringLiteral("  bills: %1 in history for %2 sessions, %3 distinct numbers, next %4 "
                       "(from %5): %6")
            .arg(billed)
            .arg(sessions)
            .arg(distinct)
            .arg(nextNo)
            .arg(firstNo)
            .arg(sound ? QStringLiteral("one each, no gap, PASS")
                 : !a.opened || !b.opened
                     ? QStringLiteral("FAIL (a desk's connection did not open cleanly)")
                     : QStringLiteral("FAIL (missing, doubled or skipped)")));
    return sound && rate >= TargetPerSecond && quick;
}

// Desk A writes a row and commits; desk B's connection hears it as tableChanged.
bool noticeRound(Database& b, const DatabaseTarget& target, int changes)
{
    std::vector<double> ms;
    std::atomic<qint64> sentAt{0};
    QSemaphore heard;
    QObject::connect(&b, &Database::tableChanged, &b, [&](const QString& table) {
        const qint64 t = sentAt.exchange(0);
        if (table == QLatin1String("online") && t != 0) {
            ms.push_back(double(monotonicNs() - t) / 1e6);
            heard.release();
        }
    });
    std::atomic<bool> done{false};
    int lost = 0;

    std::unique_ptr<QThread> writer(QThread::create([&] {
        Database a;
        if (!a.open(target)) {
            done = true;
            return;
        }
        const qint64 row = a.insert(QStringLiteral("INSERT INTO online (name, ip, id) VALUES "
                                                   "('Notice', '10.255.0.1', 9901)"));
        if (row <= 0) {
            out(QStringLiteral("ERROR insert ") + a.lastError());
        }
        for (int i = 0; i < changes; ++i) {
            sentAt = monotonicNs();
            a.transaction([&] {
                const bool ok =
                    a.change(QStringLiteral("UPDATE online SET unlocked = ? WHERE rowid = ?"),
                             {i % 2, row}) == 1;
                a.notifyChanged(QStringLiteral("online"));
                return ok;
            });
            if (!heard.tryAcquire(1, 2000)) {
                ++lost;
            }
        }
        done = true;
    }));
    writer->start();
    while (!done) {
        spin(20);
    }
    writer->wait();
    const double p99 = percentile(ms, 0.99);
    out(QStringLiteral("a change on A heard on B: %1 changes, %2 lost, p50/p99/max %3 / %4 / %5 ms"
                       "   (target p99 <= %6)  %7")
            .arg(changes)
            .arg(lost)
            .arg(percentile(ms, 0.5), 0, 'f', 2)
            .arg(p99, 0, 'f', 2)
            .arg(percentile(ms, 1.0), 0, 'f', 2)
            .arg(TargetNoticeMs, 0, 'f', 0)
            .arg(lost == 0 && p99 >= 0 && p99 <= TargetNoticeMs ? QStringLiteral("PASS")
                                                                : QStringLiteral("FAIL")));
    return lost == 0 && p99 >= 0 && p99 <= TargetNoticeMs;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const int sessions = std::max(2, arg(argc, argv, "sessions", 400));
    const int changes = std::max(1, arg(argc, argv, "changes", 300));
    QTemporaryDir home;
    qputenv("VANTIROKIT_HOME", home.path().toUtf8());
    QDir::setCurrent(home.path());

    DatabaseTarget target;
    Cluster cluster;
    if (!cluster.start(target)) {
        out(QStringLiteral(
            "ERROR the PostgreSQL server did not start (tests/support/pgcluster.sh)"));
        return 1;
    }
    QString version;
    const QString durable =
        arg(argc, argv, "durable", 1) != 0 ? QStringLiteral("on") : QStringLiteral("off");
    if (!Cluster::run(target,
                      {QStringLiteral("ALTER SYSTEM SET fsync = ") + durable,
                       QStringLiteral("ALTER SYSTEM SET synchronous_commit = ") + durable,
                       QStringLiteral("ALTER SYSTEM SET full_page_writes = ") + durable,
                       QStringLiteral("SELECT pg_reload_conf()"),
                       QStringLiteral("DROP DATABASE IF EXISTS desks WITH (FORCE)"),
                       QStringLiteral("CREATE DATABASE desks TEMPLATE template0 ENCODING 'UTF8' "
                                      "LC_COLLATE 'C' LC_CTYPE 'C'"),
                       QStringLiteral("SELECT version()")},
                      &version)) {
        out(QStringLiteral("ERROR could not prepare the database"));
        return 1;
    }
    target.name = QStringLiteral("desks");
    out(QStringLiteral("%1; fsync and synchronous commits %2; %3 cores, load %4")
            .arg(version.section(QLatin1Char(','), 0, 0), durable)
            .arg(QThread::idealThreadCount())
            .arg(loadAverage()));

    Database db; // desk B's connection, and the bench's look at the books
    if (!db.open(target)) {
        out(QStringLiteral("ERROR open ") + db.lastError());
        return 1;
    }
    TariffStore(db).save(QStringLiteral("Std"), {}, true,
                         {RateRow{Money::fromWhole(60), Money::fromWhole(30), QStringLiteral("60"),
                                  QStringLiteral("30"), Money::parse(u"0.5")}},
                         TariffSettings{});
    // Heard first, while the desks' connections are the only ones this process opened, as in a
    // console.
    bool pass = noticeRound(db, target, changes);

    QList<Pick> picks = startSessions(db, sessions, 1);
    QList<Pick> halfA;
    QList<Pick> halfB;
    for (qsizetype i = 0; i < picks.size(); ++i) {
        (i % 2 == 0 ? halfA : halfB).append(picks[i]);
    }
    pass =
        settleRound(db, target, QStringLiteral("each desk its own half"), halfA, halfB, sessions) &&
        pass;
    picks = startSessions(db, sessions, 2);
    QList<Pick> reversed(picks.rbegin(), picks.rend());
    pass = settleRound(db, target, QStringLiteral("both desks every session, from either end"),
                       picks, reversed, sessions) &&
           pass;
    picks = startSessions(db, sessions, 3);
    pass = settleRound(db, target, QStringLiteral("both desks every session, in one order"), picks,
                       picks, sessions) &&
           pass;
    out(QStringLiteral("rows: history %1, terminals %2; load after %3")
            .arg(db.scalar(QStringLiteral("SELECT count(*) FROM history")).toLongLong())
            .arg(db.scalar(QStringLiteral("SELECT count(*) FROM terminals")).toLongLong())
            .arg(loadAverage()));
    out(pass ? QStringLiteral("all targets PASS") : QStringLiteral("some target FAIL"));
    return pass ? 0 : 1;
}
