#pragma once

#include "common/prompt.h"

// Message boxes on screen for the console's prompts.
class WidgetPrompt final : public Prompt
{
public:
    Answer ask(const QString& text, const QString& title, Icon icon, Buttons buttons) override;
};
