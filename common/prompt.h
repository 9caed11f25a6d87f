// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// Every message box and question of both programs goes through here, so that tests can
// answer them and record what was said, and logic classes never touch a widget. Texts are
// plain text, shown literally: they often carry names reported by peers.
class Prompt
{
public:
    enum class Icon
    {
        None,
        Information,
        Question,
        Exclamation,
        Critical
    };
    enum class Buttons
    {
        Ok,
        OkCancel,
        YesNo,
        YesNoDefaultNo
    };
    enum class Answer
    {
        Ok,
        Cancel,
        Yes,
        No
    };

    virtual ~Prompt() = default;
    virtual Answer ask(const QString& text, const QString& title, Icon icon, Buttons buttons) = 0;

    // The active prompt; without an installed one, messages go to the error stream and
    // questions take their default button (Yes, or No where that is the default).
    static Prompt& current();
    // Installs a prompt (not owned); nullptr restores the default.
    static void install(Prompt* prompt);
    // Title used where a message names none (the program's application title).
    static void setDefaultTitle(const QString& title);
    static QString defaultTitle();

    // The answer of a box closed with its default button.
    static Answer defaultAnswer(Buttons buttons);

    static void message(const QString& text, const QString& title = {}, Icon icon = Icon::None);
    static bool yesNo(const QString& text, const QString& title, Icon icon, bool defaultNo = false);
    // Whether a file may be written at `path`: true when there is none; otherwise the operator
    // is asked (No by default, so a reflex Enter keeps it), and told `keptText` and the path
    // when the earlier file stays.
    static bool mayReplace(const QString& path, const QString& title, const QString& keptText);
};
