// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/livesessions.h"

#include "common/clock.h"
#include "server/core/agentlink.h"
#include "server/core/database.h"
#include "server/sessions/charge.h"
#include "server/sessions/sessionservice.h"

#include <QSqlRecord>

LiveSessions::LiveSessions(Database& db, int currencyDigits, AgentLink* link, QObject* parent)
    : QObject(parent), m_db(db), m_digits(qBound(0, currencyDigits, 4)), m_link(link)
{
    connect(&db, &Database::tableChanged, this, [this](const QString& table) {
        if (table == QLatin1String("ratelist") || table == QLatin1String("user_category")) {
            tariffsChanged();
        }
    });
}

void LiveSessions::reload()
{
    m_sessions.clear();
    m_byRowid.clear();
    const auto rows = m_db.rows(
        QStringLiteral("SELECT rowid, terminal, ip, cid, sstart, send, \"user\", maintains, "
                       "AUTOLOGOUT, prepaid, memberid, credit, timeup FROM terminals "
                       "ORDER BY rowid"),
        {}, QStringLiteral("refresh session list"));
    m_sessions.reserve(rows.size());
    const QDateTime now = Clock::now();
    for (const QSqlRecord& r : rows) {
        LiveSession s;
        s.rowid = r.value(0).toLongLong();
        s.terminal = r.value(1).toString();
        s.ip = r.value(2).toString();
        s.cid = r.value(3).toLongLong();
        s.sstart = Database::parseTime(r.value(4));
        s.send = Database::parseTime(r.value(5));
        s.user = r.value(6).toString();
        s.maintains = r.value(7).toLongLong() != 0;
        s.autologout = r.value(8).toLongLong() != 0;
        s.prepaid = int(r.value(9).toLongLong());
        s.memberid = r.value(10).toString();
        s.credit = Money::fromVariant(r.value(11));
        s.timeup = Database::parseTime(r.value(12));
        s.connected = isConnected(s);
        price(s, now, true);
        m_byRowid.insert(s.rowid, int(m_sessions.size()));
        m_sessions.append(s);
    }
}

QList<int> LiveSessions::tick()
{
    QList<int> changed;
    const QDateTime now = Clock::now();
    for (int i = 0; i < m_sessions.size(); ++i) {
        if (price(m_sessions[i], now, false)) {
            changed.append(i);
        }
    }
    return changed;
}

bool LiveSessions::price(LiveSession& s, const QDateTime& now, bool force)
{
    // Settlement prices an automatic logout to its logout; every other session to the moment
    // the cashier settles it, which the list approaches by "now".
    const QDateTime end = s.autologout && s.send.isValid() ? s.send : now;
    TimeSplit t = splittime(s.sstart, end);
    t.seconds = 0;
    // The time up falls on any second, not on the start's: its minutes move on their own.
    const qint64 left =
        s.prepaid != 0 && s.timeup.isValid() ? qMax<qint64>(0, now.secsTo(s.timeup) / 60) : 0;
    if (!force && t.hours == s.elapsed.hours && t.minutes == s.elapsed.minutes &&
        t.negative == s.elapsed.negative && left == s.minutesLeft) {
        return false;
    }
    s.elapsed = t;
    s.minutesLeft = left;
    s.priced = false;
    s.charge = Money();
    if (!s.maintains && s.sstart.isValid()) {
        const CachedTariff& tariff = tariffFor(s.user);
        if (tariff.exists) {
            s.charge =
                calccharge(tariff.rows, tariff.settings, t.hours, t.minutes, 0).rounded(m_digits);
            s.priced = true;
        }
    }
    // A prepaid session is never billed above the credit it holds.
    if (s.prepaid != 0 && s.charge > s.credit) {
        s.charge = s.credit;
    }
    s.creditLeft = s.credit - s.charge;
    if (s.creditLeft.isNegative()) {
        s.creditLeft = Money();
    }
    return true;
}

const LiveSessions::CachedTariff& LiveSessions::tariffFor(const QString& user)
{
    const QString key = user.trimmed().toCaseFolded();
    auto it = m_tariffs.find(key);
    if (it == m_tariffs.end()) {
        CachedTariff t;
        // The same lookup as settlement's: the stored category that matches trimmed, any case.
        if (const auto name = SessionService(m_db).findCategory(user)) {
            t.exists = true;
            t.rows = TariffStore(m_db).rateRows(*name, &t.settings);
        }
        ++m_tariffReads;
        it = m_tariffs.insert(key, t);
    }
    return *it;
}

void LiveSessions::tariffsChanged()
{
    m_tariffs.clear();
    if (m_sessions.isEmpty()) {
        return;
    }
    const QDateTime now = Clock::now();
    QList<int> changed;
    for (int i = 0; i < m_sessions.size(); ++i) {
        LiveSession& s = m_sessions[i];
        const Money before = s.charge;
        const bool pricedBefore = s.priced;
        price(s, now, true);
        if (s.charge != before || s.priced != pricedBefore) {
            changed.append(i);
        }
    }
    if (!changed.isEmpty()) {
        Q_EMIT rowsChanged(changed);
    }
}

bool LiveSessions::isConnected(const LiveSession& s) const
{
    if (s.cid == 0) {
        return true;
    }
    const AgentLink* link = m_link ? m_link : AgentLink::instance();
    if (!link || !link->isConnected(s.cid)) {
        return false;
    }
    // After a restart a session keeps the index of its old connection until its agent comes
    // back. The console numbers on above the stored indexes, but a link that numbers its own
    // way could have given that index to another workstation: the address must agree too.
    const QString peer = link->peerAddress(s.cid);
    return peer.isEmpty() || peer == s.ip;
}

QList<int> LiveSessions::recheckConnections(qint64 index)
{
    QList<int> changed;
    for (int i = 0; i < m_sessions.size(); ++i) {
        LiveSession& s = m_sessions[i];
        if (index >= 0 && s.cid != index) {
            continue;
        }
        const bool now = isConnected(s);
        if (now != s.connected) {
            s.connected = now;
            changed.append(i);
        }
    }
    return changed;
}

QString LiveSessions::elapsedText(const TimeSplit& t)
{
    if (t.negative) {
        return QStringLiteral("0:00");
    }
    return QStringLiteral("%1:%2").arg(t.hours).arg(t.minutes, 2, 10, QLatin1Char('0'));
}

QString LiveSessions::chargeText(const LiveSession& s) const
{
    return s.priced ? s.charge.toFixed(m_digits) : QString();
}

QString LiveSessions::prepaidText(const LiveSession& s)
{
    switch (s.prepaid) {
    case 1:
        return TicketMark;
    case 2:
        return MemberMark.arg(s.memberid);
    default:
        return {};
    }
}

QString LiveSessions::timeLeftText(const LiveSession& s)
{
    if (s.prepaid == 0) {
        return {};
    }
    return QStringLiteral("%1:%2")
        .arg(s.minutesLeft / 60)
        .arg(s.minutesLeft % 60, 2, 10, QLatin1Char('0'));
}

QString LiveSessions::creditLeftText(const LiveSession& s) const
{
    return s.prepaid == 0 ? QString() : s.creditLeft.toFixed(m_digits);
}
