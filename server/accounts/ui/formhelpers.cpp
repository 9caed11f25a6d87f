// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/ui/formhelpers.h"

#include "common/ui/numericinput.h"

#include <QDialog>
#include <QEvent>
#include <QFocusEvent>
#include <QKeyEvent>
#include <QLineEdit>
#include <QPushButton>
#include <QTimer>

#include <functional>

namespace {

// Enter in an amount box must not reach the window's buttons.
class EnterFilter : public QObject
{
public:
    using QObject::QObject;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::KeyPress) {
            const int key = static_cast<QKeyEvent*>(event)->key();
            if (key == Qt::Key_Return || key == Qt::Key_Enter) {
                return true;
            }
        }
        return QObject::eventFilter(watched, event);
    }
};

class FocusFilter : public QObject
{
public:
    FocusFilter(QObject* parent, std::function<void()> onOut, bool selectAll)
        : QObject(parent), m_onOut(std::move(onOut)), m_selectAll(selectAll)
    {
    }

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::FocusOut && m_onOut) {
            // Opening the drop-down or a message box is not leaving the box.
            const auto reason = static_cast<QFocusEvent*>(event)->reason();
            if (reason != Qt::PopupFocusReason && reason != Qt::ActiveWindowFocusReason) {
                m_onOut();
            }
        } else if (event->type() == QEvent::FocusIn && m_selectAll) {
            if (auto* e = qobject_cast<QLineEdit*>(watched)) {
                // After the click that gave the focus has placed the caret.
                QTimer::singleShot(0, e, [e] { e->selectAll(); });
            }
        }
        return QObject::eventFilter(watched, event);
    }

private:
    std::function<void()> m_onOut;
    bool m_selectAll;
};

} // namespace

void FormHelpers::noDefaultButtons(QDialog* dialog)
{
    for (QPushButton* b : dialog->findChildren<QPushButton*>()) {
        b->setAutoDefault(false);
        b->setDefault(false);
    }
}

void FormHelpers::installAmountFilter(QWidget* box)
{
    box->installEventFilter(new EnterFilter(box));
    NumericInput::install(box, NumericInput::Kind::Amount);
}

void FormHelpers::onFocusOut(QWidget* widget, QObject* context,
                             const std::function<void()>& onLeave)
{
    widget->installEventFilter(new FocusFilter(context, onLeave, false));
}

void FormHelpers::selectAllOnFocus(QWidget* lineEdit)
{
    lineEdit->installEventFilter(new FocusFilter(lineEdit, {}, true));
}
