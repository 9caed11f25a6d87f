#pragma once

#include "common/prompt.h"

// The agent's message boxes: always above the lock screen, which itself stays on top.
class AgentPrompt final : public Prompt
{
public:
    Answer ask(const QString& text, const QString& title, Icon icon, Buttons buttons) override;
};
