// SPDX-License-Identifier: Apache-2.0
#include "server/prepaid/prepaidservice.h"

#include "common/blanks.h"
#include "common/clock.h"
#include "common/errorlog.h"
#include "common/samebytes.h"
#include "common/timesplit.h"
#include "server/core/agentlink.h"
#include "server/core/claims.h"
#include "server/core/database.h"
#include "server/prepaid/membercredit.h"
#include "server/prepaid/ticketstore.h"
#include "server/prepaid/timeleft.h"
#include "server/sessions/charge.h"
#include "server/sessions/tariffstore.h"

#include <QCryptographicHash>
#include <QSqlRecord>

namespace {

const QString LoginLabel = QStringLiteral("objTCP_DataArrival PREPAID_LOGIN");
const QString EndLabel = QStringLiteral("prepaid session end");

const QString Columns = QStringLiteral(
    "rowid, terminal, ip, cid, prepaid, ticket, memberid, \"user\", sstart, timeup, credit");

PrepaidSession sessionFrom(const QSqlRecord& r)
{
    PrepaidSession s;
    s.rowid = r.value(0).toLongLong();
    s.terminal = r.value(1).toString();
    s.ip = r.value(2).toString();
    s.cid = r.value(3).toLongLong();
    s.kind = PrepaidKind(r.value(4).toInt());
    s.account = s.kind == PrepaidKind::Ticket ? r.value(5).toString() : r.value(6).toString();
    s.category = r.value(7).toString();
    s.sstart = Database::parseTime(r.value(8));
    s.timeup = Database::parseTime(r.value(9));
    s.credit = Money::fromVariant(r.value(10));
    return s;
}

QVariant moneyOrNull(Money m)
{
    return m > Money() ? m.toVariant() : QVariant();
}

// Compared as digests, in time that tells a guesser neither where the typed password differs
// nor how long the right one is.
bool samePassword(const QString& stored, const QString& typed)
{
    const auto digest = [](const QString& s) {
        return QCryptographicHash::hash(s.toUtf8(), QCryptographicHash::Sha256);
    };
    return sameBytes(digest(stored), digest(typed));
}

QDateTime toSecond(const QDateTime& t)
{
    return Database::parseTime(Database::timeText(t));
}

} // namespace

const QString PrepaidService::NotAccepted =
    QStringLiteral("The code or the member id and password were not accepted.");
const QString PrepaidService::TooManyAttempts =
    QStringLiteral("Too many attempts. Please wait a minute and try again.");
const QString PrepaidService::AccountInUse =
    QStringLiteral("Your account is already in use on another workstation.");
const QString PrepaidService::NotEnoughCredit =
    QStringLiteral("Not enough credit. Please see the cashier.");
const QString PrepaidService::NotFree = QStringLiteral("This workstation is not free.");

PrepaidService::PrepaidService(Database& db, int digits, const QString& settingsFile)
    : m_db(db), m_digits(qBound(0, digits, 4)), m_settingsFile(settingsFile)
{
}

Money PrepaidService::price(const QString& category, const QDateTime& start,
                            const QDateTime& end) const
{
    const TimeSplit split = splittime(start, end);
    return calccharge(m_db, category, split.hours, split.minutes, split.seconds).rounded(m_digits);
}

QDateTime PrepaidService::timeupFor(const QString& category, const QDateTime& start,
                                    Money credit) const
{
    TariffSettings settings;
    const QList<RateRow> rows = TariffStore(m_db).rateRows(category, &settings);
    if (rows.isEmpty()) {
        return start;
    }
    return start.addSecs(minutesBought(rows, settings, credit, m_digits) * 60);
}

PrepaidLoginResult PrepaidService::login(qint64 index, const QString& address,
                                         const Proto::PrepaidCredentials& credentials)
{
    Q_UNUSED(address);
    PrepaidLoginResult result;
    const QDateTime now = toSecond(Clock::now());
    PrepaidSession started;
    const bool ok = m_db.transaction(
        [&] {
            const auto online = m_db.firstRow(
                QStringLiteral("SELECT name, ip, coalesce(unlocked, 0) FROM online WHERE id = ? "
                               "ORDER BY rowid"),
                {index}, LoginLabel);
            // The ready row is taken before anything is decided on it: a desk starting a
            // session there meanwhile leaves nothing to take.
            if (index <= 0 || !online || online->value(2).toInt() != 0 ||
                m_db.change(QStringLiteral("DELETE FROM online WHERE id = ? AND "
                                           "coalesce(unlocked, 0) = 0"),
                            {index}, LoginLabel) <= 0 ||
                m_db.scalar(QStringLiteral("SELECT 1 FROM terminals WHERE cid = ?"), {index},
                            LoginLabel)
                    .isValid()) {
                result.refusal = NotFree;
                return false;
            }
            started.terminal = online->value(0).toString();
            started.ip = online->value(1).toString();
            started.cid = index;
            started.sstart = now;
            if (credentials.kind == Proto::PrepaidCredentials::Kind::Ticket) {
                // Held before its state is read: the same code typed at two workstations
                // opens one of them.
                const TicketStore tickets(m_db, m_digits);
                auto ticket = tickets.find(credentials.id);
                if (ticket && Claims::ticket(m_db, ticket->code, LoginLabel) > 0) {
                    ticket = tickets.find(ticket->code);
                } else {
                    ticket.reset();
                }
                if (!ticket || ticket->state(now) != TicketState::Unused) {
                    result.refusal = NotAccepted;
                    return false;
                }
                started.kind = PrepaidKind::Ticket;
                started.account = ticket->code;
                started.category = ticket->category;
                started.credit = ticket->credit;
            } else {
                const auto member = SessionService(m_db).findMember(credentials.id);
                // A member without a password has no secret to log in with: the cashier starts
                // such a member's sessions.
                const QString stored = member ? trimBlanks(member->password) : QString();
                if (stored.isEmpty() || !samePassword(stored, credentials.password)) {
                    result.refusal = NotAccepted;
                    return false;
                }
                if (Claims::member(m_db, member->memberid, LoginLabel) <= 0) {
                    return false;
                }
                if (m_db.scalar(QStringLiteral("SELECT 1 FROM terminals WHERE memberid = ?"),
                                {member->memberid}, LoginLabel)
                        .isValid()) {
                    result.refusal = AccountInUse;
                    return false;
                }
                const MemberCredit credit(m_db, m_settingsFile);
                started.kind = PrepaidKind::Member;
                started.account = member->memberid;
                started.category = member->category;
                started.credit = credit.balance(member->memberid);
                if (started.credit <= credit.minimum()) {
                    result.refusal = NotEnoughCredit;
                    return false;
                }
            }
            // Stored as the tariff spells it, so the charge finds its rate rows.
            const auto category = SessionService(m_db).findCategory(started.category);
            TariffSettings settings;
            const QList<RateRow> rows =
                category ? TariffStore(m_db).rateRows(*category, &settings) : QList<RateRow>();
            if (rows.isEmpty()) {
                result.refusal = NotAccepted;
                return false;
            }
            started.category = *category;
            const qint64 minutes = minutesBought(rows, settings, started.credit, m_digits);
            if (minutes < 1) {
                result.refusal =
                    started.kind == PrepaidKind::Member ? NotEnoughCredit : NotAccepted;
                return false;
            }
            started.timeup = now.addSecs(minutes * 60);
            const bool member = started.kind == PrepaidKind::Member;
            // The workstation's `online` row was claimed first, above.
            started.rowid = m_db.insert(
                QStringLiteral("INSERT INTO terminals (sstart, terminal, ip, cid, "
                               "maintains, \"user\", amtreceived, logout, logouttime, "
                               "logouttype, memberid, passwordwait, prepaid, ticket, "
                               "credit, timeup) VALUES (?, ?, ?, ?, 0, ?, 0, 0, 0, ?, "
                               "?, 0, ?, ?, ?, ?)"),
                {Database::timeText(now), started.terminal, started.ip, index, started.category,
                 int(CloseAction::Lock), member ? QVariant(started.account) : QVariant(),
                 int(started.kind), member ? QVariant() : QVariant(started.account),
                 started.credit.toVariant(), Database::timeText(started.timeup)},
                LoginLabel);
            if (started.rowid <= 0) {
                return false;
            }
            m_db.notifyChanged(QStringLiteral("terminals"));
            m_db.notifyChanged(QStringLiteral("online"));
            return true;
        },
        LoginLabel);
    if (!ok) {
        if (result.refusal.isEmpty()) {
            result.refusal = NotAccepted;
        }
        if (index > 0) {
            result.messages.append({index, Proto::prepaidRefused(result.refusal)});
        }
        return result;
    }
    result.ok = true;
    result.rowid = started.rowid;
    result.messages = resumeMessages(started);
    return result;
}

bool PrepaidService::write(int& n, const QString& sql, const QVariantList& params)
{
    return m_db.run(sql, params, EndLabel) && wrote(n);
}

bool PrepaidService::wrote(int& n)
{
    ++n;
    return !m_writeHook || m_writeHook(n);
}

// Holds the ticket or the member a session is paid from, once the session itself is held.
bool PrepaidService::claimAccount(const PrepaidSession& s)
{
    return (s.kind == PrepaidKind::Ticket ? Claims::ticket(m_db, s.account, EndLabel)
                                          : Claims::member(m_db, s.account, EndLabel)) >= 0;
}

// A row read before a modal question may since have been ended and its rowid reused by
// another session: it is the one picked only if it started then, on that workstation.
static bool stillPicked(const std::optional<PrepaidSession>& row, const QDateTime& picked,
                        const QString& terminal)
{
    return row && (!picked.isValid() || row->sstart == toSecond(picked)) &&
           (terminal.isEmpty() || row->terminal == terminal);
}

SettleResult PrepaidService::end(qint64 rowid, PrepaidEndReason why, const QDateTime& picked,
                                 const QString& terminal)
{
    Q_UNUSED(why); // every ending bills alike: the time used, never beyond the credit held
    SettleResult result;
    PrepaidSession s;
    qint64 billno = 0;
    const bool ok = m_db.transaction(
        [&] {
            // Held before it is read: the watch, the workstation's logoff and the cashier of
            // any desk may end it at once; one bills it, the others find it gone.
            const auto row = Claims::session(m_db, rowid, EndLabel) ? session(rowid) : std::nullopt;
            if (!stillPicked(row, picked, terminal)) {
                result.error = QStringLiteral("This session has already been ended or moved.");
                return false;
            }
            s = *row;
            if (!claimAccount(s)) {
                return false;
            }
            const QDateTime now = toSecond(Clock::now());
            QDateTime end = s.timeup.isValid() && s.timeup < now ? s.timeup : now;
            if (end < s.sstart) {
                end = s.sstart; // a clock set back: nothing was used
            }
            const Money charge =
                std::max(Money(), std::min(price(s.category, s.sstart, end), s.credit));
            int n = 0;
            billno = SessionService::takeBillNumber(m_db).value_or(0);
            if (billno <= 0) {
                result.error = QStringLiteral("The next bill number could not be read.");
                return false;
            }
            if (!wrote(n)) {
                return false;
            }
            const bool ticket = s.kind == PrepaidKind::Ticket;
            if (!write(n,
                       QStringLiteral("INSERT INTO history (cip, sstart, send, terminal, memberid, "
                                      "duration, \"user\", received, charge, netamount, otheramt, "
                                      "billno, ticket) VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, "
                                      "NULL, ?, ?)"),
                       {s.ip, Database::timeText(s.sstart), Database::timeText(end), s.terminal,
                        ticket ? QVariant() : QVariant(s.account),
                        splittime(s.sstart, end).labelText(), s.category,
                        ticket ? moneyOrNull(charge) : QVariant(), moneyOrNull(charge),
                        moneyOrNull(charge), billno, ticket ? QVariant(s.account) : QVariant()})) {
                return false;
            }
            if (ticket) {
                const Money left = Money::fromVariant(m_db.scalar(
                                       QStringLiteral("SELECT credit FROM tickets WHERE code = ?"),
                                       {s.account}, EndLabel)) -
                                   charge;
                if (!write(n,
                           QStringLiteral("UPDATE tickets SET credit = ?, lastuse = ? WHERE "
                                          "code = ?"),
                           {left.toVariant(), Database::timeText(end), s.account})) {
                    return false;
                }
            } else if (!write(n,
                              QStringLiteral("INSERT INTO transactions (memberid, Date, part, "
                                             "credit, debit) VALUES (?, ?, ?, NULL, ?)"),
                              {s.account, Database::timeText(now),
                               QString(QStringLiteral("By Bill No ") + QString::number(billno)),
                               charge.toVariant()})) {
                return false;
            }
            if (m_db.scalar(SessionService::OnlineRowCount, {s.cid, s.terminal}, EndLabel)
                        .toLongLong() == 0 &&
                !write(n, QStringLiteral("INSERT INTO online (name, ip, id) VALUES (?, ?, ?)"),
                       {s.terminal, s.ip, s.cid})) {
                return false;
            }
            if (!write(n, QStringLiteral("DELETE FROM terminals WHERE rowid = ?"), {s.rowid})) {
                return false;
            }
            for (const char* t :
                 {"history", "transactions", "tickets", "defalt", "online", "terminals"}) {
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
    result.billno = billno;
    result.index = s.cid;
    if (s.cid > 0) {
        result.messages.append({s.cid, SessionService::endMessage(CloseAction::Lock)});
    }
    return result;
}

std::optional<PrepaidSession> PrepaidService::session(qint64 rowid) const
{
    const auto r = m_db.firstRow(QStringLiteral("SELECT ") + Columns +
                                     QStringLiteral(" FROM terminals WHERE rowid = ? AND "
                                                    "prepaid IN (1, 2)"),
                                 {rowid}, EndLabel);
    if (!r) {
        return std::nullopt;
    }
    return sessionFrom(*r);
}

std::optional<PrepaidSession> PrepaidService::sessionOn(qint64 index) const
{
    if (index <= 0) {
        return std::nullopt;
    }
    const auto r = m_db.firstRow(QStringLiteral("SELECT ") + Columns +
                                     QStringLiteral(" FROM terminals WHERE cid = ? AND "
                                                    "prepaid IN (1, 2) ORDER BY rowid"),
                                 {index}, EndLabel);
    if (!r) {
        return std::nullopt;
    }
    return sessionFrom(*r);
}

QList<PrepaidSession> PrepaidService::running() const
{
    QList<PrepaidSession> out;
    for (const QSqlRecord& r :
         m_db.rows(QStringLiteral("SELECT ") + Columns +
                       QStringLiteral(" FROM terminals WHERE prepaid IN (1, 2) "
                                      "ORDER BY rowid"),
                   {}, EndLabel)) {
        out.append(sessionFrom(r));
    }
    return out;
}

QList<qint64> PrepaidService::due(const QDateTime& now) const
{
    QList<qint64> out;
    for (const QSqlRecord& r :
         m_db.rows(QStringLiteral("SELECT rowid FROM terminals WHERE prepaid IN (1, 2) AND "
                                  "(timeup IS NULL OR timeup <= ?) ORDER BY rowid"),
                   {Database::timeText(now)}, EndLabel)) {
        out.append(r.value(0).toLongLong());
    }
    return out;
}

Proto::PrepaidTimeLeft PrepaidService::timeLeft(const PrepaidSession& s, const QDateTime& now) const
{
    return SessionService::prepaidTimeLeft(m_db, s.category, s.sstart, s.timeup, s.credit, now,
                                           m_digits);
}

QList<AgentMessage> PrepaidService::resumeMessages(const PrepaidSession& s) const
{
    if (s.cid <= 0) {
        return {};
    }
    // One write: the agent must know the time left before it opens the session.
    return {{s.cid, Proto::prepaidTime(timeLeft(s, Clock::now())) + Proto::StartSession}};
}

bool PrepaidService::addCredit(qint64 rowid, Money amount, QString* error, QList<AgentMessage>* out,
                               const QDateTime& picked, const QString& terminal)
{
    const Money add = amount.rounded(m_digits);
    QString why;
    PrepaidSession s;
    bool ok = false;
    if (add <= Money()) {
        why = QStringLiteral("Please Enter Amount");
    } else {
        ok = m_db.transaction(
            [&] { return addCreditInside(rowid, add, s, &why, picked, terminal); }, EndLabel);
    }
    if (!ok) {
        if (error != nullptr) {
            *error = why.isEmpty() ? QStringLiteral("The credit could not be added.") : why;
        }
        return false;
    }
    if (out != nullptr && s.cid > 0) {
        out->append({s.cid, Proto::prepaidTime(timeLeft(s, Clock::now()))});
    }
    return true;
}

// A ticket is sold more (a sale bill, value and credit grow); a member is topped up. Either
// way the session holds the new credit and runs on to the time it buys.
bool PrepaidService::addCreditInside(qint64 rowid, Money add, PrepaidSession& s, QString* why,
                                     const QDateTime& picked, const QString& terminal)
{
    // Held before it is read, like an ending: the credit added and the credit billed never
    // miss each other.
    const auto row = Claims::session(m_db, rowid, EndLabel) ? session(rowid) : std::nullopt;
    if (!stillPicked(row, picked, terminal)) {
        *why = QStringLiteral("This session has already been ended or moved.");
        return false;
    }
    s = *row;
    const QString now = Database::timeText(Clock::now());
    if (s.kind == PrepaidKind::Ticket) {
        if (!claimAccount(s)) {
            return false;
        }
        const auto t =
            m_db.firstRow(QStringLiteral("SELECT value, credit FROM tickets WHERE code = ?"),
                          {s.account}, EndLabel);
        const qint64 billno = t ? SessionService::takeBillNumber(m_db).value_or(0) : 0;
        if (billno <= 0) {
            return false;
        }
        if (!m_db.run(
                QStringLiteral("INSERT INTO history (cip, sstart, send, terminal, duration, "
                               "\"user\", received, charge, netamount, otheramt, billno) VALUES "
                               "('', ?, ?, 'Tickets', '1 tickets', ?, ?, 0, ?, ?, ?)"),
                {now, now, s.category, add.toVariant(), add.toVariant(), add.toVariant(), billno},
                EndLabel) ||
            !m_db.run(QStringLiteral("UPDATE tickets SET value = ?, credit = ? WHERE code = ?"),
                      {(Money::fromVariant(t->value(0)) + add).toVariant(),
                       (Money::fromVariant(t->value(1)) + add).toVariant(), s.account},
                      EndLabel)) {
            return false;
        }
        m_db.notifyChanged(QStringLiteral("history"));
        m_db.notifyChanged(QStringLiteral("defalt"));
        m_db.notifyChanged(QStringLiteral("tickets"));
    } else if (!MemberCredit(m_db, m_settingsFile).topUp(s.account, add, why)) {
        return false;
    }
    s.credit += add;
    s.timeup = timeupFor(s.category, s.sstart, s.credit);
    if (!m_db.run(QStringLiteral("UPDATE terminals SET credit = ?, timeup = ? WHERE rowid = ?"),
                  {s.credit.toVariant(), Database::timeText(s.timeup), s.rowid}, EndLabel)) {
        return false;
    }
    m_db.notifyChanged(QStringLiteral("terminals"));
    return true;
}

void PrepaidService::deliver(AgentLink* link, const QList<AgentMessage>& messages, bool ended) const
{
    for (const AgentMessage& m : messages) {
        if (link != nullptr && link->send(m.index, m.bytes)) {
            continue;
        }
        ErrorLog::write(SessionService::EndLabel,
                        QStringLiteral("No connection with index %1").arg(m.index), 40006);
        // The agent is gone: like after any end, it is not ready until it connects again. A
        // workstation of another desk is that desk's to clear.
        if (ended && m.index > 0 && (link == nullptr || link->carries(m.index)) &&
            m_db.run(QStringLiteral("DELETE FROM online WHERE id = ?"), {m.index},
                     SessionService::EndLabel)) {
            m_db.notifyChanged(QStringLiteral("online"));
        }
        break;
    }
}
