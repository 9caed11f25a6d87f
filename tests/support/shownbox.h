#pragma once

// Header only: for tests of windows, which link the widgets the support library does not.
#include "common/ui/messageboxprompt.h"

#include <QApplication>
#include <QKeyEvent>
#include <QMessageBox>
#include <QTimer>

#include <functional>

// What the on-screen message box showed while `trigger` ran: its text, and whether markup in
// it would be rendered. The box is closed with Escape's answer (Cancel or No); `restore` is the
// prompt installed afterwards.
struct ShownBox
{
    QString text;
    Qt::TextFormat format = Qt::AutoText;

    static ShownBox during(const std::function<void()>& trigger, Prompt* restore = nullptr)
    {
        MessageBoxPrompt screen;
        Prompt::install(&screen);
        ShownBox shown;
        QTimer poll;
        poll.setInterval(10);
        QObject::connect(&poll, &QTimer::timeout, [&shown] {
            if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
                shown = {box->text(), box->textFormat()};
                QKeyEvent escape(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier);
                QApplication::sendEvent(box, &escape);
            }
        });
        poll.start();
        trigger();
        Prompt::install(restore);
        return shown;
    }
};
