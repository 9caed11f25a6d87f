// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/prepaidlink.h"

#include "common/clock.h"
#include "server/core/agentlink.h"
#include "server/prepaid/prepaidservice.h"

PrepaidLink::PrepaidLink(PrepaidService& service, AgentLink& link, QObject* parent)
    : QObject(parent), m_service(service), m_link(link)
{
}

void PrepaidLink::send(const QList<AgentMessage>& messages)
{
    for (const AgentMessage& m : messages) {
        if (m.index > 0) {
            m_link.send(m.index, m.bytes);
        }
    }
}

void PrepaidLink::login(qint64 index, const QString& address, const QString& value)
{
    const QDateTime now = Clock::now();
    if (!m_throttle.allowed(address, now)) {
        // Held back unseen: the same answer whatever was sent.
        send({{index, Proto::prepaidRefused(PrepaidService::TooManyAttempts)}});
        return;
    }
    const auto credentials = Proto::parsePrepaidLogin(value);
    PrepaidLoginResult r;
    if (credentials) {
        r = m_service.login(index, address, *credentials);
    } else {
        r.refusal = PrepaidService::NotAccepted;
        r.messages = {{index, Proto::prepaidRefused(r.refusal)}};
    }
    // Only a guess counts against the address, and only an accepted login starts the count
    // afresh. A right password that is refused all the same (no credit, account busy) must not:
    // whoever owns an empty account could otherwise reset the count between guesses at others.
    const bool guess = !r.ok && r.refusal == PrepaidService::NotAccepted;
    if (!r.ok && !guess && r.refusal == PrepaidService::NotFree) {
        send(r.messages);
        return;
    }
    if (!r.ok && !guess) {
        Q_EMIT logLine(QStringLiteral("Prepaid Login Refused, IP -") + address);
        send(r.messages);
        return;
    }
    if (const qint64 wait = m_throttle.record(address, r.ok, now); wait > 0) {
        Q_EMIT logLine(QStringLiteral("Too many wrong prepaid logins from IP -") + address +
                       QStringLiteral(", logins held back for ") + QString::number(wait) +
                       QStringLiteral(" seconds"));
    }
    if (r.ok) {
        if (const auto s = m_service.session(r.rowid)) {
            Q_EMIT logLine(QStringLiteral("Prepaid Session Started, Client Name - ") + s->terminal +
                           QStringLiteral(" IP -") + address);
        }
    } else {
        Q_EMIT logLine(QStringLiteral("Prepaid Login Refused, IP -") + address);
    }
    send(r.messages);
}

bool PrepaidLink::loggedOff(qint64 index)
{
    const auto s = m_service.sessionOn(index);
    if (!s) {
        return false;
    }
    const SettleResult r = m_service.end(s->rowid, PrepaidEndReason::LoggedOff);
    if (r.ok) {
        Q_EMIT logLine(QStringLiteral("Prepaid Session Ended, Client Name - ") + s->terminal +
                       QStringLiteral(" IP -") + s->ip + QStringLiteral(", Bill No ") +
                       QString::number(r.billno));
        send(r.messages);
    }
    return true;
}

bool PrepaidLink::resumed(qint64 index)
{
    const auto s = m_service.sessionOn(index);
    if (!s) {
        return false;
    }
    // Its time ran out while the console was away: it ends now, and the agent only ever hears
    // the lock (a resume would unlock it until the watch's next round).
    if (s->timeup.isValid() && s->timeup <= Clock::now()) {
        const SettleResult r = m_service.end(s->rowid, PrepaidEndReason::TimeUp);
        if (r.ok) {
            Q_EMIT logLine(QStringLiteral("Prepaid time up, Client Name - ") + s->terminal +
                           QStringLiteral(" IP -") + s->ip + QStringLiteral(", Bill No ") +
                           QString::number(r.billno));
            send(r.messages);
        } else {
            send({{index, Proto::Lock}});
        }
        return true;
    }
    send(m_service.resumeMessages(*s));
    return true;
}
