// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/sessionservice.h"

#include "common/clock.h"
#include "common/errorlog.h"
#include "common/protocol.h"
#include "common/timesplit.h"
#include "platform/localemoney.h"
#include "server/core/agentlink.h"
#include "server/core/claims.h"
#include "server/core/database.h"
#include "server/sessions/charge.h"

#include <QSqlRecord>

const QString SessionService::StartLabel = QStringLiteral("frmsessionstart cmdstart_Click");
const QString SessionService::EndLabel = QStringLiteral("frmsessionend cmdend_Click");
const QString SessionService::TransferLabel = QStringLiteral("frmsessiontran cmdtransfer_Click");
const QString SessionService::MemberBusy =
    QStringLiteral("This member already has a running session.");

namespace {

const QString SessionColumns = QStringLiteral(
    "rowid, terminal, ip, cid, sstart, send, \"user\", memberid, Password, amtreceived, logout, "
    "logouttime, logouttype, maintains, AUTOLOGOUT, passwordwait");

QVariant moneyOrNull(Money m)
{
    return m > Money() ? m.toVariant() : QVariant();
}

QVariant textOrNull(const QString& s)
{
    return s.isEmpty() ? QVariant() : QVariant(s);
}

// The first bill number from `from` on that no bill and no job-work line carries yet. A
// number set back onto housekept bills may still have their job-work lines (databases
// housekept before the lines went with their bills): a new bill on it would print them.
// Skipping leaves a gap in the numbers but keeps every stored row; a free number is either
// `from` itself or one past a used number.
QVariant firstFreeBillNumber(Database& db, qint64 from)
{
    return db.scalar(
        QStringLiteral("SELECT min(c) FROM (SELECT CAST(? AS BIGINT) AS c UNION SELECT billno + 1 "
                       "FROM jobwork_details WHERE billno >= ? UNION SELECT billno + 1 FROM "
                       "history WHERE billno >= ?) AS candidates WHERE NOT EXISTS (SELECT 1 FROM "
                       "jobwork_details "
                       "WHERE billno = c) AND NOT EXISTS (SELECT 1 FROM history WHERE billno = c)"),
        {from, from, from}, SessionService::EndLabel);
}

} // namespace

// Index 0 is every desk's own computer: only its name tells whose row it is.
const QString SessionService::OnlineRowCount =
    QStringLiteral("SELECT count(*) FROM online WHERE id = ? AND (id <> 0 OR name = ?)");

namespace {

// Whole minutes typed in a box that takes only digits; absurd values saturate.
qint64 wholeMinutes(const QString& text)
{
    return Money::parse(text).units() / Money::Scale;
}

} // namespace

SessionService::SessionService(Database& db) : m_db(db) {}

bool SessionService::opensWithPassword(const StartRequest& req)
{
    // The window always shows the options with it, but a request without them must not open
    // the session with no password asked at all.
    return !req.maintenance && req.passwordByUser;
}

SessionRow SessionService::sessionFrom(const QSqlRecord& r)
{
    SessionRow s;
    s.rowid = r.value(QStringLiteral("rowid")).toLongLong();
    s.terminal = r.value(QStringLiteral("terminal")).toString();
    s.ip = r.value(QStringLiteral("ip")).toString();
    s.cid = r.value(QStringLiteral("cid")).toLongLong();
    s.sstart = Database::parseTime(r.value(QStringLiteral("sstart")));
    s.send = Database::parseTime(r.value(QStringLiteral("send")));
    s.user = r.value(QStringLiteral("user")).toString();
    s.memberid = r.value(QStringLiteral("memberid")).toString();
    s.password = r.value(QStringLiteral("Password")).toString();
    s.amtreceived = Money::fromVariant(r.value(QStringLiteral("amtreceived")));
    s.logout = r.value(QStringLiteral("logout")).toLongLong() != 0;
    s.logouttime = Money::fromVariant(r.value(QStringLiteral("logouttime"))).units() / Money::Scale;
    s.logouttype = r.value(QStringLiteral("logouttype")).toInt();
    s.maintains = r.value(QStringLiteral("maintains")).toLongLong() != 0;
    s.autologout = r.value(QStringLiteral("AUTOLOGOUT")).toLongLong() != 0;
    s.passwordWait = r.value(QStringLiteral("passwordwait")).toLongLong() != 0;
    return s;
}

std::optional<OnlineRow> SessionService::findOnline(const QString& name) const
{
    const QString want = name.trimmed();
    if (want.isEmpty()) {
        return std::nullopt;
    }
    for (const QSqlRecord& r : m_db.rows(QStringLiteral("SELECT rowid, name, ip, id FROM online "
                                                        "ORDER BY rowid"))) {
        if (r.value(1).toString().trimmed() == want) {
            return OnlineRow{r.value(0).toLongLong(), r.value(1).toString(), r.value(2).toString(),
                             r.value(3).toLongLong()};
        }
    }
    return std::nullopt;
}

std::optional<SessionRow> SessionService::findSession(const QString& terminal) const
{
    const QString want = terminal.trimmed();
    if (want.isEmpty()) {
        return std::nullopt;
    }
    for (const QSqlRecord& r : m_db.rows(QStringLiteral("SELECT ") + SessionColumns +
                                         QStringLiteral(" FROM terminals ORDER BY rowid"))) {
        if (r.value(QStringLiteral("terminal")).toString().trimmed() == want) {
            return sessionFrom(r);
        }
    }
    return std::nullopt;
}

std::optional<SessionRow> SessionService::sessionByRowid(qint64 rowid) const
{
    const auto r = m_db.firstRow(QStringLiteral("SELECT ") + SessionColumns +
                                     QStringLiteral(" FROM terminals WHERE rowid = ?"),
                                 {rowid});
    if (!r) {
        return std::nullopt;
    }
    return sessionFrom(*r);
}

std::optional<MemberRow> SessionService::findMember(const QString& memberId) const
{
    if (memberId.isEmpty()) {
        return std::nullopt;
    }
    const auto r = m_db.firstRow(
        QStringLiteral("SELECT memberid, Password, category FROM members WHERE memberid = ?"),
        {memberId});
    if (!r) {
        return std::nullopt;
    }
    return MemberRow{r->value(0).toString(), r->value(1).toString(), r->value(2).toString()};
}

bool SessionService::categoryExists(const QString& category) const
{
    return findCategory(category).has_value();
}

std::optional<QString> SessionService::findCategory(const QString& category) const
{
    if (category.trimmed().isEmpty()) {
        return std::nullopt;
    }
    const auto r = m_db.firstRow(QStringLiteral("SELECT \"user\" FROM user_category WHERE "
                                                "lower(trim(\"user\")) = lower(?) ORDER BY rowid"),
                                 {category.trimmed()});
    if (!r) {
        return std::nullopt;
    }
    return r->value(0).toString();
}

static QStringList column(Database& db, const QString& sql)
{
    QStringList out;
    for (const QSqlRecord& r : db.rows(sql)) {
        out.append(r.value(0).toString());
    }
    return out;
}

QStringList SessionService::onlineNames() const
{
    return column(m_db, QStringLiteral("SELECT name FROM online ORDER BY rowid"));
}

QStringList SessionService::sessionNames() const
{
    return column(m_db, QStringLiteral("SELECT terminal FROM terminals ORDER BY rowid"));
}

QStringList SessionService::categoryNames() const
{
    return column(m_db, QStringLiteral("SELECT \"user\" FROM user_category ORDER BY rowid"));
}

QStringList SessionService::memberIds() const
{
    return column(m_db, QStringLiteral("SELECT memberid FROM members ORDER BY rowid"));
}

static bool memberInSession(Database& db, const QString& memberId)
{
    return !memberId.isEmpty() &&
           db.scalar(QStringLiteral("SELECT count(*) FROM terminals WHERE memberid = ?"),
                     {memberId})
                   .toLongLong() > 0;
}

std::optional<Refusal> SessionService::checkStart(const StartRequest& req) const
{
    // A name no longer listed (the agent went away while the window was open) counts as no
    // choice: the session would otherwise be recorded against a connection that is gone.
    const auto ready = req.terminal.trimmed().isEmpty() ? std::nullopt : findOnline(req.terminal);
    if (!ready) {
        return Refusal{QStringLiteral("Select the Ready Computer to Start Session"), false,
                       Refusal::Field::Terminal};
    }
    // The session would be recorded, but its start could not reach the workstation.
    if (const AgentLink* link = AgentLink::instance(); link && !link->deskRunning(ready->id)) {
        return Refusal{AgentLink::DeskNotRunning, true, Refusal::Field::Terminal};
    }
    if (!req.maintenance && !categoryExists(req.category)) {
        return Refusal{QStringLiteral("Select the Usage Category List to Start Session"), false,
                       Refusal::Field::Category};
    }
    // An id that matches no member is a typing error, not a walk-in: started anyway, the
    // session would be billed to nobody's account.
    if (!req.maintenance && !req.memberId.isEmpty() && !findMember(req.memberId)) {
        return Refusal{QStringLiteral("Customer ID Not Found"), false, Refusal::Field::Member};
    }
    // Two sessions would both deduct from the one balance: a prepaid one would hold credit the
    // other spends meanwhile.
    if (!req.maintenance && memberInSession(m_db, req.memberId)) {
        return Refusal{MemberBusy, false, Refusal::Field::Member};
    }
    if (!req.passwordByUser && req.typedPassword != req.memberPassword) {
        return Refusal{QStringLiteral("Password Missmatch"), false, Refusal::Field::Password};
    }
    if (!req.maintenance && req.autoLogout && wholeMinutes(req.autoLogoutMinutes) <= 0) {
        return Refusal{QStringLiteral("Please Enter the Autolog Out Time in Minute"), true,
                       Refusal::Field::AutoLogout};
    }
    return std::nullopt;
}

QList<AgentMessage> SessionService::startMessages(const StartRequest& req, qint64 index)
{
    QList<AgentMessage> out;
    if (index <= 0) {
        return out;
    }
    out.append({index, Proto::SetTime});
    if (!req.maintenance && req.autoLogout) {
        out.append({index, Proto::AutologoutMin +
                               labelNumber(wholeMinutes(req.autoLogoutMinutes)).toLatin1() +
                               Proto::AutologoutMinEnd});
    }
    if (opensWithPassword(req)) {
        out.append({index, Proto::ShowOptionsWithPassword});
    } else if (!req.maintenance && req.optionsInClient) {
        out.append({index, Proto::ShowOptions});
    } else {
        out.append({index, Proto::StartSession});
    }
    return out;
}

StartResult SessionService::start(const StartRequest& req)
{
    StartResult result;
    if (checkStart(req)) {
        return result;
    }
    const QString now = Database::timeText(Clock::now());
    qint64 index = 0;
    const bool ok = m_db.transaction(
        [&] {
            // Read again inside the transaction: the row the window showed may have moved, and
            // the member may have logged in at a workstation meanwhile. The ready row is taken
            // first and the member held before asking, so a second desk starting on the same
            // workstation or for the same member meanwhile finds it gone or busy.
            const auto row = findOnline(req.terminal);
            // By its row: every desk's own computer has index 0.
            if (!row || m_db.change(QStringLiteral("DELETE FROM online WHERE rowid = ? AND id = ?"),
                                    {row->rowid, row->id}, StartLabel) <= 0) {
                return false;
            }
            const bool member = !req.maintenance && !req.memberId.isEmpty();
            if (member && (Claims::member(m_db, req.memberId, StartLabel) <= 0 ||
                           memberInSession(m_db, req.memberId))) {
                return false;
            }
            index = row->id;
            bool done;
            if (req.maintenance) {
                done = m_db.run(
                    QStringLiteral("INSERT INTO terminals (sstart, terminal, ip, cid, "
                                   "maintains, \"user\") VALUES (?, ?, ?, ?, 1, ?)"),
                    {now, row->name, row->ip, row->id, QStringLiteral("System Maintaining")},
                    StartLabel);
            } else {
                QVariant logouttype;
                if (req.closeAction != CloseAction::None) {
                    logouttype = int(req.closeAction);
                }
                // Stored as the tariff spells it, so the charge finds its rate rows.
                const QString category = findCategory(req.category).value_or(req.category);
                done = m_db.run(
                    QStringLiteral(
                        "INSERT INTO terminals (sstart, terminal, ip, cid, maintains, "
                        "\"user\", amtreceived, logout, logouttime, logouttype, "
                        "memberid, Password, passwordwait) VALUES (?, ?, ?, ?, 0, ?, ?, ?, ?, "
                        "coalesce(?, 0), ?, ?, ?)"),
                    {now, row->name, row->ip, row->id, category,
                     Money::parse(req.amountReceived).toVariant(), req.autoLogout ? 1 : 0,
                     req.autoLogout ? QVariant(wholeMinutes(req.autoLogoutMinutes)) : QVariant(0),
                     logouttype, member ? QVariant(req.memberId) : QVariant(),
                     member ? QVariant(req.memberPassword) : QVariant(),
                     opensWithPassword(req) ? 1 : 0},
                    StartLabel);
            }
            return done;
        },
        StartLabel);
    if (!ok) {
        return result;
    }
    m_db.notifyChanged(QStringLiteral("terminals"));
    m_db.notifyChanged(QStringLiteral("online"));
    result.ok = true;
    result.index = index;
    result.messages = startMessages(req, index);
    return result;
}

std::optional<SessionRow> SessionService::fixEnd(qint64 rowid) const
{
    auto row = sessionByRowid(rowid);
    if (row && !row->autologout) {
        // Stored to the second, so the bill shows the very end it was priced to.
        row->send = Database::parseTime(Database::timeText(Clock::now()));
    }
    return row;
}

QByteArray SessionService::endMessage(CloseAction action)
{
    switch (action) {
    case CloseAction::Shutdown:
        return Proto::Shutdown;
    case CloseAction::Restart:
        return Proto::Reboot;
    default:
        return Proto::EndSession;
    }
}

bool SessionService::write(int& n, const QString& sql, const QVariantList& params)
{
    return m_db.run(sql, params, EndLabel) && wrote(n);
}

bool SessionService::wrote(int& n)
{
    ++n;
    return !m_writeHook || m_writeHook(n);
}

const QString SessionService::PrepaidRefusal =
    QStringLiteral("This session is paid in advance: end it from the list of running sessions.");

std::optional<qint64> SessionService::takeBillNumber(Database& db)
{
    // Moved on before it is read: the row stays held until the commit, so a second desk's
    // bill waits for this one and reads the number after it; a rollback gives it back.
    if (db.change(QStringLiteral("UPDATE defalt SET billno = billno + 1"), {}, EndLabel) <= 0) {
        return std::nullopt;
    }
    const QVariant next = db.scalar(QStringLiteral("SELECT billno - 1 FROM defalt"), {}, EndLabel);
    if (!next.isValid()) {
        return std::nullopt;
    }
    const qint64 n = firstFreeBillNumber(db, next.toLongLong()).toLongLong();
    if (n <= 0 || (n != next.toLongLong() &&
                   !db.run(QStringLiteral("UPDATE defalt SET billno = ?"), {n + 1}, EndLabel))) {
        return std::nullopt;
    }
    return n;
}

const QString SessionService::NegativeAmount =
    QStringLiteral("An amount below zero cannot be billed.");

SettleResult SessionService::settle(const SettleRequest& req)
{
    SettleResult result;
    for (const Money m : {req.received, req.charge, req.other, req.net}) {
        if (m.isNegative()) {
            result.error = NegativeAmount;
            return result;
        }
    }
    SessionRow session;
    QDateTime end;
    qint64 billno = 0;
    bool member = false;
    const bool ok = m_db.transaction(
        [&] {
            // Held before it is read: a second desk ending or moving it meanwhile waits, then
            // finds it gone or moved and bills nothing.
            const auto row = Claims::session(m_db, req.sessionRowid, EndLabel)
                                 ? sessionByRowid(req.sessionRowid)
                                 : std::nullopt;
            if (!row || row->sstart != req.sstart) {
                result.error = QStringLiteral("This session has already been ended or moved.");
                return false;
            }
            if (m_db.scalar(QStringLiteral("SELECT prepaid FROM terminals WHERE rowid = ?"),
                            {row->rowid}, EndLabel)
                    .toInt() != 0) {
                result.error = PrepaidRefusal;
                return false;
            }
            session = *row;
            end = req.send.isValid() ? req.send : session.send;
            if (!end.isValid()) {
                // Only an automatic logout stores its own end; any other session ends now.
                end = Clock::now();
            }
            member = !session.memberid.isEmpty();
            if (member && Claims::member(m_db, session.memberid, EndLabel) < 0) {
                return false;
            }
            int n = 0;
            if (!session.maintains) {
                billno = takeBillNumber(m_db).value_or(0);
                if (billno <= 0) {
                    result.error = QStringLiteral("The next bill number could not be read.");
                    return false;
                }
                if (!wrote(n)) {
                    return false;
                }
            }
            if (!write(n,
                       QStringLiteral("INSERT INTO history (cip, sstart, send, terminal, memberid, "
                                      "duration, \"user\", received, charge, netamount, otheramt, "
                                      "billno) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                       {session.ip, Database::timeText(session.sstart),
                        end.isValid() ? QVariant(Database::timeText(end)) : QVariant(),
                        session.terminal, textOrNull(session.memberid), textOrNull(req.duration),
                        req.userLabel, moneyOrNull(req.received), moneyOrNull(req.charge),
                        moneyOrNull(req.net), moneyOrNull(req.other),
                        session.maintains ? QVariant() : QVariant(billno)})) {
                return false;
            }
            if (member) {
                const QString now = Database::timeText(Clock::now());
                const QString no = QString::number(billno);
                if (req.received > Money() &&
                    !write(n,
                           QStringLiteral("INSERT INTO transactions (memberid, Date, part, credit, "
                                          "debit) VALUES (?, ?, ?, ?, NULL)"),
                           {session.memberid, now,
                            QString(QStringLiteral("Received By Bill No ") + no),
                            req.received.toVariant()})) {
                    return false;
                }
                if (!write(n,
                           QStringLiteral("INSERT INTO transactions (memberid, Date, part, credit, "
                                          "debit) VALUES (?, ?, ?, NULL, ?)"),
                           {session.memberid, now, QString(QStringLiteral("By Bill No ") + no),
                            req.net.toVariant()})) {
                    return false;
                }
            }
            if (req.other > Money()) {
                const auto lines =
                    m_db.rows(QStringLiteral("SELECT Type, qty, totamt FROM jobwork_entered "
                                             "WHERE qty > 0 ORDER BY line"),
                              {}, EndLabel);
                for (const QSqlRecord& l : lines) {
                    if (!write(n,
                               QStringLiteral("INSERT INTO jobwork_details (billno, Type, qty, "
                                              "amount) VALUES (?, ?, ?, ?)"),
                               {session.maintains ? QVariant() : QVariant(billno), l.value(0),
                                l.value(1), l.value(2)})) {
                        return false;
                    }
                }
            }
            // The console's own computer has no agent to lock it: it is ready again at once.
            const bool backOnline = req.action == CloseAction::Lock || session.cid == 0;
            if (backOnline &&
                m_db.scalar(OnlineRowCount, {session.cid, session.terminal}, EndLabel)
                        .toLongLong() == 0 &&
                !write(n, QStringLiteral("INSERT INTO online (name, ip, id) VALUES (?, ?, ?)"),
                       {session.terminal, session.ip, session.cid})) {
                return false;
            }
            if (!write(n, QStringLiteral("DELETE FROM terminals WHERE rowid = ?"),
                       {session.rowid})) {
                return false;
            }
            for (const char* t :
                 {"history", "transactions", "jobwork_details", "defalt", "online", "terminals"}) {
                m_db.notifyChanged(QString::fromLatin1(t));
            }
            return true;
        },
        EndLabel);
    if (!ok) {
        if (result.error.isEmpty()) {
            result.error = QStringLiteral("The bill could not be saved; the session is still "
                                          "running and nothing was recorded.");
        }
        return result;
    }
    result.ok = true;
    result.billno = session.maintains ? 0 : billno;
    result.print = req.print && !session.maintains;
    result.index = session.cid;
    if (session.cid > 0) {
        result.messages.append({session.cid, endMessage(req.action)});
    }
    return result;
}

QList<AgentMessage> SessionService::transferMessages(const SessionRow& moved,
                                                     qint64 destinationIndex, qint64 sourceIndex)
{
    QList<AgentMessage> out;
    if (destinationIndex > 0) {
        out.append({destinationIndex,
                    Proto::SetDateTime +
                        moved.sstart.toString(QLatin1String(Proto::DateTimeFormat)).toLatin1() +
                        Proto::SetDateTimeEnd});
        if (!moved.passwordWait) {
            out.append({destinationIndex, Proto::StartSession});
        }
        if (moved.logouttime > 0) {
            out.append({destinationIndex, Proto::AutologoutMin +
                                              labelNumber(moved.logouttime).toLatin1() +
                                              Proto::AutologoutMinEnd});
        }
        // A session still waiting for its password waits for it on the new workstation too.
        if (moved.passwordWait) {
            out.append({destinationIndex, Proto::ShowOptionsWithPassword});
        }
    }
    if (sourceIndex > 0) {
        out.append({sourceIndex, Proto::EndSession});
    }
    return out;
}

Proto::PrepaidTimeLeft SessionService::prepaidTimeLeft(Database& db, const QString& category,
                                                       const QDateTime& sstart,
                                                       const QDateTime& timeup, Money credit,
                                                       const QDateTime& now, int digits)
{
    const QDateTime at = Database::parseTime(Database::timeText(now));
    const QDateTime upTo = timeup < at ? timeup : at;
    Money used;
    if (upTo > sstart) {
        const TimeSplit split = splittime(sstart, upTo);
        used = calccharge(db, category, split.hours, split.minutes, split.seconds).rounded(digits);
    }
    const Money left = std::max(Money(), credit - std::min(used, credit));
    return {std::max<qint64>(0, at.secsTo(timeup)), left.toFixed(digits)};
}

TransferResult SessionService::transfer(qint64 sessionRowid, const QString& destination)
{
    TransferResult result;
    SessionRow session;
    OnlineRow dest;
    const bool ok = m_db.transaction(
        [&] {
            // The session is held first, the destination's ready row then taken by its move:
            // a desk that ended or moved either meanwhile leaves nothing here to move.
            const auto row = Claims::session(m_db, sessionRowid, TransferLabel)
                                 ? sessionByRowid(sessionRowid)
                                 : std::nullopt;
            if (!row) {
                result.error = QStringLiteral("Select Working Terminal First");
                return false;
            }
            if (row->maintains) {
                result.error = QStringLiteral("Can't be Transfered while Maintain the Client");
                return false;
            }
            const auto to = findOnline(destination);
            if (!to) {
                result.error = QStringLiteral("Select Destination terminal to start");
                return false;
            }
            session = *row;
            dest = *to;
            // The source is locked by the transfer: its row starts locked too.
            const qint64 taken = m_db.change(
                QStringLiteral("UPDATE online SET name = ?, ip = ?, "
                               "id = ?, unlocked = 0 WHERE rowid = "
                               "? AND id = ?"),
                {session.terminal, session.ip, session.cid, dest.rowid, dest.id}, TransferLabel);
            if (taken == 0) {
                result.error = QStringLiteral("Select Destination terminal to start");
            }
            return taken > 0 &&
                   m_db.run(QStringLiteral("UPDATE terminals SET terminal = ?, ip = ?, cid = ? "
                                           "WHERE rowid = ?"),
                            {dest.name, dest.ip, dest.id, session.rowid}, TransferLabel);
        },
        TransferLabel);
    if (!ok) {
        if (result.error.isEmpty()) {
            result.error = QStringLiteral("The session could not be transferred.");
        }
        return result;
    }
    m_db.notifyChanged(QStringLiteral("terminals"));
    m_db.notifyChanged(QStringLiteral("online"));
    result.ok = true;
    // A session paid in advance moves with its credit and time up (they are columns of its
    // row): the destination counts down from what is left, and opens at once.
    const auto prepaid = m_db.firstRow(
        QStringLiteral("SELECT prepaid, credit, timeup FROM terminals WHERE rowid = ?"),
        {session.rowid}, TransferLabel);
    if (prepaid && prepaid->value(0).toInt() != 0) {
        if (dest.id > 0) {
            result.messages.append({dest.id, Proto::prepaidTime(prepaidTimeLeft(
                                                 m_db, session.user, session.sstart,
                                                 Database::parseTime(prepaid->value(2)),
                                                 Money::fromVariant(prepaid->value(1)),
                                                 Clock::now(), LocaleMoney::currencyDigits())) +
                                                 Proto::StartSession});
        }
        if (session.cid > 0) {
            result.messages.append({session.cid, Proto::EndSession});
        }
        return result;
    }
    result.messages = transferMessages(session, dest.id, session.cid);
    return result;
}
