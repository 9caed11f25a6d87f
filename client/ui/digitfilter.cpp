// SPDX-License-Identifier: Apache-2.0
#include "client/ui/digitfilter.h"

#include "client/core/connectionrules.h"
#include "client/core/loginrules.h"
#include "common/ui/numericinput.h"

#include <QCheckBox>
#include <QKeyEvent>
#include <QLabel>
#include <QLineEdit>

KeyFilter::KeyFilter(Kind kind, QObject* parent) : QObject(parent), m_kind(kind) {}

bool KeyFilter::eventFilter(QObject* watched, QEvent* event)
{
    if (event->type() != QEvent::KeyPress) {
        return QObject::eventFilter(watched, event);
    }
    auto* key = static_cast<QKeyEvent*>(event);
    const bool backspace = key->key() == Qt::Key_Backspace;
    if (key->key() == Qt::Key_Return || key->key() == Qt::Key_Enter) {
        return true;
    }
    const QString text = key->text();
    if (backspace || text.isEmpty() || !text.at(0).isPrint() ||
        (key->modifiers() & (Qt::ControlModifier | Qt::AltModifier))) {
        return false;
    }
    const QChar c = text.at(0);
    const bool allowed = m_kind == Kind::Digits ? LoginRules::surfKeyAllowed(c, false)
                                                : ConnectionRules::addressKeyAllowed(c, false);
    return !allowed;
}

SurfFields makeSurfFields(QWidget* parent)
{
    SurfFields f;
    f.minutes = new QLineEdit(parent);
    f.minutes->setObjectName(QStringLiteral("txtsurfto"));
    f.minutes->installEventFilter(new KeyFilter(KeyFilter::Kind::Digits, f.minutes));
    NumericInput::install(f.minutes, NumericInput::Kind::Digits);
    f.label = new QLabel(QStringLiteral("&Surf For :"), parent);
    f.label->setBuddy(f.minutes);
    f.autoLogoff = new QCheckBox(
        QStringLiteral("&Auto logoff if I Cross My Approximate Surfing Time"), parent);
    f.autoLogoff->setObjectName(QStringLiteral("chkautologoff"));
    return f;
}
