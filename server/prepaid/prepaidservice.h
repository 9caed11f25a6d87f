// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"
#include "common/protocol.h"
#include "server/sessions/sessionservice.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class AgentLink;
class Database;

// How a session is paid: at the end (as ever), from a ticket or from a member's credit. The
// values are those of the `terminals.prepaid` column.
enum class PrepaidKind
{
    None = 0,
    Ticket = 1,
    Member = 2
};

// A running prepaid session: one `terminals` row with its prepaid columns.
struct PrepaidSession
{
    qint64 rowid = 0;
    QString terminal;
    QString ip;
    qint64 cid = 0;
    PrepaidKind kind = PrepaidKind::None;
    QString account; // the ticket's code or the member's id
    QString category;
    QDateTime sstart;
    QDateTime timeup;
    Money credit; // held: the most the session may deduct
};

struct PrepaidLoginResult
{
    bool ok = false;
    QString refusal; // the text the customer is shown when not ok
    qint64 rowid = 0;
    QList<AgentMessage> messages; // PREPAID_TIME + STARTSESSION, or the refusal
};

enum class PrepaidEndReason
{
    LoggedOff,
    TimeUp,
    Cashier
};

// Starts prepaid sessions from a ticket or a member's credit at the workstation's lock screen,
// and ends them with their bill and the deduction in one transaction. The console, not the
// agent, decides when the time is up: due() lists the sessions whose held credit has run out.
class PrepaidService
{
public:
    // The refusals the customer sees. NotAccepted covers every wrong, unknown, expired, used
    // up, voided or busy code and every wrong member id or password alike, so a guesser learns
    // nothing from the answer.
    static const QString NotAccepted;
    static const QString TooManyAttempts;
    static const QString AccountInUse;
    static const QString NotEnoughCredit;
    static const QString NotFree;

    PrepaidService(Database& db, int digits, const QString& settingsFile = {});

    // Checks the credentials and moves the workstation on connection `index` from `online` to
    // a prepaid session in one transaction. `address` is for the log only; throttling is the
    // link's.
    PrepaidLoginResult login(qint64 index, const QString& address,
                             const Proto::PrepaidCredentials& credentials);
    // Bills the session priced to min(now, timeup), never above the credit held, deducts it
    // (ticket credit, or the member's ledger debit), puts the workstation back in `online`
    // locked and removes the session: all in one transaction. A row that changed meanwhile is
    // refused like settle() does: one that is gone, or, when `picked` (and `terminal`) are
    // given, one that no longer started then (on that workstation). The messages lock the agent.
    SettleResult end(qint64 rowid, PrepaidEndReason why, const QDateTime& picked = {},
                     const QString& terminal = {});

    std::optional<PrepaidSession> session(qint64 rowid) const;
    std::optional<PrepaidSession> sessionOn(qint64 index) const;
    QList<PrepaidSession> running() const;
    // The sessions whose time is up at `now`.
    QList<qint64> due(const QDateTime& now) const;
    Proto::PrepaidTimeLeft timeLeft(const PrepaidSession& s, const QDateTime& now) const;
    // What an agent coming back to its running prepaid session is sent: PREPAID_TIME, then
    // STARTSESSION.
    QList<AgentMessage> resumeMessages(const PrepaidSession& s) const;
    // Sells more on the session's ticket (a sale bill) or tops up the member, then holds the
    // new credit and moves the time up; `out` gets the PREPAID_TIME for the agent. `picked`
    // and `terminal` refuse a row that changed meanwhile, as for end().
    bool addCredit(qint64 rowid, Money amount, QString* error, QList<AgentMessage>* out,
                   const QDateTime& picked = {}, const QString& terminal = {});

    // Sends the messages through `link` (nullptr: no link). When an agent cannot be reached
    // and the messages are those of an end, the `online` row the end wrote for it goes: it is
    // not ready until it connects again.
    void deliver(AgentLink* link, const QList<AgentMessage>& messages, bool ended) const;

    // Test hook: called after each write of end() with its ordinal (1, 2, ...); returning
    // false makes that write count as failed.
    void setWriteHook(std::function<bool(int)> hook) { m_writeHook = std::move(hook); }

    int digits() const { return m_digits; }

private:
    bool write(int& n, const QString& sql, const QVariantList& params);
    bool wrote(int& n);
    bool claimAccount(const PrepaidSession& s);
    bool addCreditInside(qint64 rowid, Money add, PrepaidSession& s, QString* why,
                         const QDateTime& picked, const QString& terminal);
    // The credit to hold and the time it runs out, for a session of `category` from `start`.
    QDateTime timeupFor(const QString& category, const QDateTime& start, Money credit) const;
    Money price(const QString& category, const QDateTime& start, const QDateTime& end) const;

    Database& m_db;
    int m_digits;
    QString m_settingsFile;
    std::function<bool(int)> m_writeHook;
};
