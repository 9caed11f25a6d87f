// SPDX-License-Identifier: Apache-2.0
// How deleting 1M history rows (with a job-work line on every tenth bill) behaves in batches
// of 2000, each its own transaction, against one transaction for all: total time, the
// longest the console is held by one unit (it answers nothing meanwhile) and the peak
// resident memory. Each run is a process of its own on a fresh copy of the same database.
#include "server/accounts/housekeeping.h"
#include "server/core/database.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTextStream>

#include <sys/resource.h>

namespace {

constexpr int Rows = 1000000;

void fill(const QString& path)
{
    Database db;
    db.open(path);
    db.transaction([&] {
        return db.run("WITH RECURSIVE n(i) AS (SELECT 1 UNION ALL SELECT i + 1 FROM n WHERE i < "
                      "?) INSERT INTO history (billno, sstart, send, terminal, cip, user, "
                      "memberid, duration, charge, netamount, received) SELECT i, "
                      "'2026-01-01 10:00:00', '2026-01-01 11:05:00', 'PC' || (i % 40), "
                      "'192.168.1.20', 'Normal', '', ' 1: 5: 0', 12.5, 12.5, 12.5 FROM n",
                      {Rows}) &&
               db.run("INSERT INTO jobwork_details (billno, Type, qty, amount) SELECT billno, "
                      "'Print', 1, 2.5 FROM history WHERE billno % 10 = 0");
    });
    db.close();
}

// The child: deletes every row in batches of `batch` and prints its figures.
int run(const QString& path, int batch)
{
    Database db;
    db.open(path);
    Housekeeping hk(db);
    auto deletion = hk.byBillNumbers(QStringLiteral("1"), QString::number(Rows));
    QElapsedTimer total;
    total.start();
    qint64 longest = 0;
    bool more = true;
    while (more) {
        QElapsedTimer one;
        one.start();
        more = hk.step(deletion, batch);
        longest = qMax(longest, one.elapsed());
    }
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    const qint64 left = db.scalar("SELECT count(*) FROM history").toLongLong() +
                        db.scalar("SELECT count(*) FROM jobwork_details").toLongLong();
    QTextStream(stdout) << QString("%1 %2 %3 %4 %5\n")
                               .arg(deletion.done())
                               .arg(total.elapsed() / 1000.0, 0, 'f', 2)
                               .arg(longest / 1000.0, 0, 'f', 2)
                               .arg(u.ru_maxrss / 1024.0, 0, 'f', 1)
                               .arg(left);
    return deletion.failed() ? 1 : 0;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    const QStringList args = app.arguments();
    if (args.size() == 4 && args.at(1) == "--run") {
        return run(args.at(2), args.at(3).toInt());
    }
    QTemporaryDir dir;
    const QString seed = dir.filePath("seed.db");
    fill(seed);
    QTextStream out(stdout);
    out << "approach          rows deleted  seconds  longest-unit-s  peak-RSS-MB  rows-left\n";
    const std::pair<const char*, int> approaches[] = {{"batches of 2000", 2000},
                                                      {"one transaction", Rows + 1}};
    for (const auto& [name, batch] : approaches) {
        const QString copy = dir.filePath(QString("run-%1.db").arg(batch));
        QFile::copy(seed, copy);
        QProcess p;
        p.start(app.applicationFilePath(), {"--run", copy, QString::number(batch)});
        p.waitForFinished(-1);
        const QStringList f = QString::fromUtf8(p.readAllStandardOutput()).split(' ');
        if (f.size() < 5) {
            out << name << ": failed\n";
            continue;
        }
        out << QString("%1 %2 %3 %4 %5 %6")
                   .arg(name, -17)
                   .arg(f[0], 12)
                   .arg(f[1], 8)
                   .arg(f[2], 15)
                   .arg(f[3], 12)
                   .arg(f[4].trimmed(), 10)
            << "\n";
        out.flush();
        QFile::remove(copy);
    }
    return 0;
}
