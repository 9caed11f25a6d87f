// SPDX-License-Identifier: Apache-2.0
// libFuzzer target for money: any text parses without a crash to an amount inside the
// saturation range, and the amount survives every text form and rounding it is put through;
// the arithmetic on arbitrary operands is free of undefined behaviour and stays inside the bound.
#include "common/money.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>

namespace {

constexpr std::int64_t Limit = Money::MaxUnits;

__extension__ typedef __int128 Wide;

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
        // Rounded lands on the grid, no further than half a step away (the unit test checks that
        // it stays put and matches the fixed text, on the amounts at the bound).
        check(r.units() % step == 0);
        check(2 * absolute(Wide(r.units()) - m.units()) <= step);
        // Rounding is symmetric about zero (halves go to the even neighbour either way).
        check((-m).rounded(digits) == -r);
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
    // The first 24 bytes (zero-padded) as two raw amounts and a count, the whole int64 range:
    // every operation is free of undefined behaviour and ends on an amount that holds as above.
    // The exact saturated results at the bounds are the unit test's table.
    const Money a = Money::fromUnits(int64At(data, size, 0));
    const Money b = Money::fromUnits(int64At(data, size, 8));
    const std::int64_t n = int64At(data, size, 16);
    for (const Money m :
         {a, a + b, a - b, a * n, Money::fromWhole(n), a.times(b), a.dividedBy(n)}) {
        checkAmount(m);
    }
    return 0;
}
