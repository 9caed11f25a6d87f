// SPDX-License-Identifier: Apache-2.0
#include "common/money.h"

#include <cmath>

namespace {

// Products of two amounts need twice the width of a stored amount.
__extension__ typedef __int128 Wide;

constexpr std::int64_t MaxUnits = Money::MaxUnits;

// Divides with the quotient rounded half to even; d > 0.
Wide divRoundEven(Wide n, Wide d)
{
    Wide q = n / d;
    Wide r = n % d;
    if (r < 0) {
        r = -r;
    }
    const Wide twice = 2 * r;
    const bool neg = (n < 0);
    if (twice > d || (twice == d && (q % 2) != 0)) {
        q += neg ? -1 : 1;
    }
    return q;
}

std::int64_t clampUnits(Wide v)
{
    if (v > MaxUnits) {
        return MaxUnits;
    }
    if (v < -MaxUnits) {
        return -MaxUnits;
    }
    return std::int64_t(v);
}

std::int64_t pow10(int n)
{
    std::int64_t p = 1;
    while (n-- > 0) {
        p *= 10;
    }
    return p;
}

} // namespace

Money Money::parse(QStringView text)
{
    qsizetype i = 0;
    const qsizetype n = text.size();
    while (i < n && (text[i] == u' ' || text[i] == u'\t')) {
        ++i;
    }
    bool neg = false;
    if (i < n && (text[i] == u'-' || text[i] == u'+')) {
        neg = text[i] == u'-';
        ++i;
    }
    Wide whole = 0;
    bool overflow = false;
    while (i < n && text[i] >= u'0' && text[i] <= u'9') {
        if (!overflow) {
            whole = whole * 10 + (text[i].unicode() - u'0');
            if (whole > MaxUnits / Scale) {
                overflow = true;
            }
        }
        ++i;
    }
    // Four decimals kept, the rest decides the rounding of the last kept digit.
    Wide frac = 0;
    int fracDigits = 0;
    bool beyondNonZero = false;
    int firstBeyond = -1;
    if (i < n && text[i] == u'.') {
        ++i;
        while (i < n && text[i] >= u'0' && text[i] <= u'9') {
            const int d = text[i].unicode() - u'0';
            if (fracDigits < 4) {
                frac = frac * 10 + d;
                ++fracDigits;
            } else if (firstBeyond < 0) {
                firstBeyond = d;
            } else if (d != 0) {
                beyondNonZero = true;
            }
            ++i;
        }
    }
    if (overflow) {
        return fromUnits(neg ? -MaxUnits : MaxUnits);
    }
    while (fracDigits < 4) {
        frac *= 10;
        ++fracDigits;
    }
    Wide units = whole * Scale + frac;
    if (firstBeyond > 5 || (firstBeyond == 5 && (beyondNonZero || (units % 2) != 0))) {
        units += 1;
    }
    return fromUnits(clampUnits(neg ? -units : units));
}

Money Money::fromDouble(double value)
{
    if (!std::isfinite(value)) {
        return {};
    }
    // Stored values carry at most four decimals; the shortest decimal text of the double
    // gives them back exactly, where a scaled multiplication could land one unit off.
    return parse(QString::number(value, 'f', 6));
}

Money Money::fromVariant(const QVariant& value)
{
    if (!value.isValid() || value.isNull()) {
        return {};
    }
    switch (value.typeId()) {
    case QMetaType::Int:
    case QMetaType::LongLong:
        return fromUnits(clampUnits(Wide(value.toLongLong()) * Scale));
    case QMetaType::UInt:
    case QMetaType::ULongLong:
        // Read as signed, the top half of the range would turn into negative amounts.
        return fromUnits(clampUnits(Wide(value.toULongLong()) * Scale));
    case QMetaType::Double:
    case QMetaType::Float:
        return fromDouble(value.toDouble());
    case QMetaType::Bool:
        return fromWhole(value.toBool() ? 1 : 0);
    default:
        return parse(value.toString());
    }
}

Money Money::rounded(int digits) const
{
    if (digits >= 4) {
        return *this;
    }
    if (digits < 0) {
        digits = 0;
    }
    const std::int64_t step = pow10(4 - digits);
    return fromUnits(clampUnits(divRoundEven(m_units, step) * step));
}

Money Money::times(Money factor) const
{
    return fromUnits(clampUnits(divRoundEven(Wide(m_units) * factor.m_units, Scale)));
}

Money Money::dividedBy(Money divisor) const
{
    if (divisor.m_units == 0) {
        return {};
    }
    Wide n = Wide(m_units) * Scale;
    Wide d = divisor.m_units;
    if (d < 0) {
        n = -n;
        d = -d;
    }
    return fromUnits(clampUnits(divRoundEven(n, d)));
}

Money Money::dividedBy(std::int64_t divisor) const
{
    // Not through fromWhole: a huge divisor would saturate first and give a wrong quotient.
    if (divisor == 0) {
        return {};
    }
    Wide n = m_units;
    Wide d = divisor;
    if (d < 0) {
        n = -n;
        d = -d;
    }
    return fromUnits(clampUnits(divRoundEven(n, d)));
}

QString Money::toString() const
{
    const bool neg = m_units < 0;
    const std::uint64_t a = neg ? std::uint64_t(-m_units) : std::uint64_t(m_units);
    QString s = QString::number(a / Scale);
    std::uint64_t frac = a % Scale;
    if (frac != 0) {
        QString f = QStringLiteral("%1").arg(frac, 4, 10, QLatin1Char('0'));
        while (f.endsWith(u'0')) {
            f.chop(1);
        }
        s += u'.' + f;
    }
    return neg ? u'-' + s : s;
}

QString Money::toFixed(int digits) const
{
    digits = qBound(0, digits, 4);
    const Money r = rounded(digits);
    const bool neg = r.m_units < 0;
    const std::uint64_t a = neg ? std::uint64_t(-r.m_units) : std::uint64_t(r.m_units);
    QString s = QString::number(a / Scale);
    if (digits > 0) {
        const std::uint64_t frac = (a % Scale) / std::uint64_t(pow10(4 - digits));
        s += u'.' + QStringLiteral("%1").arg(frac, digits, 10, QLatin1Char('0'));
    }
    return neg ? u'-' + s : s;
}

QString Money::toLabel() const
{
    return m_units < 0 ? toString() : u' ' + toString();
}

QString labelNumber(std::int64_t n)
{
    return n < 0 ? QString::number(n) : u' ' + QString::number(n);
}
