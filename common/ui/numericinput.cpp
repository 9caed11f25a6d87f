// SPDX-License-Identifier: Apache-2.0
#include "common/ui/numericinput.h"

#include <QComboBox>
#include <QLineEdit>
#include <QValidator>

namespace {

bool asciiDigit(QChar c)
{
    return c >= QLatin1Char('0') && c <= QLatin1Char('9');
}

class RuleValidator final : public QValidator
{
public:
    RuleValidator(NumericInput::Kind kind, QObject* parent) : QValidator(parent), m_kind(kind) {}

    // Every prefix of an acceptable text is acceptable, so nothing is ever intermediate.
    State validate(QString& input, int&) const override
    {
        return NumericInput::accepts(m_kind, input) ? Acceptable : Invalid;
    }

private:
    NumericInput::Kind m_kind;
};

} // namespace

bool NumericInput::accepts(Kind kind, QStringView text)
{
    int points = 0;
    for (QChar c : text) {
        if (asciiDigit(c)) {
            continue;
        }
        if (c != QLatin1Char('.') || kind == Kind::Digits) {
            return false;
        }
        ++points;
    }
    return kind != Kind::Amount || points <= 1;
}

QValidator* NumericInput::validator(Kind kind, QObject* parent)
{
    return new RuleValidator(kind, parent);
}

void NumericInput::install(QWidget* box, Kind kind)
{
    if (auto* combo = qobject_cast<QComboBox*>(box)) {
        combo->setValidator(validator(kind, combo));
    } else if (auto* edit = qobject_cast<QLineEdit*>(box)) {
        edit->setValidator(validator(kind, edit));
    }
}
