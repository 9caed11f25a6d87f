// SPDX-License-Identifier: Apache-2.0
#include "common/prompt.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

namespace {

class StreamPrompt final : public Prompt
{
public:
    Answer ask(const QString& text, const QString& title, Icon, Buttons buttons) override
    {
        QTextStream(stderr) << title << ": " << text << '\n';
        return defaultAnswer(buttons);
    }
};

StreamPrompt g_stream;
Prompt* g_current = nullptr;
QString g_title;

} // namespace

Prompt::Answer Prompt::defaultAnswer(Buttons buttons)
{
    switch (buttons) {
    case Buttons::Ok:
    case Buttons::OkCancel:
        return Answer::Ok;
    case Buttons::YesNo:
        return Answer::Yes;
    case Buttons::YesNoDefaultNo:
        return Answer::No;
    }
    return Answer::Ok;
}

Prompt& Prompt::current()
{
    return g_current ? *g_current : static_cast<Prompt&>(g_stream);
}

void Prompt::install(Prompt* prompt)
{
    g_current = prompt;
}

void Prompt::setDefaultTitle(const QString& title)
{
    g_title = title;
}

QString Prompt::defaultTitle()
{
    return g_title;
}

void Prompt::message(const QString& text, const QString& title, Icon icon)
{
    current().ask(text, title.isNull() ? g_title : title, icon, Buttons::Ok);
}

bool Prompt::yesNo(const QString& text, const QString& title, Icon icon, bool defaultNo)
{
    return current().ask(text, title, icon, defaultNo ? Buttons::YesNoDefaultNo : Buttons::YesNo) ==
           Answer::Yes;
}

bool Prompt::mayReplace(const QString& path, const QString& title, const QString& keptText)
{
    if (!QFileInfo::exists(path)) {
        return true;
    }
    const QString shown = QDir::toNativeSeparators(path);
    if (yesNo(QStringLiteral("The file ") + shown +
                  QStringLiteral(" already exists. Do you want to replace it?"),
              title, Icon::Question, true)) {
        return true;
    }
    message(keptText + shown + QStringLiteral(" is left as it was."), title, Icon::Information);
    return false;
}
