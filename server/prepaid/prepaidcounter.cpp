// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/prepaidcounter.h"

#include "common/prompt.h"
#include "server/core/agentlink.h"
#include "server/core/database.h"

PrepaidCounter::PrepaidCounter(Database& db, int digits, AgentLink* link)
    : m_db(db), m_digits(digits), m_link(link), m_service(db, digits)
{
}

std::optional<PrepaidSession> PrepaidCounter::prepaid(qint64 rowid) const
{
    return m_service.session(rowid);
}

bool PrepaidCounter::end(qint64 rowid)
{
    const std::optional<PrepaidSession> s = m_service.session(rowid);
    if (!s) {
        Prompt::message(NotRunning, Title, Prompt::Icon::Information);
        return false;
    }
    if (!Prompt::yesNo(EndQuestion.arg(s->terminal), Title, Prompt::Icon::Question)) {
        return false;
    }
    // The list's row may have been ended and its rowid reused while the question was open.
    const SettleResult result =
        m_service.end(rowid, PrepaidEndReason::Cashier, s->sstart, s->terminal);
    if (!result.ok) {
        Prompt::message(result.error, Title, Prompt::Icon::Critical);
        return false;
    }
    send(result.messages, true);
    return true;
}

std::optional<Money> PrepaidCounter::amount(const QString& typed) const
{
    const QString text = typed.trimmed();
    bool number = false;
    text.toDouble(&number);
    const Money m = Money::parse(text).rounded(m_digits);
    if (!number || m <= Money()) {
        return std::nullopt;
    }
    return m;
}

bool PrepaidCounter::addCredit(const PrepaidSession& picked, const QString& typed)
{
    const std::optional<Money> m = amount(typed);
    if (!m) {
        Prompt::message(BadAmount, Title, Prompt::Icon::Exclamation);
        return false;
    }
    QString error;
    QList<AgentMessage> out;
    if (!m_service.addCredit(picked.rowid, *m, &error, &out, picked.sstart, picked.terminal)) {
        Prompt::message(error, Title, Prompt::Icon::Critical);
        return false;
    }
    // The credit is added whether or not the agent hears it now: it is told again when it
    // comes back.
    send(out, false);
    return true;
}

bool PrepaidCounter::topUp(const QString& memberId, const QString& typed)
{
    const std::optional<Money> m = amount(typed);
    if (!m) {
        Prompt::message(BadAmount, Title, Prompt::Icon::Exclamation);
        return false;
    }
    QString error;
    if (!MemberCredit(m_db).topUp(memberId, *m, &error)) {
        Prompt::message(error, Title, Prompt::Icon::Critical);
        return false;
    }
    return true;
}

QString PrepaidCounter::balanceText(const QString& memberId) const
{
    return MemberCredit(m_db).balance(memberId).toFixed(m_digits);
}

void PrepaidCounter::send(const QList<AgentMessage>& messages, bool dropOnFailure)
{
    m_service.deliver(m_link ? m_link : AgentLink::instance(), messages, dropOnFailure);
}
