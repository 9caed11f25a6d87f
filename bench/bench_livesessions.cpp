// SPDX-License-Identifier: Apache-2.0
// The console's running-session list with a cafe's worth of sessions.
//
// Builds a real database with N running sessions over three usage categories, starts the whole
// console (offscreen, window shown) on it and lets the list keep its elapsed times and charges
// current for a while on the real clock. Prints the CPU the console used over that time as a
// share of one core, and, measured separately on the same list, the time of one refresh when
// every row's minute moved (the worst tick) and of one rebuild after `terminals` changed.
//
// Usage: bench_livesessions [sessions=1000] [seconds=60]
#include "common/clock.h"
#include "server/app/console.h"
#include "server/core/database.h"
#include "server/core/ui/frmmain.h"
#include "server/sessions/tariffstore.h"
#include "server/sessions/ui/livesessionview.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QFile>
#include <QTemporaryDir>
#include <QTimer>
#include <QTreeWidget>

#include <sys/resource.h>

#include <cstdio>

namespace {

void out(const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

double cpuSeconds()
{
    rusage u{};
    getrusage(RUSAGE_SELF, &u);
    return double(u.ru_utime.tv_sec + u.ru_stime.tv_sec) +
           double(u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

RateRow rate(int slice, int amount, const char* perMinute)
{
    RateRow r;
    r.timeslice = Money::fromWhole(slice);
    r.rate = Money::fromWhole(amount);
    r.rpermin = Money::parse(QString::fromLatin1(perMinute));
    return r;
}

bool seed(const QString& path, int sessions)
{
    Database db;
    if (!db.open(path)) {
        return false;
    }
    TariffSettings byMinute;
    byMinute.chargebyminute = true;
    TariffStore store(db);
    store.save(QStringLiteral("Normal"), QString(), true,
               {rate(30, 15, "0.5"), rate(45, 20, "0.33"), rate(60, 25, "0.33")}, {});
    store.save(QStringLiteral("Games"), QString(), true,
               {rate(30, 20, "0.67"), rate(60, 30, "0.33")}, byMinute);
    store.save(QStringLiteral("Student"), QString(), true, {rate(60, 10, "0.17")}, {});
    const QStringList users{QStringLiteral("Normal"), QStringLiteral("Games"),
                            QStringLiteral("Student")};
    const QDateTime now = Clock::now();
    return db.transaction([&] {
        for (int i = 0; i < sessions; ++i) {
            // Addresses nobody answers on: the start-up's wake calls fail at once.
            const QString ip = QStringLiteral("127.77.%1.%2").arg(i / 250).arg(i % 250 + 1);
            if (!db.run(QStringLiteral("INSERT INTO terminals (terminal, ip, cid, sstart, user) "
                                       "VALUES (?, ?, ?, ?, ?)"),
                        {QStringLiteral("PC-%1").arg(i + 1, 4, 10, QLatin1Char('0')), ip, i + 1,
                         Database::timeText(now.addSecs(-17 * i - 5)), users[i % 3]})) {
                return false;
            }
        }
        return true;
    });
}

} // namespace

int main(int argc, char** argv)
{
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QApplication app(argc, argv);
    const int sessions = argc > 1 ? QString::fromLatin1(argv[1]).toInt() : 1000;
    const int seconds = argc > 2 ? QString::fromLatin1(argv[2]).toInt() : 60;

    QTemporaryDir home;
    qputenv("VANTIROKIT_HOME", home.path().toLocal8Bit());
    qputenv("VANTIROKIT_WAKE_PORT", "9");
    QDir::setCurrent(home.path());
    QFile settings(home.filePath(QStringLiteral("vantirokit.conf")));
    // Port 0: any free port, so the benchmark never collides with a running console.
    if (!settings.open(QIODevice::WriteOnly) ||
        settings.write("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n\"port\"=\"0\"\n") <
            0) {
        out(QStringLiteral("ERROR settings"));
        return 1;
    }
    settings.close();
    if (!seed(home.filePath(QStringLiteral("server.db")), sessions)) {
        out(QStringLiteral("ERROR database"));
        return 1;
    }

    Console console;
    console.start();
    QTreeWidget* list = console.window().sessionList();
    LiveSessionView& view = console.liveSessions();
    out(QStringLiteral("sessions listed: %1, interval %2 ms")
            .arg(list->topLevelItemCount())
            .arg(view.timer().interval()));

    // Runs the console's event loop (an application quit would close its window and end it).
    const auto run = [](int ms) {
        QEventLoop loop;
        QTimer::singleShot(ms, &loop, &QEventLoop::quit);
        loop.exec();
    };
    // Let start-up settle (wake attempts, first paint) before measuring.
    run(2000);

    int ticks = 0;
    QObject::connect(&view.timer(), &QTimer::timeout, [&ticks] { ++ticks; });
    const double cpu0 = cpuSeconds();
    QElapsedTimer wall;
    wall.start();
    run(seconds * 1000);
    const double cpu = cpuSeconds() - cpu0;
    const double elapsed = double(wall.elapsed()) / 1000.0;
    out(QStringLiteral("steady: %1 s, %2 refreshes, CPU %3 % of one core")
            .arg(elapsed, 0, 'f', 1)
            .arg(ticks)
            .arg(100.0 * cpu / elapsed, 0, 'f', 2));

    // The worst refresh: every row's minute moved since the last one.
    Clock::setFixed(Clock::now());
    const int rounds = 50;
    QElapsedTimer t;
    t.start();
    int touched = 0;
    for (int i = 0; i < rounds; ++i) {
        Clock::advance(60);
        touched += view.tick();
        QCoreApplication::processEvents();
    }
    out(QStringLiteral("refresh with every row changed: %1 ms (%2 rows)")
            .arg(double(t.nsecsElapsed()) / 1e6 / rounds, 0, 'f', 3)
            .arg(touched / rounds));

    // A rebuild after a change of `terminals` (a session started, ended or reconnected).
    t.restart();
    for (int i = 0; i < rounds; ++i) {
        console.window().refreshSessionList();
        QCoreApplication::processEvents();
    }
    out(QStringLiteral("list rebuild with figures: %1 ms")
            .arg(double(t.nsecsElapsed()) / 1e6 / rounds, 0, 'f', 3));
    // Of which the figures: reading the sessions again and filling their columns.
    t.restart();
    for (int i = 0; i < rounds; ++i) {
        view.refill();
    }
    out(QStringLiteral("  of which the live figures: %1 ms")
            .arg(double(t.nsecsElapsed()) / 1e6 / rounds, 0, 'f', 3));
    Clock::reset();
    console.shutDown();
    return 0;
}
