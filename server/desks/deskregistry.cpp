// SPDX-License-Identifier: Apache-2.0
#include "server/desks/deskregistry.h"

#include "common/clock.h"
#include "common/errorlog.h"
#include "platform/hostinfo.h"
#include "server/core/administration.h"
#include "server/core/database.h"
#include "server/desks/desknumbers.h"

#include <QSqlRecord>

namespace {
const QString Label = QStringLiteral("Desks");
// The first half of the two-number advisory locks the desks hold, the second being the desk:
// apart from every other lock taken on the database.
constexpr int LockClass = 0x564B;
const QString HeldLocks =
    QStringLiteral("SELECT objid FROM pg_locks WHERE locktype = 'advisory' AND granted "
                   "AND objsubid = 2 AND classid = %1 AND database = "
                   "(SELECT oid FROM pg_database WHERE datname = current_database())")
        .arg(LockClass);
} // namespace

DeskRegistry::DeskRegistry(Database& db, QObject* parent) : QObject(parent), m_db(db)
{
    m_beatTimer.setInterval(BeatMs);
    m_aliveTimer.setInterval(AliveMs);
    connect(&m_beatTimer, &QTimer::timeout, this, &DeskRegistry::beat);
    connect(&m_aliveTimer, &QTimer::timeout, this, &DeskRegistry::refresh);
    // A desk that comes up says so at once; one that dies says nothing and is seen by the timer.
    connect(&m_db, &Database::notice, this, [this](const QString& channel, const QString&) {
        if (channel == QLatin1String("vk_desks")) {
            refresh();
        }
    });
}

DeskRegistry::~DeskRegistry()
{
    stop();
}

QString DeskRegistry::takenText(const QString& name)
{
    return QStringLiteral("Another console is already running as desk %1.").arg(name);
}

bool DeskRegistry::start()
{
    m_refusal.clear();
    m_name = Administration::deskName(m_db);
    if (!m_db.isShared()) {
        m_desk = 0;
        return true;
    }
    int desk = 0;
    // Under the administration lock two desks starting at once cannot both make the same name
    // or the same number.
    const bool found = m_db.transaction(
        [&] {
            if (!m_db.lockAdministration(Label)) {
                return false;
            }
            const QVariant known = m_db.scalar(
                QStringLiteral("SELECT desk FROM desks WHERE name = ?"), {m_name}, Label);
            if (known.isValid()) {
                desk = known.toInt();
                return true;
            }
            desk = m_db.scalar(QStringLiteral("SELECT coalesce(max(desk), 0) + 1 FROM desks"), {},
                               Label)
                       .toInt();
            if (desk < 1 || desk > DeskNumbers::MaxDesk) {
                return false;
            }
            return m_db.change(QStringLiteral("INSERT INTO desks (desk, name) VALUES (?, ?)"),
                               {desk, m_name}, Label) == 1;
        },
        Label);
    if (!found) {
        m_refusal = QStringLiteral("This console cannot take a desk in the shared database.");
        ErrorLog::write(Label, m_refusal + QLatin1Char(' ') + m_db.lastError());
        return false;
    }
    const QVariant got = m_db.scalar(
        QStringLiteral("SELECT pg_try_advisory_lock(%1, %2)").arg(LockClass).arg(desk), {}, Label);
    if (!got.toBool()) {
        m_refusal = takenText(m_name);
        return false;
    }
    m_desk = desk;
    m_locked = true;
    m_db.run(QStringLiteral("UPDATE desks SET address = ?, started = ?, beat = ? WHERE desk = ?"),
             {HostInfo::localIPv4(), Database::timeText(Clock::now()),
              Database::timeText(Clock::now()), m_desk},
             Label);
    m_db.listen(QStringLiteral("vk_desks"));
    m_db.publish(QStringLiteral("vk_desks"), QString::number(m_desk));
    refresh();
    m_beatTimer.start();
    m_aliveTimer.start();
    return true;
}

void DeskRegistry::stop()
{
    m_beatTimer.stop();
    m_aliveTimer.stop();
    if (m_locked && m_db.isOpen()) {
        m_db.scalar(QStringLiteral("SELECT pg_advisory_unlock(%1, %2)").arg(LockClass).arg(m_desk),
                    {}, Label);
    }
    m_locked = false;
}

void DeskRegistry::beat()
{
    m_db.run(QStringLiteral("UPDATE desks SET beat = ? WHERE desk = ?"),
             {Database::timeText(Clock::now()), m_desk}, Label);
}

bool DeskRegistry::isAlive(int desk) const
{
    return !m_db.isShared() || desk == m_desk || m_alive.contains(desk);
}

bool DeskRegistry::isIndexAlive(qint64 index) const
{
    return index == 0 || isAlive(DeskNumbers::owner(index));
}

void DeskRegistry::refresh()
{
    if (!m_db.isShared() || !m_db.isOpen()) {
        return;
    }
    QSet<int> now;
    for (const QSqlRecord& r : m_db.rows(HeldLocks, {}, Label)) {
        now.insert(r.value(0).toInt());
    }
    if (now.isEmpty() && m_locked) {
        // Not even our own lock: the query failed, and what was known stays.
        return;
    }
    for (const QSqlRecord& r :
         m_db.rows(QStringLiteral("SELECT desk, name FROM desks"), {}, Label)) {
        m_names.insert(r.value(0).toInt(), r.value(1).toString());
    }
    const QSet<int> before = m_alive;
    m_alive = now;
    for (const int d : before) {
        if (!now.contains(d) && d != m_desk) {
            Q_EMIT deskDown(d);
        }
    }
    for (const int d : now) {
        if (!before.contains(d) && d != m_desk) {
            Q_EMIT deskUp(d);
        }
    }
}
