// SPDX-License-Identifier: Apache-2.0
#pragma once

// Header only: for tests of windows, which link the widgets the support library does not.
#include "common/ui/messageboxprompt.h"

#include <QApplication>
#include <QElapsedTimer>
#include <QKeyEvent>
#include <QMessageBox>
#include <QProgressDialog>
#include <QTest>
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

    // As the operator goes through them: every box shown while `trigger` ran stays up for
    // `readMs` (any delayed window has time to appear), then Enter is pressed on whatever has
    // the keyboard focus; a box that Enter did not close is closed a second later.
    struct Read
    {
        QStringList texts;
        // A progress window was on screen while a box was.
        bool covered = false;
    };
    static Read read(const std::function<void()>& trigger, int readMs, Prompt* restore = nullptr)
    {
        MessageBoxPrompt screen;
        Prompt::install(&screen);
        Read read;
        QElapsedTimer clock;
        clock.start();
        QTimer poll;
        poll.setInterval(20);
        QObject::connect(&poll, &QTimer::timeout, [&] {
            const QWidgetList windows = QApplication::topLevelWidgets();
            for (QWidget* w : windows) {
                auto* box = qobject_cast<QMessageBox*>(w);
                if (box == nullptr || !box->isVisible()) {
                    continue;
                }
                // Boxes live on the stack: a later one may have an earlier one's address.
                if (!box->property("vkShownAt").isValid()) {
                    box->setProperty("vkShownAt", clock.elapsed());
                    read.texts.append(box->text());
                }
                for (QWidget* other : windows) {
                    read.covered = read.covered ||
                                   (qobject_cast<QProgressDialog*>(other) && other->isVisible());
                }
                const qint64 up = clock.elapsed() - box->property("vkShownAt").toLongLong();
                if (up >= readMs + 1000) {
                    box->reject();
                } else if (up >= readMs && !box->property("vkEntered").isValid()) {
                    box->setProperty("vkEntered", true);
                    QWidget* focus = QApplication::focusWidget();
                    QTest::keyClick(focus ? focus : box, Qt::Key_Return);
                }
                return;
            }
        });
        poll.start();
        trigger();
        Prompt::install(restore);
        return read;
    }
};
