// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/prepaid/membercredit.h"
#include "server/prepaid/prepaidservice.h"

#include <QString>

class AgentLink;
class Database;

// What the cashier does to prepaid time at the counter, without a window: ending a prepaid
// session from the session list (no money changes hands: the time used is paid from the
// credit held), adding credit to a running one, and topping up a member. Every question and
// refusal goes through the prompt; what the agents must hear goes through the link.
class PrepaidCounter
{
public:
    static inline const QString Title = QStringLiteral("Message");
    // "%1" is the workstation.
    static inline const QString EndQuestion = QStringLiteral(
        "End the prepaid session on %1? The time used is paid from its credit; no money is "
        "taken.");
    static inline const QString BadAmount = QStringLiteral("Enter an amount above zero.");
    static inline const QString NotRunning =
        QStringLiteral("This prepaid session is no longer running.");

    // `link` carries the messages; nullptr means AgentLink::instance() at each use.
    PrepaidCounter(Database& db, int digits, AgentLink* link = nullptr);

    // The session on that `terminals` row when it is prepaid.
    std::optional<PrepaidSession> prepaid(qint64 rowid) const;
    // Asks first; true when the session was ended and its workstation told to lock.
    bool end(qint64 rowid);
    // An amount as typed, rounded to the currency digits; nullopt unless above zero.
    std::optional<Money> amount(const QString& typed) const;
    // Adds the typed amount to the session picked (refused when its row has since changed)
    // and tells its agent the new time left.
    bool addCredit(const PrepaidSession& picked, const QString& typed);
    // A ledger credit of the typed amount on the member's account.
    bool topUp(const QString& memberId, const QString& typed);
    QString balanceText(const QString& memberId) const;
    // The service behind the counter, for its write hook.
    PrepaidService& service() { return m_service; }

private:
    void send(const QList<AgentMessage>& messages, bool dropOnFailure);

    Database& m_db;
    int m_digits;
    AgentLink* m_link;
    PrepaidService m_service;
};
