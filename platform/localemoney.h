// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>
#include <QStringList>

// Money conventions of the user's regional settings (the monetary part of the locale the
// environment selects), read afresh at each call without changing the program's own locale.
namespace LocaleMoney {

struct MonetaryFormat
{
    QString currencySymbol;     // "₹", "$", "" when the locale names none
    QString decimalSeparator;   // monetary decimal separator
    QString thousandsSeparator; // monetary digit grouping symbol
    QString grouping;           // group sizes as "3;0" (threes repeated) or "3;2;0" or "3"
    int digits = 2;             // digits behind the decimal separator
    QString negativeSign;
    QString positiveSign;
};

// The currency digits; 2 when the locale does not say.
int currencyDigits();

MonetaryFormat monetaryFormat();

// The regional list the options window shows, item by item: the five monetary items, then the
// first day of the week, the number symbols, the date and time formats and the day and month
// names (Monday and January first), each as "<what>: <value>".
QStringList regionalList();

} // namespace LocaleMoney
