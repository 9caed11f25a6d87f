// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QStringView>

class QObject;
class QValidator;
class QWidget;

// What a number box may hold, whatever puts the text there: a key, a paste (Ctrl+V,
// Shift+Insert, the context menu), a drop or an undo. A change whose result breaks the rule is
// refused whole, so a pasted "-5" can never arrive as "5".
namespace NumericInput {

enum class Kind
{
    Amount,  // ASCII digits with at most one "." ("", "12", "12.", ".5")
    Digits,  // ASCII digits only
    Address, // ASCII digits and "." (an IPv4 address being typed)
};

bool accepts(Kind kind, QStringView text);

// The rule as a validator; owned by `parent`.
QValidator* validator(Kind kind, QObject* parent);

// Puts the rule on a line edit or an editable combo box.
void install(QWidget* box, Kind kind);

} // namespace NumericInput
