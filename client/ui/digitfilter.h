#pragma once

#include <QObject>

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
