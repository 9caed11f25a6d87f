// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/prompt.h"

// Message boxes on screen for both programs' prompts.
class MessageBoxPrompt final : public Prompt
{
public:
    // On the agent a box must rise above the lock screen, which itself stays on top.
    explicit MessageBoxPrompt(bool keepOnTop = false) : m_keepOnTop(keepOnTop) {}

    Answer ask(const QString& text, const QString& title, Icon icon, Buttons buttons) override;

private:
    bool m_keepOnTop;
};
