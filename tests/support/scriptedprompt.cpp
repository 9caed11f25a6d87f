// SPDX-License-Identifier: Apache-2.0
#include "support/scriptedprompt.h"

#include <QStringList>

#include <utility>

ScriptedPrompt::ScriptedPrompt()
{
    Prompt::install(this);
}

ScriptedPrompt::~ScriptedPrompt()
{
    Prompt::install(nullptr);
}

Prompt::Answer ScriptedPrompt::ask(const QString& text, const QString& title, Icon icon,
                                   Buttons buttons)
{
    m_asked.append({text, title, icon, buttons});
    if (m_whileAsking) {
        std::exchange(m_whileAsking, {})();
    }
    if (!m_answers.isEmpty()) {
        return m_answers.takeFirst();
    }
    return defaultAnswer(buttons);
}

QStringList ScriptedPrompt::texts() const
{
    QStringList out;
    for (const Asked& a : m_asked) {
        out.append(a.text);
    }
    return out;
}
