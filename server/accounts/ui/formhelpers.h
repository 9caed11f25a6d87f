// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>
#include <QString>

#include <functional>

class QDialog;
class QWidget;

// Small pieces the accounts windows share.
namespace FormHelpers {

// Object name of one member of a control array: "txtfield_3" for index 3 of "txtfield".
inline QString indexed(const char* name, int index)
{
    return QString::fromLatin1(name) + QLatin1Char('_') + QString::number(index);
}

// Enter in a box must not press a button of the window.
void noDefaultButtons(QDialog* dialog);

// Amount boxes: they hold only digits and one full stop, however the text arrives; Enter is
// swallowed; keys that type nothing (arrows, Tab, Delete) keep working.
void installAmountFilter(QWidget* box);

// Calls `onLeave` when `widget` loses the focus.
void onFocusOut(QWidget* widget, QObject* context, const std::function<void()>& onLeave);

// Selects the whole text of a line edit whenever it receives the focus.
void selectAllOnFocus(QWidget* lineEdit);

} // namespace FormHelpers
