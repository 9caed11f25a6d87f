// SPDX-License-Identifier: Apache-2.0
#include "common/timesplit.h"
#include "server/core/database.h"
#include "server/sessions/charge.h"
#include "server/sessions/tariffstore.h"
#include "support/consolefixture.h"
#include "support/tariffrows.h"

#include <QTest>

namespace {

// A category's rate rows and pricing settings.
struct Pricing
{
    bool byMinute = false;
    bool minimum = false;
    bool flat = false;
    bool totalTime = false;
    bool minuteAfterFlat = false;
    const char* flatRate = "0";
    int flatHours = 0;
    QList<RateRow> rows = standardRateRows();

    TariffSettings settings() const
    {
        TariffSettings s;
        s.chargebyminute = byMinute;
        s.usefirsttimeperiod = minimum;
        s.fhour = flat;
        s.ftimespent = totalTime;
        s.rateflathour = minuteAfterFlat;
        s.fhourrate = m(flatRate);
        s.fhournos = Money::fromWhole(flatHours);
        return s;
    }
};

// The pricing modes the tables below name.
const Pricing period;
const Pricing minute{.byMinute = true};
const Pricing minimum{.byMinute = true, .minimum = true};
const Pricing periodMinimum{.minimum = true};
const Pricing flat{.flat = true, .flatRate = "20", .flatHours = 2};
const Pricing total{.flat = true, .totalTime = true, .flatRate = "20", .flatHours = 2};
const Pricing total5{.flat = true, .totalTime = true, .flatRate = "20", .flatHours = 5};
const Pricing flatMinutes{.flat = true, .minuteAfterFlat = true, .flatRate = "20", .flatHours = 2};
// Slices that end before the hour: minutes past the last slice add nothing, and only
// "By one Minute" lifts that to the first slice's rate.
const QList<RateRow> shortRows{row("15", "10", "0.67"), row("30", "15", "0.33")};
const Pricing shortPeriod{.rows = shortRows};
const Pricing shortPeriodMinimum{.minimum = true, .rows = shortRows};
const Pricing shortMinute{.byMinute = true, .rows = shortRows};
const Pricing shortMinimum{.byMinute = true, .minimum = true, .rows = shortRows};
// The minimum also covers a charge made only of whole hours.
const Pricing cheapHours{.byMinute = true, .flat = true, .totalTime = true, .flatRate = "5"};
const Pricing cheapHoursMinimum{
    .byMinute = true, .minimum = true, .flat = true, .totalTime = true, .flatRate = "5"};
const Pricing noRows{.rows = {}};
// Rows stored out of order are still priced in ascending slice order.
const Pricing unordered{
    .rows = {row("60", "25", "0.33"), row("15", "10", "0.67"), row("30", "15", "0.33")}};

} // namespace

Q_DECLARE_METATYPE(Pricing)

class TestCharge : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    void tariff(const QString& name, const QList<RateRow>& rows, const TariffSettings& s,
                bool isNew = true)
    {
        QVERIFY(TariffStore(*m_db).save(name, QString(), isNew, rows, s));
    }

private Q_SLOTS:
    void init() { openConsole(); }
    void cleanup() { closeConsole(); }

    void workedExamples_data()
    {
        QTest::addColumn<int>("hours");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("seconds");
        QTest::addColumn<Pricing>("mode");
        QTest::addColumn<QString>("charge");
        QTest::newRow("0:00:40 by period") << 0 << 0 << 40 << period << "10";
        QTest::newRow("0:20 by period") << 0 << 20 << 0 << period << "15";
        QTest::newRow("1:10 by period") << 1 << 10 << 0 << period << "35";
        QTest::newRow("2:00 by period") << 2 << 0 << 0 << period << "50";
        QTest::newRow("0:20 by minute") << 0 << 20 << 0 << minute << "11.65";
        QTest::newRow("0:10 by minute") << 0 << 10 << 0 << minute << "6.70";
        QTest::newRow("0:10 by minute, minimum") << 0 << 10 << 0 << minimum << "10";
        QTest::newRow("0:15 by minute") << 0 << 15 << 0 << minute << "10";
        QTest::newRow("1:45 by minute") << 1 << 45 << 0 << minute << "44.95";
        QTest::newRow("3:00 flat 20 after 2") << 3 << 0 << 0 << flat << "70";
        QTest::newRow("2:00 flat 20 after 2") << 2 << 0 << 0 << flat << "50";
        QTest::newRow("1:00 flat on total time") << 1 << 0 << 0 << total << "20";
        QTest::newRow("3:20 flat, minute after flat") << 3 << 20 << 0 << flatMinutes << "81.65";
        QTest::newRow("3:20 flat, by period") << 3 << 20 << 0 << flat << "85";
        // Seconds are never charged.
        QTest::newRow("0:14:59 by period") << 0 << 14 << 59 << period << "10";
        QTest::newRow("0:14:59 by minute") << 0 << 14 << 59 << minute << "9.38";
        QTest::newRow("0:15:59 by minute") << 0 << 15 << 59 << minute << "10";
        // Under one minute: the first slice's rate in every mode.
        QTest::newRow("0:00:00 by period") << 0 << 0 << 0 << period << "10";
        QTest::newRow("0:00:59 by minute") << 0 << 0 << 59 << minute << "10";
        QTest::newRow("0:00:59 minimum") << 0 << 0 << 59 << minimum << "10";
        QTest::newRow("0:00:59 minute after flat") << 0 << 0 << 59 << flatMinutes << "10";
        QTest::newRow("0:00:59 total time") << 0 << 0 << 59 << total5 << "10";
        // Exactly one hour is the last slice's rate and nothing for minutes.
        QTest::newRow("1:00:00 by period") << 1 << 0 << 0 << period << "25";
        QTest::newRow("1:00:00 by minute") << 1 << 0 << 0 << minute << "25";
        // The flat rate on total time spent prices the first hour already.
        QTest::newRow("1:00 total time, flat after 5") << 1 << 0 << 0 << total5 << "20";
        QTest::newRow("4:30 total time, flat after 5") << 4 << 30 << 0 << total5 << "95";
        // Minutes after a whole hour go per minute whatever the flat-hour count.
        QTest::newRow("1:20 minute after flat") << 1 << 20 << 0 << flatMinutes << "36.65";
        QTest::newRow("0:20 minute after flat, no hour") << 0 << 20 << 0 << flatMinutes << "15";
        // A minimum without "By one Minute" does nothing.
        QTest::newRow("0:10 by period, minimum flag") << 0 << 10 << 0 << periodMinimum << "10";
        QTest::newRow("0:45 short, by period") << 0 << 45 << 0 << shortPeriod << "0";
        QTest::newRow("0:45 short, minimum flag") << 0 << 45 << 0 << shortPeriodMinimum << "0";
        QTest::newRow("0:45 short, by minute") << 0 << 45 << 0 << shortMinute << "0";
        QTest::newRow("0:45 short, minimum") << 0 << 45 << 0 << shortMinimum << "10";
        QTest::newRow("1:00 whole hours, minimum") << 1 << 0 << 0 << cheapHoursMinimum << "10";
        QTest::newRow("1:00 whole hours") << 1 << 0 << 0 << cheapHours << "5";
        QTest::newRow("0:00 no rows") << 0 << 0 << 0 << noRows << "0";
        QTest::newRow("2:30 no rows") << 2 << 30 << 0 << noRows << "0";
        QTest::newRow("0:40 rows out of order") << 0 << 40 << 0 << unordered << "25";
    }

    void workedExamples()
    {
        QFETCH(int, hours);
        QFETCH(int, minutes);
        QFETCH(int, seconds);
        QFETCH(Pricing, mode);
        QFETCH(QString, charge);
        tariff(QStringLiteral("Standard"), mode.rows, mode.settings());
        const Money got = calccharge(*m_db, QStringLiteral("Standard"), hours, minutes, seconds);
        QCOMPARE(got.rounded(2).toFixed(2), Money::parse(charge).toFixed(2));
        // The category is found whatever the case of the name the session carries; an unknown
        // one prices nothing.
        QCOMPARE(calccharge(*m_db, QStringLiteral("STANDARD"), hours, minutes, seconds), got);
        QCOMPARE(calccharge(*m_db, QStringLiteral("Nobody"), hours, minutes, seconds), Money{});
    }

    // An end before the start (the clock set back) is never priced, not even the first slice.
    void negativeDurationPricesZero_data()
    {
        QTest::addColumn<Pricing>("mode");
        QTest::newRow("by period") << period;
        QTest::newRow("by minute, minimum") << minimum;
    }

    void negativeDurationPricesZero()
    {
        QFETCH(Pricing, mode);
        tariff(QStringLiteral("Standard"), mode.rows, mode.settings());
        const QDateTime start(QDate(2026, 3, 1), QTime(10, 0, 0));
        for (int back : {5, 65, 3600, 3 * 3600 + 125}) {
            const TimeSplit t = splittime(start, start.addSecs(-back));
            QVERIFY(t.negative);
            QCOMPARE(calccharge(*m_db, QStringLiteral("Standard"), t.hours, t.minutes, t.seconds),
                     Money{});
        }
        QCOMPARE(calccharge(*m_db, QStringLiteral("Standard"), 0, 0, -1), Money{});
        QCOMPARE(calccharge(*m_db, QStringLiteral("Standard"), -2, 0, 0), Money{});
        QCOMPARE(calccharge(*m_db, QStringLiteral("Standard"), 0, -1, 0), Money{});
    }

    // An absurd duration (a clock years off) prices at the largest amount in every mode,
    // never at a wrapped, negative one.
    void hugeDurationSaturates_data()
    {
        QTest::addColumn<Pricing>("mode");
        QTest::newRow("by period") << period;
        QTest::newRow("by minute") << minute;
        QTest::newRow("flat after 2 hours") << flat;
        QTest::newRow("flat on total time") << total;
        QTest::newRow("minute after flat") << flatMinutes;
    }

    void hugeDurationSaturates()
    {
        QFETCH(Pricing, mode);
        for (const qint64 hours : {qint64(1000000000000000), qint64(1) << 62}) {
            const Money c = calccharge(mode.rows, mode.settings(), hours, 20, 0);
            QCOMPARE(c.units(), Money::MaxUnits);
            QCOMPARE(c.rounded(2), c);
        }
    }

    // The price is made at the end from the tariff as it is then.
    void tariffChangedDuringSession()
    {
        tariff(QStringLiteral("Standard"), standardRateRows(), TariffSettings{});
        QCOMPARE(calccharge(*m_db, QStringLiteral("Standard"), 1, 10, 0), m("35"));
        tariff(QStringLiteral("Standard"),
               {row("15", "12", "0.8"), row("30", "18", "0.4"), row("60", "30", "0.4")},
               TariffSettings{}, false);
        QCOMPARE(calccharge(*m_db, QStringLiteral("Standard"), 1, 10, 0), m("42"));
    }

    // The caller rounds to the currency digits, halves to the even neighbour.
    void rounding_data()
    {
        QTest::addColumn<QString>("rpm");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("digits");
        QTest::addColumn<QString>("rounded");
        QTest::newRow("2.5 to 0 digits") << "0.5" << 5 << 0 << "2";
        QTest::newRow("3.5 to 0 digits") << "0.5" << 7 << 0 << "4";
        QTest::newRow("0.1235 to 3 digits") << "0.1235" << 1 << 3 << "0.124";
        QTest::newRow("0.1245 to 3 digits") << "0.1245" << 1 << 3 << "0.124";
        QTest::newRow("2.0001 to 3 digits") << "0.6667" << 3 << 3 << "2";
    }

    void rounding()
    {
        QFETCH(QString, rpm);
        QFETCH(int, minutes);
        QFETCH(int, digits);
        QFETCH(QString, rounded);
        RateRow first = row("15", "10", "0");
        first.rpermin = Money::parse(rpm);
        TariffSettings s;
        s.chargebyminute = true;
        tariff(QStringLiteral("Fine"), {first, row("60", "25", "0.33")}, s);
        const Money c = calccharge(*m_db, QStringLiteral("Fine"), 0, minutes, 0);
        QCOMPARE(c.rounded(digits), Money::parse(rounded));
    }
};

QTEST_GUILESS_MAIN(TestCharge)
#include "tst_charge.moc"
