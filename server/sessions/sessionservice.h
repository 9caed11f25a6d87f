// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"
#include "common/protocol.h"

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class Database;

// One message for the agent on the connection with that index.
struct AgentMessage
{
    qint64 index = 0;
    QByteArray bytes;
};

// A ready workstation: one `online` row.
struct OnlineRow
{
    qint64 rowid = 0;
    QString name;
    QString ip;
    qint64 id = 0;
};

// A running session: one `terminals` row.
struct SessionRow
{
    qint64 rowid = 0;
    QString terminal;
    QString ip;
    qint64 cid = 0;
    QDateTime sstart;
    QDateTime send;
    QString user;
    QString memberid;
    QString password;
    Money amtreceived;
    bool logout = false;
    qint64 logouttime = 0;
    int logouttype = 0;
    bool maintains = false;
    bool autologout = false;
    bool passwordWait = false; // opened only once the password is given at the workstation
};

struct MemberRow
{
    QString memberid;
    QString password;
    QString category;
};

// What the workstation does once its session ends (or its automatic logout fires).
enum class CloseAction
{
    None = 0,
    Lock = 1,
    Shutdown = 2,
    Restart = 3
};

struct StartRequest
{
    QString terminal;            // text of the workstation picker
    QString category;            // text of the category picker
    QString memberId;            // text of the member picker
    QString memberPassword;      // the member's stored password held by the window
    QString typedPassword;       // what the cashier typed
    bool passwordByUser = false; // the member types the password at the workstation
    QString amountReceived = QStringLiteral("0.00");
    bool optionsInClient = false;
    bool maintenance = false;
    bool autoLogout = false;
    QString autoLogoutMinutes = QStringLiteral("0");
    CloseAction closeAction = CloseAction::Lock;
};

// A refusal of the cashier's input, with the message box that tells it.
struct Refusal
{
    enum class Field
    {
        None,
        Terminal,
        Category,
        Member,
        Password,
        AutoLogout,
        Source,
        Destination
    };
    QString text;
    bool stopIcon = false;
    Field field = Field::None;
};

struct StartResult
{
    bool ok = false;
    qint64 index = 0;
    QList<AgentMessage> messages; // to send in order; empty for the console's own row
};

struct SettleRequest
{
    qint64 sessionRowid = 0;
    QDateTime sstart;  // as picked: the settlement refuses a row that changed meanwhile
    QDateTime send;    // the end the bill was priced to; invalid takes the row's own
    QString duration;  // the duration label
    QString userLabel; // category, or "Maintaining"
    Money received;
    Money charge;
    Money other;
    Money net;
    CloseAction action = CloseAction::Lock;
    bool print = false;
};

struct SettleResult
{
    bool ok = false;
    QString error;
    qint64 billno = 0; // 0 for a maintenance session, which takes no number
    bool print = false;
    qint64 index = 0;
    QList<AgentMessage> messages;
};

struct TransferResult
{
    bool ok = false;
    QString error;
    QList<AgentMessage> messages; // destination's first, then the source's
};

// Starts, settles and transfers sessions. Each action is one database transaction; the
// messages for the agents come back to the caller, which sends them after the commit.
class SessionService
{
public:
    explicit SessionService(Database& db);

    static const QString StartLabel;
    static const QString EndLabel;
    // Refusal of a settlement with an amount below zero: a negative net would credit the
    // member's ledger instead of debiting it.
    static const QString NegativeAmount;
    static const QString TransferLabel;
    // Counts the ready rows of (index, name): whether an ended session's row is listed again.
    static const QString OnlineRowCount;

    // Pickers: the first row whose name, trimmed, equals the trimmed text.
    std::optional<OnlineRow> findOnline(const QString& name) const;
    std::optional<SessionRow> findSession(const QString& terminal) const;
    std::optional<SessionRow> sessionByRowid(qint64 rowid) const;
    std::optional<MemberRow> findMember(const QString& memberId) const;
    bool categoryExists(const QString& category) const;
    // The category's name as stored, for a text that matches it trimmed and in any case.
    std::optional<QString> findCategory(const QString& category) const;
    QStringList onlineNames() const;
    QStringList sessionNames() const;
    QStringList categoryNames() const;
    QStringList memberIds() const;

    // The first failing guard of the start button, in order of priority.
    std::optional<Refusal> checkStart(const StartRequest& req) const;
    static const QString MemberBusy;
    // Writes the session and removes the workstation from `online` in one transaction.
    StartResult start(const StartRequest& req);
    // The messages a start sends to an agent on `index` (none for index 0).
    static QList<AgentMessage> startMessages(const StartRequest& req, qint64 index);
    // The session is opened only once its password is given at the workstation.
    static bool opensWithPassword(const StartRequest& req);

    // The row with its end fixed at the current time (an automatic logout keeps its own), for
    // pricing. Nothing is written: until the bill is saved the session runs on untouched, so
    // a pick the cashier changes or abandons leaves no trace.
    std::optional<SessionRow> fixEnd(qint64 rowid) const;

    // Records the bill and ends the session, all or nothing. A prepaid session is refused:
    // its bill is made by its own ending, which also deducts it.
    SettleResult settle(const SettleRequest& req);
    static const QString PrepaidRefusal;
    // Takes the number for a bill inside the transaction that writes it: `defalt.billno`
    // moves past it at once and stays held until the commit, so two bills never share one and
    // a rollback leaves no gap. Taken after every other row the write holds. nullopt when
    // unreadable.
    static std::optional<qint64> takeBillNumber(Database& db);
    static QByteArray endMessage(CloseAction action);

    // Moves the session to the ready workstation `destination`, and that workstation's
    // `online` row to the session's old one, in one transaction.
    TransferResult transfer(qint64 sessionRowid, const QString& destination);
    static QList<AgentMessage> transferMessages(const SessionRow& moved, qint64 destinationIndex,
                                                qint64 sourceIndex);

    // A session paid in advance at `now`: the seconds to its time up and the credit held less
    // the price of the time used so far (rounded to `digits` as a bill is).
    static Proto::PrepaidTimeLeft prepaidTimeLeft(Database& db, const QString& category,
                                                  const QDateTime& sstart, const QDateTime& timeup,
                                                  Money credit, const QDateTime& now, int digits);

    // Test hook: called after each write of a settlement with its ordinal (1, 2, ...);
    // returning false makes that write count as failed.
    void setWriteHook(std::function<bool(int)> hook) { m_writeHook = std::move(hook); }

private:
    bool write(int& n, const QString& sql, const QVariantList& params);
    bool wrote(int& n);
    static SessionRow sessionFrom(const class QSqlRecord& r);

    Database& m_db;
    std::function<bool(int)> m_writeHook;
};
