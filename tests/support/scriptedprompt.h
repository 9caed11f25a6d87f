// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/prompt.h"

#include <QList>
#include <QString>

#include <functional>

// Answers message boxes and questions from a script and records what was asked. Installed
// for its lifetime. Unscripted questions take their default button.
class ScriptedPrompt final : public Prompt
{
public:
    struct Asked
    {
        QString text;
        QString title;
        Icon icon;
        Buttons buttons;
    };

    ScriptedPrompt();
    ~ScriptedPrompt() override;

    Answer ask(const QString& text, const QString& title, Icon icon, Buttons buttons) override;

    void answerNext(Answer a) { m_answers.append(a); }
    // The same answer to the next `times` questions.
    void answerNext(Answer a, int times)
    {
        for (int i = 0; i < times; ++i) {
            m_answers.append(a);
        }
    }
    // Runs once while the next question is open, as if something happened meanwhile.
    void whileAsking(std::function<void()> f) { m_whileAsking = std::move(f); }
    const QList<Asked>& asked() const { return m_asked; }
    QString lastText() const { return m_asked.isEmpty() ? QString() : m_asked.last().text; }
    QStringList texts() const;
    void clear() { m_asked.clear(); }

private:
    QList<Answer> m_answers;
    std::function<void()> m_whileAsking;
    QList<Asked> m_asked;
};
