// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/prepaidwatch.h"

#include "common/clock.h"
#include "server/core/agentlink.h"
#include "server/prepaid/prepaidservice.h"

PrepaidWatch::PrepaidWatch(PrepaidService& service, AgentLink& link, QObject* parent)
    : QObject(parent), m_service(service), m_link(link)
{
    connect(&m_timer, &QTimer::timeout, this, &PrepaidWatch::check);
}

void PrepaidWatch::start(int intervalMs)
{
    m_timer.start(intervalMs);
}

void PrepaidWatch::stop()
{
    m_timer.stop();
}

int PrepaidWatch::check()
{
    int ended = 0;
    for (const qint64 rowid : m_service.due(Clock::now())) {
        const auto s = m_service.session(rowid);
        // Another desk that runs ends its own sessions; those of a desk that is down are ended
        // here, and by any other desk too, as only one end can be written.
        if (s && !m_link.carries(s->cid) && m_link.deskRunning(s->cid)) {
            continue;
        }
        const SettleResult r = m_service.end(rowid, PrepaidEndReason::TimeUp);
        if (!r.ok) {
            continue; // ended meanwhile, or the write failed: the next round tries again
        }
        ++ended;
        // Sent after the commit; an agent that is away comes back to a locked workstation.
        m_service.deliver(&m_link, r.messages, true);
        if (s) {
            Q_EMIT logLine(QStringLiteral("Prepaid time up, Client Name - ") + s->terminal +
                           QStringLiteral(" IP -") + s->ip + QStringLiteral(", Bill No ") +
                           QString::number(r.billno));
        }
    }
    return ended;
}
