// SPDX-License-Identifier: Apache-2.0
// Prices sessions against a stored tariff, as settlement does, and prints the cost of one
// pricing (each call reads the category's rows afresh from the database), and the time a
// prepaid credit buys by each tariff, at its slowest.
#include "server/core/database.h"
#include "server/prepaid/timeleft.h"
#include "server/sessions/charge.h"
#include "server/sessions/tariffstore.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTextStream>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QTemporaryDir dir;
    Database db;
    if (!dir.isValid() || !db.open(dir.filePath(QStringLiteral("server.db")))) {
        QTextStream(stderr) << "cannot open a database in a temporary folder\n";
        return 1;
    }
    TariffStore store(db);
    QList<RateRow> rows;
    for (int slice = 5; slice <= 60; slice += 5) {
        RateRow r;
        r.timeslice = Money::fromWhole(slice);
        r.rate = Money::fromWhole(slice / 2 + 5);
        r.rpermin = Money::parse(u"0.5");
        rows.append(r);
    }
    TariffSettings byMinute;
    byMinute.chargebyminute = true;
    byMinute.usefirsttimeperiod = true;
    TariffSettings flat;
    flat.fhour = true;
    flat.fhourrate = Money::fromWhole(20);
    flat.fhournos = Money::fromWhole(2);
    flat.rateflathour = true;
    store.save(QStringLiteral("By period"), {}, true, rows, TariffSettings{});
    store.save(QStringLiteral("By minute"), {}, true, rows, byMinute);
    store.save(QStringLiteral("Flat"), {}, true, rows, flat);
    // Other categories in the table, as a cafe has a few.
    for (int i = 0; i < 20; ++i) {
        store.save(QStringLiteral("Other %1").arg(i), {}, true, rows, TariffSettings{});
    }

    QTextStream out(stdout);
    const int calls = 20000;
    for (const QString& name :
         {QStringLiteral("By period"), QStringLiteral("By minute"), QStringLiteral("Flat")}) {
        QElapsedTimer t;
        t.start();
        Money total;
        for (int i = 0; i < calls; ++i) {
            total += calccharge(db, name, i % 5, i % 60, i % 60);
        }
        const double us = double(t.nsecsElapsed()) / 1000.0 / calls;
        out << name << ": " << calls << " pricings, " << QString::number(us, 'f', 1)
            << " us each (sum " << total.toString() << ")\n";
    }

    // The time a credit buys: every credit from nothing to more than a day's use, so the
    // slowest shapes (an answer deep in the day, the cap) are all met.
    for (const auto& [name, settings] : {std::pair{QStringLiteral("By period"), TariffSettings{}},
                                         std::pair{QStringLiteral("By minute"), byMinute},
                                         std::pair{QStringLiteral("Flat"), flat}}) {
        qint64 slowest = 0;
        qint64 sum = 0;
        qint64 minutes = 0;
        const int credits = 2000;
        for (int i = 0; i < credits; ++i) {
            const Money credit = Money::fromUnits(qint64(i) * 5000);
            QElapsedTimer t;
            t.start();
            minutes += minutesBought(rows, settings, credit, 2);
            const qint64 ns = t.nsecsElapsed();
            slowest = std::max(slowest, ns);
            sum += ns;
        }
        out << name << ": time bought for " << credits << " credits, "
            << QString::number(double(sum) / credits / 1000.0, 'f', 1) << " us each, slowest "
            << QString::number(double(slowest) / 1000.0, 'f', 1) << " us (target < 1000 us; "
            << minutes << " minutes in all)\n";
    }
    return 0;
}
