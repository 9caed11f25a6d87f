// SPDX-License-Identifier: Apache-2.0
#include "common/money.h"
#include "common/timesplit.h"
#include "support/datarow.h"

#include <QTest>

#include <limits>

class TestMoney : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void parse_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("units");
        dataRow("plain", "12.5", qint64(125000));
        dataRow("second point ends the number", "12.5.3", qint64(125000));
        dataRow("empty", "", qint64(0));
        dataRow("leading blank and trailing text", " 7x", qint64(70000));
        dataRow("negative", "-3.25", qint64(-32500));
        dataRow("leading point", ".5", qint64(5000));
        dataRow("fifth decimal rounds half to even down", "0.00005", qint64(0));
        dataRow("fifth decimal rounds half to even up", "0.00015", qint64(2));
        dataRow("above half", "0.000051", qint64(1));
        dataRow("fifth decimal above five rounds up", "0.00006", qint64(1));
        dataRow("comma is not a decimal point", "1,5", qint64(10000));
        dataRow("huge saturates", "99999999999999999999999", qint64(4611686018427380000));
    }
    void parse()
    {
        QFETCH(QString, text);
        QFETCH(qint64, units);
        QCOMPARE(Money::parse(text).units(), units);
    }

    void roundingHalvesToEven()
    {
        QCOMPARE(Money::parse(u"0.125").rounded(2), Money::parse(u"0.12"));
        QCOMPARE(Money::parse(u"2.5").rounded(0), Money::fromWhole(2));
        QCOMPARE(Money::parse(u"3.5").rounded(0), Money::fromWhole(4));
        QCOMPARE(Money::parse(u"-2.5").rounded(0), Money::fromWhole(-2));
        QCOMPARE(Money::parse(u"-0.135").rounded(2), Money::parse(u"-0.14"));
        QCOMPARE(Money::parse(u"1.2345").rounded(3), Money::parse(u"1.234"));
        QCOMPARE(Money::parse(u"1.2355").rounded(3), Money::parse(u"1.236"));
        QCOMPARE(Money::parse(u"1.2345").rounded(4), Money::parse(u"1.2345"));
    }

    void saturatedAmountsRoundOntoTheirGrid_data()
    {
        QTest::addColumn<QString>("text");
        dataRow("huge", "922337203685477.5807");
        dataRow("huge negative", "-99999999999999999999");
        dataRow("just below the limit", "461168601842737.9999");
    }
    void saturatedAmountsRoundOntoTheirGrid()
    {
        // A cashier's absurd amount must still round to a whole bill total, and stay there.
        QFETCH(QString, text);
        const Money m = Money::parse(text);
        qint64 step = Money::Scale * 10;
        for (int digits = 0; digits <= 4; ++digits) {
            step /= 10;
            const Money r = m.rounded(digits);
            QCOMPARE(r.units() % step, 0);
            QCOMPARE(r.rounded(digits), r);
            QCOMPARE(Money::parse(m.toFixed(digits)), r);
        }
        QCOMPARE(m.roundedWhole() * Money::Scale, m.rounded(0).units());
    }

    void arithmeticStaysExact()
    {
        // A thousand additions of 0.1 are exactly 100, where binary floating point drifts.
        Money sum;
        for (int i = 0; i < 1000; ++i) {
            sum += Money::parse(u"0.1");
        }
        QCOMPARE(sum, Money::fromWhole(100));
        QCOMPARE(Money::parse(u"0.33").times(Money::fromWhole(5)), Money::parse(u"1.65"));
        QCOMPARE(Money::fromWhole(10).dividedBy(15), Money::parse(u"0.6667"));
        QCOMPARE(Money::fromWhole(10).dividedBy(0), Money());
        QCOMPARE(Money::parse(u"0.0001").times(Money::parse(u"0.5")), Money()); // 0.00005 -> even
    }

    // Whatever the operands (an absurd duration times a rate, a corrupt stored number), every
    // operation ends on the same bound as times() and rounded(): never wrapped, never negative
    // for a positive product.
    void extremeOperandsSaturate_data()
    {
        QTest::addColumn<qint64>("amount"); // in units
        QTest::addColumn<qint64>("count");
        QTest::addColumn<qint64>("product"); // units of amount * count
        QTest::addColumn<qint64>("whole");   // units of fromWhole(count)
        const qint64 max = Money::MaxUnits;
        const qint64 top = std::numeric_limits<qint64>::max();
        const qint64 bottom = std::numeric_limits<qint64>::min();
        const qint64 hours = 1000000000000000;
        dataRow("hourly rate times huge hours", qint64(250000), hours, max, max);
        dataRow("negative rate", qint64(-250000), hours, -max, max);
        dataRow("negative hours", qint64(250000), -hours, -max, -max);
        dataRow("largest count", qint64(1), top, max, max);
        dataRow("smallest count", qint64(1), bottom, -max, -max);
        dataRow("smallest amount negated", bottom, qint64(-1), max, qint64(-10000));
        dataRow("the bound itself", qint64(10000), max / 10000, max, max);
        dataRow("zero", qint64(0), bottom, qint64(0), -max);
    }
    void extremeOperandsSaturate()
    {
        QFETCH(qint64, amount);
        QFETCH(qint64, count);
        QFETCH(qint64, product);
        QFETCH(qint64, whole);
        const Money a = Money::fromUnits(amount);
        const Money p = a * count;
        QCOMPARE(p.units(), product);
        QCOMPARE((-a * count), -p);
        QCOMPARE(Money::fromWhole(count).units(), whole);
        // Sums of saturated amounts stay saturated, on the whole-amount grid.
        const Money twice = p + p;
        QCOMPARE(twice.units(), product > 0 ? Money::MaxUnits : product < 0 ? -Money::MaxUnits : 0);
        QCOMPARE(twice - p - p - p, -twice);
        QCOMPARE(twice.rounded(0), twice);
    }

    void storedValuesRoundTrip()
    {
        for (const char* s : {"0.1", "11.65", "1234567.8912", "-0.0001", "44.95"}) {
            const Money m = Money::parse(QString::fromLatin1(s));
            QCOMPARE(Money::fromVariant(m.toVariant()), m);
        }
        QCOMPARE(Money::fromVariant(QVariant(qlonglong(7))), Money::fromWhole(7));
        QCOMPARE(Money::fromVariant(QVariant(QStringLiteral("3.5abc"))), Money::parse(u"3.5"));
        QCOMPARE(Money::fromVariant(QVariant()), Money());
        QCOMPARE(Money::fromVariant(QVariant(std::numeric_limits<qulonglong>::max())).units(),
                 Money::MaxUnits);
    }

    void textForms()
    {
        QCOMPARE(Money::parse(u"12.50").toString(), QStringLiteral("12.5"));
        QCOMPARE(Money::parse(u"12.50").toLabel(), QStringLiteral(" 12.5"));
        QCOMPARE(Money::parse(u"-4").toLabel(), QStringLiteral("-4"));
        QCOMPARE(Money::parse(u"0.125").toFixed(2), QStringLiteral("0.12"));
        QCOMPARE(Money::parse(u"-0.5").toFixed(0), QStringLiteral("0"));
        QCOMPARE(Money::parse(u"7").toFixed(3), QStringLiteral("7.000"));
        QCOMPARE(labelNumber(0), QStringLiteral(" 0"));
    }

    void timeSplitCountsAcrossBoundaries_data()
    {
        QTest::addColumn<QDateTime>("start");
        QTest::addColumn<QDateTime>("end");
        QTest::addColumn<qint64>("hours");
        QTest::addColumn<int>("minutes");
        QTest::addColumn<int>("seconds");
        auto t = [](int y, int mo, int d, int h, int mi, int s) {
            return QDateTime(QDate(y, mo, d), QTime(h, mi, s));
        };
        dataRow("month end", t(2026, 1, 31, 23, 50, 20), t(2026, 2, 1, 1, 5, 10), qint64(1), 14,
                50);
        dataRow("year end", t(2026, 12, 31, 22, 0, 0), t(2027, 1, 1, 2, 30, 1), qint64(4), 30, 1);
        dataRow("leap day", t(2028, 2, 28, 12, 0, 0), t(2028, 3, 1, 12, 0, 0), qint64(48), 0, 0);
        dataRow("under an hour", t(2026, 5, 5, 10, 0, 20), t(2026, 5, 5, 11, 0, 0), qint64(0), 59,
                40);
        dataRow("zero", t(2026, 5, 5, 10, 0, 0), t(2026, 5, 5, 10, 0, 0), qint64(0), 0, 0);
        dataRow("clock set back", t(2026, 5, 5, 10, 1, 5), t(2026, 5, 5, 10, 0, 0), qint64(0), -1,
                -5);
    }
    void timeSplitCountsAcrossBoundaries()
    {
        QFETCH(QDateTime, start);
        QFETCH(QDateTime, end);
        QFETCH(qint64, hours);
        QFETCH(int, minutes);
        QFETCH(int, seconds);
        const TimeSplit s = splittime(start, end);
        QCOMPARE(s.hours, hours);
        QCOMPARE(s.minutes, minutes);
        QCOMPARE(s.seconds, seconds);
        QCOMPARE(s.negative, start > end);
    }

    void timeSplitTexts()
    {
        const TimeSplit s = splitSeconds(26 * 3600 + 5 * 60 + 7);
        QCOMPARE(s.labelText(), QStringLiteral(" 26: 5: 7"));
        QCOMPARE(s.clockText(), QStringLiteral("26:05:07"));
    }
};

QTEST_GUILESS_MAIN(TestMoney)
#include "tst_money.moc"
