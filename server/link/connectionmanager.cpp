// SPDX-License-Identifier: Apache-2.0
#include "server/link/connectionmanager.h"

#include "common/blanks.h"
#include "common/clock.h"
#include "common/errorlog.h"
#include "server/core/database.h"
#include "server/link/linkserver.h"

#include <algorithm>
#include <tuple>

namespace {

const QString ListeningLine = QStringLiteral("Listening for client connection..");
const QString LabelRequest = QStringLiteral("objTCP_ConnectionRequest");
const QString LabelArrival = QStringLiteral("objTCP_DataArrival");
const QString LabelClose = QStringLiteral("objTCP_Close");
const QString LabelError = QStringLiteral("objTCP_Error");
constexpr qsizetype MaxKnownNames = 4096;

// The rows this class writes on connects, name reports and drops (`online`, and the connection
// index of a running session) describe live connections only: after any restart they are
// rebuilt from the agents as they connect again. Their commits therefore need not wait for the
// disk, which would otherwise be the whole cost of a cafe's agents coming up at once. The file
// stays consistent, and the next fully synced commit (a bill, a logout) makes them durable too.
class LiveRowsWrite
{
public:
    explicit LiveRowsWrite(Database& db) : m_db(db)
    {
        if (m_db.inTransaction()) {
            return;
        }
        m_db.setQuickCommits(true);
        m_quick = true;
    }
    ~LiveRowsWrite() { end(); }
    // Back to full syncing; called before anyone hears of the change and might write more.
    void end()
    {
        if (m_quick) {
            m_db.setQuickCommits(false);
            m_quick = false;
        }
    }
    LiveRowsWrite(const LiveRowsWrite&) = delete;
    LiveRowsWrite& operator=(const LiveRowsWrite&) = delete;

private:
    Database& m_db;
    bool m_quick = false;
};

} // namespace

ConnectionManager::ConnectionManager(Database& db, LinkServer& server, QObject* parent)
    : ConnectionManager(db, static_cast<AgentLink&>(server), parent)
{
    m_server = &server;
    connect(&server, &LinkServer::connectionRequest, this, &ConnectionManager::connectionRequest);
    connect(&server, &LinkServer::messagesArrived, this, &ConnectionManager::messagesArrived);
    connect(&server, &LinkServer::connectionClosed, this, &ConnectionManager::connectionClosed);
    connect(&server, &LinkServer::connectionFailed, this, &ConnectionManager::connectionFailed);
    connect(&server, &LinkServer::peerRefused, this,
            [this](const QString& address, const QString& reason) {
                Q_EMIT logLine(QStringLiteral("Authentication Failed. IP -") + address +
                               QStringLiteral(" - ") + reason);
                Q_EMIT logLine(ListeningLine);
            });
}

ConnectionManager::ConnectionManager(Database& db, AgentLink& link, QObject* parent)
    : QObject(parent), m_db(db), m_link(link)
{
}

// Numbering on above the stored indexes, rather than clearing them at start-up, leaves the
// tables as a previous run wrote them (readable by it and by tools that read the file), keeps
// the console's own computer at 0 and a gone agent's session at an index no one answers on,
// and needs nothing of the agents.
void ConnectionManager::continueNumbering()
{
    if (m_server == nullptr) {
        return;
    }
    // On a shared database only this desk's own indexes count: the others number their own.
    const int desk = m_server->desk();
    const QString own = desk == 0 ? QString() : QStringLiteral(" WHERE %1 % 100 = ?");
    const QVariantList params = desk == 0 ? QVariantList() : QVariantList{desk};
    const qint64 sessions = m_db.scalar(QStringLiteral("SELECT max(cid) FROM terminals") +
                                            own.arg(QStringLiteral("cid")),
                                        params, LabelRequest)
                                .toLongLong();
    const qint64 listed =
        m_db.scalar(QStringLiteral("SELECT max(id) FROM online") + own.arg(QStringLiteral("id")),
                    params, LabelRequest)
            .toLongLong();
    m_server->continueAfter(std::max(sessions, listed));
}

void ConnectionManager::send(qint64 index, const QByteArray& token, const QString& label)
{
    // A peer that has already gone is no fault of ours: its close is on its way and is
    // reported as such. Only a write to a live connection that fails is recorded.
    if (index != 0 && !m_link.send(index, token) && m_link.isConnected(index)) {
        ErrorLog::write(label, QStringLiteral("Could not send %1 on connection %2")
                                   .arg(QString::fromLatin1(token))
                                   .arg(index));
    }
}

void ConnectionManager::connectionRequest(qint64 index, const QString& address,
                                          const QString& hostName)
{
    if (index == 0) {
        return;
    }
    if (m_server != nullptr && !m_link.isConnected(index)) {
        // Gone before it was taken in (an agent that dialled again at once): nothing is
        // written or sent for it, and the workstation's listing stays as it was.
        m_stillborn.insert(index);
        return;
    }
    LiveRowsWrite live(m_db);
    const auto session = m_db.firstRow(QStringLiteral("SELECT cid FROM terminals WHERE ip = ?"),
                                       {address}, LabelRequest);
    QString name = hostName;
    if (session) {
        // The workstation's session ran on while it was away: it continues on this connection,
        // unless an automatic logout ended it, and then it waits locked for settlement. One
        // whose password was never given at the workstation asks for it again: coming back
        // must not open it.
        m_db.run(QStringLiteral("UPDATE terminals SET cid = ? WHERE ip = ?"), {index, address},
                 LabelRequest);
        live.end();
        m_db.notifyChanged(QStringLiteral("terminals"));
        const auto row = m_db.firstRow(
            QStringLiteral(
                "SELECT AUTOLOGOUT, passwordwait, terminal FROM terminals WHERE cid = ?"),
            {index}, LabelRequest);
        QByteArray token = Proto::Lock;
        if (row && row->value(0).toInt() == 0) {
            token =
                row->value(1).toInt() != 0 ? Proto::ShowOptionsWithPassword : Proto::StartSession;
        }
        if (row) {
            name = row->value(2).toString();
        }
        if (m_prepaid == nullptr || !m_prepaid->resumed(index)) {
            send(index, token, LabelRequest);
        }
    } else {
        send(index, Proto::Lock, LabelRequest);
        if (m_server != nullptr && !m_link.isConnected(index)) {
            m_stillborn.insert(index);
            return;
        }
        // One row per address: a row left from the agent's earlier connection is carried over
        // to this one, keeping its name until the agent reports it again.
        m_db.transaction(
            [&] {
                const auto old = m_db.firstRow(
                    QStringLiteral("SELECT name FROM online WHERE ip = ? ORDER BY rowid"),
                    {address}, LabelRequest);
                name = old ? old->value(0).toString() : m_names.value(address, hostName);
                return m_db.run(QStringLiteral("DELETE FROM online WHERE ip = ?"), {address},
                                LabelRequest) &&
                       m_db.run(
                           QStringLiteral("INSERT INTO online (name, ip, id) VALUES (?, ?, ?)"),
                           {name, address, index}, LabelRequest);
            },
            LabelRequest);
        live.end();
        m_db.notifyChanged(QStringLiteral("online"));
        send(index, Proto::CName, LabelRequest);
    }
    Q_EMIT logLine(QStringLiteral("Connection Request from") + hostName + QStringLiteral(" IP -") +
                   address);
    Q_EMIT logLine(QStringLiteral("Authentication Sucess."));
    Q_EMIT logLine(ListeningLine);
    closeOthers(index, address, name);
}

void ConnectionManager::messagesArrived(qint64 index, const QList<Proto::Message>& batch)
{
    for (const Proto::Message& m : batch) {
        switch (m.kind) {
        case Proto::Kind::CNameReply:
            nameReport(index, m);
            break;
        case Proto::Kind::CheckPassword:
            passwordCheck(index, m);
            break;
        case Proto::Kind::Autologout:
            automaticLogout(index);
            break;
        case Proto::Kind::PrepaidLogin:
            if (m_prepaid != nullptr) {
                QString address = m_link.peerAddress(index);
                if (address.isEmpty()) {
                    address = m_db.scalar(QStringLiteral("SELECT ip FROM online WHERE id = ?"),
                                          {index}, LabelArrival)
                                  .toString();
                }
                m_prepaid->login(index, address, m.malformed ? QString() : m.value);
            }
            break;
        case Proto::Kind::PrepaidLogoff:
            if (m_prepaid != nullptr) {
                m_prepaid->loggedOff(index);
            }
            break;
        default:
            break;
        }
    }
}

void ConnectionManager::nameReport(qint64 index, const Proto::Message& m)
{
    if (m.malformed) {
        // A name that cannot be cut out must not blank the listed one.
        ErrorLog::write(LabelArrival, QStringLiteral("Name report without its end marker"));
        return;
    }
    // A workstation in session has no online row, so its report changes nothing.
    if (const QString address = m_link.peerAddress(index); !address.isEmpty()) {
        // The name stays known for the address, so a connection that comes back before it
        // is asked again is listed by it, not by its address.
        if (m_names.size() >= MaxKnownNames && !m_names.contains(address)) {
            m_names.clear(); // far beyond any cafe: only a flood of addresses gets here
        }
        m_names.insert(address, m.value);
    }
    LiveRowsWrite live(m_db);
    m_db.run(QStringLiteral("UPDATE online SET name = ? WHERE id = ?"), {m.value, index},
             LabelArrival);
    live.end();
    m_db.notifyChanged(QStringLiteral("online"));
}

void ConnectionManager::passwordCheck(qint64 index, const Proto::Message& m)
{
    const auto row = m_db.firstRow(
        QStringLiteral("SELECT cid, Password, ip, passwordwait FROM terminals WHERE cid = ?"),
        {index}, LabelArrival);
    if (!row) {
        send(index, Proto::PasswordNotValid, LabelArrival);
        return;
    }
    const qint64 cid = row->value(0).toLongLong();
    const QString address = row->value(2).toString();
    const QDateTime now = Clock::now();
    if (!m_throttle.allowed(address, now)) {
        // Guessing is held back: the answer is the same whatever was sent.
        send(cid, Proto::PasswordNotValid, LabelArrival);
        return;
    }
    if (m.malformed) {
        ErrorLog::write(LabelArrival, QStringLiteral("Password check without its end marker"));
    }
    const bool match = !m.malformed && m.value == trimBlanks(row->value(1).toString());
    if (const qint64 wait = m_throttle.record(address, match, now); wait > 0) {
        Q_EMIT logLine(QStringLiteral("Too many wrong session passwords from IP -") + address +
                       QStringLiteral(", checks held back for ") + QString::number(wait) +
                       QStringLiteral(" seconds"));
    }
    // The password has been given: from now on the session resumes wherever its agent comes
    // back. Written before the agent hears of it, so a restart cannot ask for it again.
    if (match && row->value(3).toInt() != 0 &&
        m_db.run(QStringLiteral("UPDATE terminals SET passwordwait = 0 WHERE cid = ?"), {cid},
                 LabelArrival)) {
        m_db.notifyChanged(QStringLiteral("terminals"));
    }
    send(cid, match ? Proto::StartSession : Proto::PasswordNotValid, LabelArrival);
}

void ConnectionManager::automaticLogout(qint64 index)
{
    // A prepaid session has nothing left to settle at the counter: logging out ends it.
    if (m_prepaid != nullptr && m_prepaid->loggedOff(index)) {
        return;
    }
    const auto row = m_db.firstRow(
        QStringLiteral("SELECT logouttype, terminal, AUTOLOGOUT, ip FROM terminals WHERE cid = ?"),
        {index}, LabelArrival);
    if (!row) {
        return;
    }
    const int type = row->value(0).toInt();
    // The session ended at its first logout; a repeated notice must not move its end (and its
    // charge) later.
    if (row->value(2).toInt() == 0) {
        m_db.run(QStringLiteral("UPDATE terminals SET AUTOLOGOUT = 1, send = ? WHERE cid = ?"),
                 {Database::timeText(Clock::now()), index}, LabelArrival);
        m_db.notifyChanged(QStringLiteral("terminals"));
        Q_EMIT logLine(QStringLiteral("Automatic Logout, Client Name - ") +
                       row->value(1).toString() + QStringLiteral(" IP -") +
                       row->value(3).toString());
    }
    switch (type) {
    case 0:
    case 1:
        send(index, Proto::EndSession, LabelArrival);
        break;
    case 2:
        send(index, Proto::Shutdown, LabelArrival);
        break;
    case 3:
        send(index, Proto::Reboot, LabelArrival);
        break;
    default:
        break;
    }
}

void ConnectionManager::connectionClosed(qint64 index)
{
    dropped(index, LabelClose);
}

void ConnectionManager::connectionFailed(qint64 index, const QString& error)
{
    ErrorLog::write(LabelError, error);
    dropped(index, LabelError);
}

// One connection per workstation address: the newest (proven, where a link key is set) is the
// agent that is actually there, so every older one is closed and nothing of the workstation
// stays on it. Otherwise a second connection from the address (anyone at the workstation, or
// anyone who can read the link key) would hold the session while the real agent runs free.
void ConnectionManager::closeOthers(qint64 index, const QString& address, const QString& name)
{
    if (m_server == nullptr || address.isEmpty()) {
        return;
    }
    for (const qint64 other : m_server->connectionsFrom(address)) {
        if (other != index) {
            m_superseded.insert(other, {name, address});
            m_server->disconnectAgent(other);
        }
    }
}

void ConnectionManager::dropped(qint64 index, const QString& label)
{
    if (m_stillborn.remove(index)) {
        return; // never taken in, so never listed or logged
    }
    QString name;
    QString address;
    if (const auto row = m_db.firstRow(QStringLiteral("SELECT name, ip FROM online WHERE id = ?"),
                                       {index}, label)) {
        name = row->value(0).toString();
        address = row->value(1).toString();
        LiveRowsWrite live(m_db);
        m_db.run(QStringLiteral("DELETE FROM online WHERE id = ?"), {index}, label);
        live.end();
        m_db.notifyChanged(QStringLiteral("online"));
    } else if (const auto session =
                   m_db.firstRow(QStringLiteral("SELECT terminal, ip FROM terminals WHERE cid = ?"),
                                 {index}, label)) {
        // A workstation in session: its session stays, but the log still says who went.
        name = session->value(0).toString();
        address = session->value(1).toString();
    } else if (m_superseded.contains(index)) {
        // Closed for a newer connection from its address, which already holds its rows.
        std::tie(name, address) = m_superseded.value(index);
    }
    m_superseded.remove(index);
    Q_EMIT logLine(QStringLiteral("Client Connection Closed, Client Name - ") + name +
                   QStringLiteral(" IP -") + address);
    Q_EMIT logLine(ListeningLine);
    Q_EMIT agentDropped(index);
}
