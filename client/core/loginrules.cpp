// SPDX-License-Identifier: Apache-2.0
#include "client/core/loginrules.h"

#include "client/core/agentsettings.h"
#include "common/protocol.h"

namespace {

QString withoutBlanks(const QString& text)
{
    qsizetype from = 0;
    qsizetype to = text.size();
    while (from < to && text.at(from) == u' ') {
        ++from;
    }
    while (to > from && text.at(to - 1) == u' ') {
        --to;
    }
    return text.mid(from, to - from);
}

} // namespace

LoginRules::Decision LoginRules::login(const QString& surfText, bool autoChecked,
                                       bool passwordShown, const QString& password)
{
    if (passwordShown && password.isEmpty()) {
        return {Action::AskPassword, EmptyPasswordMessage, {}};
    }
    m_settings.setAutologoff(autoChecked);
    if (!surfText.isEmpty()) {
        m_settings.setSurfupto(surfText);
    }
    if (passwordShown) {
        return {Action::CheckPassword, {}, passwordMessage(password)};
    }
    return {Action::LocalLogin, {}, Proto::SendTime};
}

QByteArray LoginRules::passwordMessage(const QString& password)
{
    return Proto::checkPassword(withoutBlanks(password));
}

bool LoginRules::warningSurfChanged(const QString& text, qint64 elapsedMinutes)
{
    if (text.isEmpty()) {
        return false;
    }
    const qint64 minutes = AgentSettings::leadingNumber(text);
    if (minutes <= elapsedMinutes) {
        return false;
    }
    m_settings.setSurfupto(QString::number(minutes));
    return true;
}

bool LoginRules::warningAutoToggled(bool checked, const QString& surfText)
{
    if (checked && surfText.isEmpty()) {
        return false;
    }
    m_settings.setAutologoff(checked);
    return true;
}
