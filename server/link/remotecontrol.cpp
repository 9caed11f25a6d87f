// SPDX-License-Identifier: Apache-2.0
#include "server/link/remotecontrol.h"

#include "common/protocol.h"
#include "server/core/agentlink.h"
#include "server/core/database.h"

namespace {
const QString Label = QStringLiteral("frmtools");
}

RemoteControl::RemoteControl(Database& db) : m_db(db) {}

QList<RemoteControl::Row> RemoteControl::rows() const
{
    QList<Row> out;
    for (const QSqlRecord& r :
         m_db.rows(QStringLiteral("SELECT name, ip FROM online ORDER BY rowid"), {}, Label)) {
        out.append(Row{r.value(0).toString(), r.value(1).toString()});
    }
    return out;
}

QString RemoteControl::question(Command c, const QString& ip, const QString& name)
{
    QString text;
    switch (c) {
    case Command::Lock:
        text = QStringLiteral("Do you want to Lock the Client ");
        break;
    case Command::Unlock:
        text = QStringLiteral(" Do you want to UnLock the Client ");
        break;
    case Command::Shutdown:
        text = QStringLiteral(" Do you want to Shutdown the Client ");
        break;
    case Command::Restart:
        text = QStringLiteral(" Do you want to Reboot the Client ");
        break;
    }
    return text + ip + QStringLiteral(" : Name : ") + name;
}

QByteArray RemoteControl::token(Command c)
{
    switch (c) {
    case Command::Lock:
        return Proto::Lock;
    case Command::Unlock:
        return Proto::Unlock;
    case Command::Shutdown:
        return Proto::Shutdown;
    case Command::Restart:
        return Proto::Reboot;
    }
    return {};
}

QString RemoteControl::refusal(const QString& ip, const AgentLink* link) const
{
    const QVariant index = m_db.scalar(
        QStringLiteral("SELECT id FROM online WHERE ip = ? ORDER BY rowid LIMIT 1"), {ip}, Label);
    if (link == nullptr || !index.isValid() || link->deskRunning(index.toLongLong())) {
        return {};
    }
    return AgentLink::DeskNotRunning;
}

bool RemoteControl::send(Command c, const QString& ip, AgentLink* link) const
{
    const auto row = m_db.firstRow(
        QStringLiteral("SELECT id FROM online WHERE ip = ? ORDER BY rowid LIMIT 1"), {ip}, Label);
    if (!row || link == nullptr) {
        return false;
    }
    const qint64 index = row->value(0).toLongLong();
    if (index == 0 || !link->send(index, token(c))) {
        return false;
    }
    if (c == Command::Lock || c == Command::Unlock) {
        // The ready list tells a workstation left free from one that waits locked.
        m_db.run(QStringLiteral("UPDATE online SET unlocked = ? WHERE id = ?"),
                 {c == Command::Unlock ? 1 : 0, index}, Label);
        m_db.notifyChanged(QStringLiteral("online"));
    }
    return true;
}
