// SPDX-License-Identifier: Apache-2.0
#include "platform/localemoney.h"

#include <QLocale>

#include <climits>
#include <clocale>
#include <locale.h>

namespace {

QString text(const char* s)
{
    return s ? QString::fromLocal8Bit(s) : QString();
}

// C lists group sizes from the decimal point outwards, ending with 0 (repeat the last) or
// CHAR_MAX (no more grouping); the regional settings write "3;0" and "3" for the same.
QString groupingText(const char* g)
{
    QStringList sizes;
    bool repeat = false;
    if (g) {
        for (; *g; ++g) {
            if (*g == CHAR_MAX || *g < 0) {
                break;
            }
            sizes << QString::number(int(*g));
        }
        repeat = *g == 0 && !sizes.isEmpty();
    }
    if (sizes.isEmpty()) {
        return QStringLiteral("0");
    }
    while (repeat && sizes.size() > 1 && sizes.last() == sizes.at(sizes.size() - 2)) {
        sizes.removeLast();
    }
    if (repeat) {
        sizes << QStringLiteral("0");
    }
    return sizes.join(QLatin1Char(';'));
}

} // namespace

LocaleMoney::MonetaryFormat LocaleMoney::monetaryFormat()
{
    MonetaryFormat f;
    // A locale of this thread only: the program's global locale (and with it the C library's
    // number parsing and printing) is never switched, not even for a moment.
    locale_t loc = newlocale(LC_MONETARY_MASK, "", locale_t(nullptr));
    if (!loc) {
        loc = newlocale(LC_MONETARY_MASK, "C", locale_t(nullptr));
    }
    if (!loc) {
        return f;
    }
    const locale_t previous = uselocale(loc);
    const lconv* lc = localeconv();
    if (lc) {
        f.currencySymbol = text(lc->currency_symbol);
        f.decimalSeparator = text(lc->mon_decimal_point);
        f.thousandsSeparator = text(lc->mon_thousands_sep);
        f.grouping = groupingText(lc->mon_grouping);
        f.digits = (lc->frac_digits == CHAR_MAX || lc->frac_digits < 0) ? 2 : int(lc->frac_digits);
        f.negativeSign = text(lc->negative_sign);
        f.positiveSign = text(lc->positive_sign);
    }
    uselocale(previous);
    freelocale(loc);
    return f;
}

int LocaleMoney::currencyDigits()
{
    return monetaryFormat().digits;
}

QStringList LocaleMoney::regionalList()
{
    const MonetaryFormat m = monetaryFormat();
    QStringList items;
    items << QStringLiteral(" Local curency symbol: ") + m.currencySymbol
          << QStringLiteral(" Decimal separator: ") + m.decimalSeparator
          << QStringLiteral(" Thousand separator: ") + m.thousandsSeparator
          << QStringLiteral(" Number of digits in group: ") + m.grouping
          << QStringLiteral(" Number of digits behind the Decimal separator: ") +
                 QString::number(m.digits);
    // The rest in words, as the desktop's regional settings would name them.
    const QLocale locale = QLocale::system();
    const auto names = [](auto&& name, int count) {
        QStringList out;
        for (int i = 1; i <= count; ++i) {
            out << name(i);
        }
        return out.join(QStringLiteral(", "));
    };
    items << QStringLiteral(" First day of the week: ") + locale.dayName(locale.firstDayOfWeek())
          << QStringLiteral(" Decimal symbol: ") + locale.decimalPoint()
          << QStringLiteral(" Digit grouping symbol: ") + locale.groupSeparator()
          << QStringLiteral(" Short date format: ") + locale.dateFormat(QLocale::ShortFormat)
          << QStringLiteral(" Long date format: ") + locale.dateFormat(QLocale::LongFormat)
          << QStringLiteral(" Time format: ") + locale.timeFormat(QLocale::ShortFormat)
          << QStringLiteral(" Day names: ") + names([&](int i) { return locale.dayName(i); }, 7)
          << QStringLiteral(" Short day names: ") +
                 names([&](int i) { return locale.dayName(i, QLocale::ShortFormat); }, 7)
          << QStringLiteral(" Month names: ") +
                 names([&](int i) { return locale.monthName(i); }, 12)
          << QStringLiteral(" Short month names: ") +
                 names([&](int i) { return locale.monthName(i, QLocale::ShortFormat); }, 12);
    return items;
}
