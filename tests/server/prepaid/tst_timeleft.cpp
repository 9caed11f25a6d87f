// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/timeleft.h"
#include "server/sessions/charge.h"
#include "support/datarow.h"
#include "support/tariffrows.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

// What the answer means, checked the slow way: walk every minute until one is not covered.
std::int64_t walked(const QList<RateRow>& rows, const TariffSettings& s, Money credit, int digits)
{
    std::int64_t d = 0;
    while (d <= MaxPrepaidMinutes &&
           calccharge(rows, s, d / 60, int(d % 60), 0).rounded(digits) <= credit) {
        ++d;
    }
    return d == 0 ? 0 : std::min(d - 1, MaxPrepaidMinutes);
}

// A tariff the editor accepts: slices rising to 60, totals never falling, each row's rate per
// minute the step over the row above; any mix of the flat-hour and per-minute settings.
std::pair<QList<RateRow>, TariffSettings> randomTariff(QRandomGenerator& g)
{
    QList<RateRow> rows;
    const int n = g.bounded(1, 6);
    QList<int> slices;
    while (slices.size() < n - 1) {
        const int s = g.bounded(1, 60);
        if (!slices.contains(s)) {
            slices.append(s);
        }
    }
    std::sort(slices.begin(), slices.end());
    slices.append(60);
    Money total;
    Money slice;
    for (const int s : slices) {
        RateRow r;
        // Cents mostly, now and then a fourth decimal that the bill's rounding must meet.
        const Money step = Money::fromUnits(g.bounded(0, 3000) * (g.bounded(4) == 0 ? 1 : 100));
        total += step;
        r.timeslice = Money::fromWhole(s);
        r.rate = total;
        r.rpermin = step.dividedBy(Money::fromWhole(s) - slice);
        slice = r.timeslice;
        rows.append(r);
    }
    TariffSettings t;
    t.fhour = g.bounded(2) == 1;
    t.ftimespent = g.bounded(2) == 1;
    t.rateflathour = g.bounded(2) == 1;
    t.fhourrate = Money::fromUnits(g.bounded(0, 5000) * 100);
    t.fhournos = Money::fromWhole(g.bounded(0, 4));
    t.chargebyminute = g.bounded(2) == 1;
    t.usefirsttimeperiod = g.bounded(2) == 1;
    return {rows, t};
}

} // namespace

class TstTimeLeft : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void knownTariffs_data();
    void knownTariffs();
    void agreesWithEveryMinuteOnRandomTariffs();
};

void TstTimeLeft::knownTariffs_data()
{
    QTest::addColumn<QList<RateRow>>("rows");
    QTest::addColumn<TariffSettings>("settings");
    QTest::addColumn<Money>("credit");
    QTest::addColumn<qint64>("minutes");

    const QList<RateRow> slices{row("15", "10", "0.6667"), row("30", "15", "0.3333"),
                                row("60", "25", "0.3333")};
    const TariffSettings plain;
    dataRow("slices: less than the first", slices, plain, m("9.99"), qint64(0));
    dataRow("slices: the first exactly", slices, plain, m("10"), qint64(15));
    // 61 minutes price at 25 + 10: one hour and a quarter needs 35.
    dataRow("slices: an hour, not its next minute", slices, plain, m("34.99"), qint64(60));
    dataRow("slices: an hour and a quarter", slices, plain, m("35"), qint64(75));

    // One hour at a flat rate for all the time spent: 61 minutes already cost two hours' worth.
    TariffSettings flat;
    flat.fhour = true;
    flat.ftimespent = true;
    flat.fhourrate = m("20");
    const QList<RateRow> hour{row("60", "20", "0.3333")};
    QTest::newRow("flat hour: short of it") << hour << flat << m("19.99") << qint64(0);
    QTest::newRow("flat hour: one") << hour << flat << m("39.99") << qint64(60);
    QTest::newRow("flat hour: two") << hour << flat << m("40") << qint64(120);

    const QList<RateRow> free{row("60", "0", "0")};
    dataRow("nothing charged: the longest use", free, plain, m("1"), qint64(MaxPrepaidMinutes));
    dataRow("no rate rows", QList<RateRow>{}, plain, m("5"), qint64(MaxPrepaidMinutes));
}

void TstTimeLeft::knownTariffs()
{
    QFETCH(QList<RateRow>, rows);
    QFETCH(TariffSettings, settings);
    QFETCH(Money, credit);
    QFETCH(qint64, minutes);
    QCOMPARE(minutesBought(rows, settings, credit, 2), minutes);
    QCOMPARE(walked(rows, settings, credit, 2), minutes);
}

void TstTimeLeft::agreesWithEveryMinuteOnRandomTariffs()
{
    const quint32 seed = qEnvironmentVariableIsSet("VK_SEED")
                             ? quint32(qEnvironmentVariableIntValue("VK_SEED"))
                             : QRandomGenerator::global()->generate();
    QRandomGenerator g(seed);
    for (int i = 0; i < 400; ++i) {
        const auto [rows, settings] = randomTariff(g);
        const int digits = g.bounded(2) == 0 ? 0 : 2;
        // Credits near what the tariff's hours cost, so the answers land everywhere.
        const Money credit = Money::fromUnits(g.bounded(0, 2'000'000));
        const auto got = minutesBought(rows, settings, credit, digits);
        const auto want = walked(rows, settings, credit, digits);
        if (got != want) {
            QFAIL(qPrintable(QStringLiteral("seed %1, tariff %2: %3 minutes for %4, not %5")
                                 .arg(seed)
                                 .arg(i)
                                 .arg(got)
                                 .arg(credit.toString())
                                 .arg(want)));
        }
    }
}

QTEST_GUILESS_MAIN(TstTimeLeft)
#include "tst_timeleft.moc"
