// SPDX-License-Identifier: Apache-2.0
// libFuzzer target for money: any text parses without a crash to an amount inside the
// saturation range, and the amount survives every text form and rounding it is put through;
// the arithmetic on arbitrary operands is free of undefined behaviour, agrees with exact wide
// arithmetic clamped to the bound, and saturates the same way on both sides of zero.
#include "common/money.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::int64_t Limit = Money::MaxUnits;

__extension__ typedef __int128 Wide;

std::int64_t clamp(Wide v)
{
    return v > Limit ? Limit : v < -Limit ? -Limit : std::int64_t(v);
}

Wide absolute(Wide v)
{
    return v < 0 ? -v : v;
}

void check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

void checkAmount(Money m)
{
    check(m.units() >= -Limit && m.units() <= Limit);
    // Text forms give the same amount back.
    check(Money::parse(m.toString()) == m);
    check(Money::parse(m.toFixed(4)) == m);
    check(Money::parse(m.toLabel()) == m);
    std::int64_t step = Money::Scale * 10;
    for (int digits = 0; digits <= 4; ++digits) {
        step /= 10;
        const Money r = m.rounded(digits);
        // Rounded lands on the grid, no further than half a step away, and stays put.
        check(r.units() % step == 0);
        check(2 * absolute(Wide(r.units()) - m.units()) <= step);
        check(r.rounded(digits) == r);
        check(Money::parse(m.toFixed(digits)) == r);
        // Rounding is symmetric about zero (halves go to the even neighbour either way).
        check((-m).rounded(digits) == -r);
    }
    check(m.roundedWhole() * Money::Scale == m.rounded(0).units());
}

void checkArithmetic(std::int64_t rawA, std::int64_t rawB, std::int64_t n)
{
    const Money a = Money::fromUnits(rawA);
    const Money b = Money::fromUnits(rawB);
    check(a.units() == clamp(rawA) && b.units() == clamp(rawB));

    // Sums, differences, products and whole amounts: the exact result, clamped.
    const Money sum = a + b;
    const Money difference = a - b;
    const Money product = a * n;
    const Money whole = Money::fromWhole(n);
    check(sum.units() == clamp(Wide(a.units()) + b.units()));
    check(difference.units() == clamp(Wide(a.units()) - b.units()));
    check(product.units() == clamp(Wide(a.units()) * n));
    check(whole.units() == clamp(Wide(n) * Money::Scale));
    check(whole.units() % Money::Scale == 0); // saturated or not, a whole amount
    // Saturation is symmetric about zero.
    check(-sum == (-a) + (-b));
    check((-a) * n == -product);

    // The product of two amounts: half a unit from exact, unless saturated.
    const Money t = a.times(b);
    check((-a).times(b) == -t);
    const Wide exact = Wide(a.units()) * b.units();
    if (absolute(t.units()) < Limit) {
        check(2 * absolute(Wide(t.units()) * Money::Scale - exact) <= Money::Scale);
    } else {
        check(2 * absolute(exact) >= (2 * Wide(Limit) - 1) * Money::Scale);
        check(t.isNegative() == (exact < 0));
    }

    // Division by a count: the nearest quotient, the even one on a tie; zero for zero.
    const Money q = a.dividedBy(n);
    if (n == 0) {
        check(q.isZero());
    } else {
        const Wide rest = absolute(Wide(q.units()) * n - a.units());
        check(2 * rest < absolute(n) || (2 * rest == absolute(n) && q.units() % 2 == 0));
    }

    for (const Money m : {sum, difference, product, whole, t, q}) {
        checkAmount(m);
    }
}

std::int64_t int64At(const uint8_t* data, size_t size, size_t offset)
{
    std::uint64_t v = 0;
    for (size_t i = offset; i < offset + 8; ++i) {
        v = v << 8 | (i < size ? data[i] : 0);
    }
    return std::int64_t(v);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    const QByteArray bytes(reinterpret_cast<const char*>(data), qsizetype(size));
    // The same bytes read as UTF-8 text and as UTF-16 code units (lone surrogates included).
    const QString utf8 = QString::fromUtf8(bytes);
    const QString utf16(reinterpret_cast<const QChar*>(bytes.constData()), bytes.size() / 2);
    for (const QString& text : {utf8, utf16}) {
        const Money m = Money::parse(text);
        checkAmount(m);
        // Parsing reads a prefix: what follows the number never changes it.
        check(Money::parse(text + QStringLiteral("x9")) == m);
    }
    // The first 24 bytes (zero-padded) as two raw amounts and a count, the whole int64 range.
    const std::int64_t a = int64At(data, size, 0);
    checkAmount(Money::fromUnits(a));
    checkArithmetic(a, int64At(data, size, 8), int64At(data, size, 16));
    return 0;
}
