// SPDX-License-Identifier: Apache-2.0
#include "server/web/ownerview.h"

#include "server/core/database.h"
#include "server/insight/shifts.h"
#include "server/insight/takings.h"
#include "server/sessions/livesessions.h"

#include <QSet>
#include <QSqlRecord>

#include <algorithm>

namespace OwnerView {

namespace {

QString stamp(const QDateTime& t)
{
    return t.isValid() ? t.toString(QStringLiteral("yyyy-MM-dd HH:mm")) : QString();
}

} // namespace

OwnerSnapshot snapshot(Database& db, LiveSessions& live, int currencyDigits,
                       const QString& cafeName, const QDateTime& now)
{
    const auto money = [currencyDigits](const Money& m) { return m.toFixed(currencyDigits); };
    OwnerSnapshot s;
    s.cafeName = cafeName;
    s.at = now;

    live.reload();
    QSet<QString> inSession;
    for (const LiveSession& l : live.sessions()) {
        if (l.terminal.isEmpty()) {
            continue;
        }
        OwnerSnapshot::Station st;
        st.name = l.terminal;
        st.state = l.connected ? QStringLiteral("In session") : QStringLiteral("Disconnected");
        st.user = l.user;
        st.elapsed = LiveSessions::elapsedText(l.elapsed);
        st.charge = live.chargeText(l);
        s.stations.append(st);
        inSession.insert(l.ip);
        inSession.insert(l.terminal.toLower());
    }
    for (const QSqlRecord& r : db.rows(QStringLiteral("SELECT name, ip FROM online ORDER BY name"),
                                       {}, QStringLiteral("owner page"))) {
        const QString name = r.value(0).toString();
        const QString ip = r.value(1).toString();
        if (inSession.contains(ip) || inSession.contains(name.toLower())) {
            continue;
        }
        inSession.insert(ip);
        s.stations.append({name, QStringLiteral("Free"), {}, {}, {}});
    }
    std::sort(s.stations.begin(), s.stations.end(), [](const auto& a, const auto& b) {
        return QString::localeAwareCompare(a.name, b.name) < 0;
    });

    const Takings::Period today = Takings::day(db, now.date());
    s.billedToday = money(today.total.billed());
    s.receivedToday = money(today.total.received);
    s.billsToday = today.total.bills;
    for (const Takings::Bucket& b : today.buckets) {
        s.hours.append({b.start.time().hour(), b.billed(), money(b.billed())});
    }
    s.openShiftBilled = money(Shifts::current(db, now).billed());
    for (const Shifts::Shift& sh : Shifts::closed(db, ShiftsShown)) {
        const Shifts::Figures& f = sh.figures;
        s.shifts.append({stamp(f.closed), f.closedBy, f.bills, money(f.billed()), money(f.expected),
                         money(f.counted), money(f.difference())});
    }
    return s;
}

} // namespace OwnerView
