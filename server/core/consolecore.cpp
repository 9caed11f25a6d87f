// SPDX-License-Identifier: Apache-2.0
#include "server/core/consolecore.h"

#include "common/errorlog.h"
#include "common/linkauth.h"
#include "common/prompt.h"
#include "common/settingsstore.h"
#include "platform/hostinfo.h"
#include "platform/localemoney.h"
#include "server/core/administration.h"
#include "server/core/database.h"
#include "server/core/messagelog.h"

#include <QSqlRecord>

ConsoleCore::ConsoleCore(Database& db, MessageLog& log, QObject* parent)
    : QObject(parent), m_db(db), m_log(log)
{
}

QString ConsoleCore::defaultOwnAddress()
{
    return HostInfo::localIPv4();
}

namespace {
// The rows of `online` this console answers for: all of them on a database of its own; on a
// shared one its desk's connections and its own computer's row, never another desk's.
QString ownOnline(int desk)
{
    return desk == 0 ? QString()
                     : QStringLiteral(" WHERE (id <> 0 AND id % 100 = ?) OR "
                                      "(id = 0 AND ip = ?)");
}
QVariantList ownOnlineParams(int desk, const QString& ownIp)
{
    return desk == 0 ? QVariantList() : QVariantList{desk, ownIp};
}
} // namespace

bool ConsoleCore::startUp(const QString& databasePath, const Hooks& hooks)
{
    return startUp(DatabaseTarget::sqlite(databasePath), hooks);
}

bool ConsoleCore::startUp(const DatabaseTarget& target, const Hooks& hooks)
{
    m_shutDown = false;
    m_deskRefused = false;
    m_desk = 0;
    if (!m_db.open(target)) {
        ErrorLog::write(StartLabel, m_db.lastError(), -1);
    }
    return recover(hooks);
}

bool ConsoleCore::recover(const Hooks& hooks)
{
    if (m_db.isOpen() && m_db.isShared() && hooks.takeDesk) {
        QString refusal;
        m_desk = hooks.takeDesk(&refusal);
        if (m_desk < 0) {
            // Two consoles as one desk would number the same connections and each clear the
            // other's rows: this one does not run at all.
            m_desk = 0;
            m_deskRefused = true;
            m_shutDown = true;
            ErrorLog::write(StartLabel, refusal, -1);
            Prompt::message(refusal, AppTitle, Prompt::Icon::Critical);
            return false;
        }
    }
    m_ownIp = hooks.ownAddress ? hooks.ownAddress() : defaultOwnAddress();

    // Agents that were connected when the console last ended uncleanly are told to come back.
    // Another desk's rows stay: its agents are its own, and a desk that is down shows them as
    // disconnected until it comes back and clears them itself.
    const QString own = ownOnline(m_desk);
    const QVariantList ownParams = ownOnlineParams(m_desk, m_ownIp);
    const QList<QSqlRecord> left = m_db.rows(QStringLiteral("SELECT name, ip, id FROM online") +
                                                 own + QStringLiteral(" ORDER BY rowid"),
                                             ownParams, StartLabel);
    if (!left.isEmpty()) {
        m_log.append(QStringLiteral("Improper Servar Restart found, Wakening up all Client"));
        for (const QSqlRecord& r : left) {
            if (r.value(QStringLiteral("id")).toLongLong() != 0 && hooks.wake) {
                hooks.wake(r.value(QStringLiteral("ip")).toString());
            }
        }
    }
    m_db.run(QStringLiteral("DELETE FROM online") + own, ownParams, StartLabel);
    m_db.notifyChanged(QStringLiteral("online"));
    if (m_desk != 0) {
        // Commands queued for a connection of the previous run: its agent comes back anew.
        m_db.run(QStringLiteral("DELETE FROM commands WHERE desk = ?"), {m_desk}, StartLabel);
    }

    const QList<QSqlRecord> running =
        m_db.rows(m_desk == 0 ? QStringLiteral("SELECT ip, cid FROM terminals ORDER BY rowid")
                              : QStringLiteral("SELECT ip, cid FROM terminals WHERE cid % 100 = ? "
                                               "ORDER BY rowid"),
                  m_desk == 0 ? QVariantList() : QVariantList{m_desk}, StartLabel);
    for (const QSqlRecord& r : running) {
        if (r.value(QStringLiteral("cid")).toLongLong() != 0 && hooks.wake) {
            hooks.wake(r.value(QStringLiteral("ip")).toString());
        }
    }
    m_log.append(QStringLiteral("Listening for client connection.."));

    m_currencyDigits = LocaleMoney::currencyDigits();
    m_options = ConsoleOptions::load(SettingsStore());

    addOwnRow(m_ownIp);

    m_listening = hooks.listen ? hooks.listen(m_options.port) : false;
    if (!m_listening) {
        ErrorLog::write(StartLabel, QStringLiteral("Cannot listen on port %1").arg(m_options.port),
                        -1);
    }
    // The link refuses every workstation with such a key (see LinkServer); the cashier must
    // learn why at once, not from a room of locked workstations.
    if (!m_options.linkKey.isEmpty()) {
        if (const QString weakness = LinkAuth::keyWeakness(m_options.linkKey);
            !weakness.isEmpty()) {
            ErrorLog::write(QStringLiteral("objTCP_Authentication"), weakness);
            m_log.append(weakness);
            Prompt::message(weakness, AppTitle, Prompt::Icon::Critical);
        }
    }
    return m_db.isOpen();
}

QString ConsoleCore::ownRowName(const Database& db)
{
    return ownRowName(db.target());
}

QString ConsoleCore::ownRowName(const DatabaseTarget& target)
{
    return target.isShared()
               ? QStringLiteral("%1 (%2)").arg(OwnRowName, Administration::deskName(target))
               : OwnRowName;
}

void ConsoleCore::addOwnRow(const QString& ownIp)
{
    const QVariant n = m_db.scalar(QStringLiteral("SELECT count(*) FROM terminals WHERE ip = ?"),
                                   {ownIp}, StartLabel);
    if (n.isValid() && n.toLongLong() == 0) {
        m_db.run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES (?, ?, 0)"),
                 {ownRowName(m_db), ownIp}, StartLabel);
        m_db.notifyChanged(QStringLiteral("online"));
    }
}

void ConsoleCore::shutDown()
{
    if (m_shutDown) {
        return;
    }
    m_shutDown = true;
    if (m_db.isOpen()) {
        m_db.run(QStringLiteral("DELETE FROM online") + ownOnline(m_desk),
                 ownOnlineParams(m_desk, m_ownIp), QStringLiteral("Shutdown"));
        m_db.close();
    }
}
