// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>
#include <QStringView>
#include <QVariant>
#include <compare>
#include <cstdint>

// An exact amount of money in ten-thousandths of the currency unit, the precision of the
// database's currency columns. Nothing here knows a currency unit or a locale.
//
// Amounts live within plus or minus MaxUnits, and every way of making one saturates there
// rather than wrapping: an absurd duration times a rate must end as the largest charge, never
// as a negative one. The bound is a whole amount, so a saturated value is on every rounding
// grid, and it leaves room for the sum of two amounts without overflow.
class Money
{
public:
    static constexpr std::int64_t Scale = 10000;
    static constexpr std::int64_t MaxUnits = INT64_MAX / 2 / Scale * Scale;

    constexpr Money() = default;
    static constexpr Money fromUnits(std::int64_t units)
    {
        Money m;
        m.m_units = units > MaxUnits ? MaxUnits : units < -MaxUnits ? -MaxUnits : units;
        return m;
    }
    static constexpr Money fromWhole(std::int64_t whole) { return fromProduct(whole, Scale); }

    // The value of the number at the start of the text, "." as the decimal point whatever
    // the locale: "12.5.3" is 12.5, "abc" is 0, " 7x" is 7, "-3.25" is -3.25. Digits past the
    // fourth decimal are rounded half to even; a value beyond the range saturates.
    static Money parse(QStringView text);
    // A stored column value: numbers are taken to four decimals (half to even), text is parsed.
    static Money fromVariant(const QVariant& value);
    static Money fromDouble(double value);

    constexpr std::int64_t units() const { return m_units; }
    double toDouble() const { return double(m_units) / double(Scale); }
    // The value as stored in a money column: a number with at most four decimals.
    QVariant toVariant() const { return QVariant(toDouble()); }

    // Rounded to the given number of decimals (0..4), exact halves to the even neighbour.
    Money rounded(int digits) const;
    // Rounded to whole units, halves to even, as the report totals add.
    std::int64_t roundedWhole() const { return rounded(0).m_units / Scale; }

    // Plain text: "-" for negatives, no leading blank, no trailing zeros ("12.5", "0", "0.125").
    QString toString() const;
    // Fixed number of decimals ("12.50" for 2), rounding half to even first.
    QString toFixed(int digits) const;
    // The label form: a non-negative value carries one leading blank (" 12.5").
    QString toLabel() const;

    constexpr bool isZero() const { return m_units == 0; }
    constexpr bool isNegative() const { return m_units < 0; }

    // Within the bound, negation, sums and differences cannot overflow; fromUnits saturates.
    constexpr Money operator-() const { return fromUnits(-m_units); }
    constexpr Money operator+(Money o) const { return fromUnits(m_units + o.m_units); }
    constexpr Money operator-(Money o) const { return fromUnits(m_units - o.m_units); }
    constexpr Money& operator+=(Money o) { return *this = *this + o; }
    constexpr Money& operator-=(Money o) { return *this = *this - o; }
    constexpr Money operator*(std::int64_t n) const { return fromProduct(m_units, n); }
    // Product of two amounts (a rate per minute times a quantity that is itself a decimal),
    // rounded half to even to four decimals.
    Money times(Money factor) const;
    // Quotient rounded half to even to four decimals; division by zero gives 0.
    Money dividedBy(Money divisor) const;
    Money dividedBy(std::int64_t divisor) const;

    constexpr auto operator<=>(const Money&) const = default;

private:
    // a * b units, saturated.
    static constexpr Money fromProduct(std::int64_t a, std::int64_t b)
    {
        std::int64_t p = 0;
        if (__builtin_mul_overflow(a, b, &p)) {
            return fromUnits((a < 0) != (b < 0) ? -MaxUnits : MaxUnits);
        }
        return fromUnits(p);
    }

    std::int64_t m_units = 0;
};

Q_DECLARE_METATYPE(Money)

// Number-to-text of labels for whole numbers: one leading blank for non-negative values.
QString labelNumber(std::int64_t n);
