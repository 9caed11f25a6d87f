// SPDX-License-Identifier: Apache-2.0
#include "server/core/consolecore.h"

#include "common/errorlog.h"
#include "common/linkauth.h"
#include "common/prompt.h"
#include "common/settingsstore.h"
#include "platform/hostinfo.h"
#include "platform/localemoney.h"
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

bool ConsoleCore::startUp(const QString& databasePath, const Hooks& hooks)
{
    return startUp(DatabaseTarget::sqlite(databasePath), hooks);
}

bool ConsoleCore::startUp(const DatabaseTarget& target, const Hooks& hooks)
{
    m_shutDown = false;
    if (!m_db.open(target)) {
        ErrorLog::write(StartLabel, m_db.lastError(), -1);
    }

    // Agents that were connected when the console last ended uncleanly are told to come back.
    const QList<QSqlRecord> left =
        m_db.rows(QStringLiteral("SELECT name, ip, id FROM online ORDER BY rowid"), {}, StartLabel);
    if (!left.isEmpty()) {
        m_log.append(QStringLiteral("Improper Servar Restart found, Wakening up all Client"));
        for (const QSqlRecord& r : left) {
            if (r.value(QStringLiteral("id")).toLongLong() != 0 && hooks.wake) {
                hooks.wake(r.value(QStringLiteral("ip")).toString());
            }
        }
    }
    m_db.run(QStringLiteral("DELETE FROM online"), {}, StartLabel);
    m_db.notifyChanged(QStringLiteral("online"));

    const QList<QSqlRecord> running =
        m_db.rows(QStringLiteral("SELECT ip, cid FROM terminals ORDER BY rowid"), {}, StartLabel);
    for (const QSqlRecord& r : running) {
        if (r.value(QStringLiteral("cid")).toLongLong() != 0 && hooks.wake) {
            hooks.wake(r.value(QStringLiteral("ip")).toString());
        }
    }
    m_log.append(QStringLiteral("Listening for client connection.."));

    m_currencyDigits = LocaleMoney::currencyDigits();
    m_options = ConsoleOptions::load(SettingsStore());

    addOwnRow(hooks.ownAddress ? hooks.ownAddress() : defaultOwnAddress());

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

void ConsoleCore::addOwnRow(const QString& ownIp)
{
    const QVariant n = m_db.scalar(QStringLiteral("SELECT count(*) FROM terminals WHERE ip = ?"),
                                   {ownIp}, StartLabel);
    if (n.isValid() && n.toLongLong() == 0) {
        m_db.run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES (?, ?, 0)"),
                 {OwnRowName, ownIp}, StartLabel);
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
        m_db.run(QStringLiteral("DELETE FROM online"), {}, QStringLiteral("Shutdown"));
        m_db.close();
    }
}
