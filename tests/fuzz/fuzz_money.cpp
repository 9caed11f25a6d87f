// libFuzzer target for the money parser: any text parses without a crash to an amount inside
// the saturation range, and the amount survives every text form and rounding it is put through.
#include "common/money.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <cstdlib>
#include <limits>

namespace {

// The saturation bound of amounts: a whole number of units.
constexpr std::int64_t Limit =
    std::numeric_limits<std::int64_t>::max() / 2 / Money::Scale * Money::Scale;

void check(bool ok)
{
    if (!ok) {
        std::abort();
    }
}

std::int64_t stepOf(int digits)
{
    std::int64_t step = 1;
    for (int i = digits; i < 4; ++i) {
        step *= 10;
    }
    return step;
}

void checkAmount(Money m)
{
    check(m.units() >= -Limit && m.units() <= Limit);
    // Text forms give the same amount back.
    check(Money::parse(m.toString()) == m);
    check(Money::parse(m.toFixed(4)) == m);
    check(Money::parse(m.toLabel()) == m);
    check(m.toLabel().startsWith(u' ') != m.isNegative());
    check(Money::fromVariant(QVariant(m.toString())) == m);
    for (int digits = 0; digits <= 4; ++digits) {
        const std::int64_t step = stepOf(digits);
        const Money r = m.rounded(digits);
        // Rounded lands on the grid, no further than half a step away, and stays put.
        check(r.units() % step == 0);
        const std::int64_t off =
            r.units() > m.units() ? r.units() - m.units() : m.units() - r.units();
        check(2 * off <= step);
        check(r.rounded(digits) == r);
        check(Money::parse(m.toFixed(digits)) == r);
        // Rounding is symmetric about zero (halves go to the even neighbour either way).
        check((-m).rounded(digits) == -r);
    }
    check(m.roundedWhole() * Money::Scale == m.rounded(0).units());
    // Multiplying or dividing by one changes nothing.
    check(m.times(Money::fromWhole(1)) == m);
    check(m.dividedBy(1) == m);
    check(m.dividedBy(Money()) == Money());
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
    // Eight raw bytes as an amount in ten-thousandths, clamped to the range amounts live in.
    if (size >= 8) {
        std::int64_t raw = 0;
        for (int i = 0; i < 8; ++i) {
            raw = std::int64_t(std::uint64_t(raw) << 8 | data[i]);
        }
        raw %= Limit + 1;
        checkAmount(Money::fromUnits(raw));
    }
    return 0;
}
