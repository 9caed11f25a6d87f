// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>

class QCheckBox;
class QLabel;
class QLineEdit;
class QWidget;

// Lets only the characters a field accepts through: typed characters other than the allowed
// ones (Enter included) are swallowed, keys that type nothing (arrows, Tab) pass.
class KeyFilter : public QObject
{
    Q_OBJECT
public:
    enum class Kind
    {
        Digits,
        Address
    };
    KeyFilter(Kind kind, QObject* parent);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    Kind m_kind;
};

// The surfing-time field with its label and the auto-logoff box, as the lock screen's options
// and the warning window both show them.
struct SurfFields
{
    QLineEdit* minutes = nullptr;    // "txtsurfto", digits only
    QLabel* label = nullptr;         // "&Surf For :", its buddy
    QCheckBox* autoLogoff = nullptr; // "chkautologoff"
};
SurfFields makeSurfFields(QWidget* parent);
