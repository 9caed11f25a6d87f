// SPDX-License-Identifier: Apache-2.0
#include "server/insight/takings.h"

#include "server/core/database.h"

#include <QSqlRecord>

#include <algorithm>

namespace {

const QString Label = QStringLiteral("frmtakings");

// The moment a bill counts at. Ticket-paid bills and bills without a number are no takings.
const QString BillsSql = QStringLiteral(
    "SELECT substr(t, 1, %1) AS k, \"user\", terminal = ? AS sale, %2, %3, %4, %5, count(*) "
    "FROM (SELECT COALESCE(send, sstart) AS t, * FROM history WHERE billno IS NOT NULL AND "
    "(ticket IS NULL OR ticket = '')) AS bills WHERE t >= ? AND t < ? "
    "GROUP BY k, \"user\", sale");
const QString TopUpsSql =
    QStringLiteral("SELECT substr(Date, 1, %1) AS k, %2 FROM transactions WHERE part = ? AND "
                   "Date >= ? AND Date < ? GROUP BY k");
const QString TopUpPart = QStringLiteral("Top-up");

// An exact sum of a money column: each value in ten-thousandths, added as integers.
QString unitsSum(const char* column)
{
    return QStringLiteral("SUM(CAST(round(COALESCE(%1, 0) * %2) AS BIGINT))")
        .arg(QLatin1String(column))
        .arg(Money::Scale);
}

Money units(const QVariant& v)
{
    return Money::fromUnits(v.toLongLong());
}

// Reads the bills and top-ups in [from, to), one bucket per distinct prefix of `keyLength`
// characters of the stored time; `index` maps a prefix to its bucket (-1: none).
template <typename Index>
void fill(Database& db, const QDateTime& from, const QDateTime& to, int keyLength,
          QList<Takings::Bucket>& buckets, const Index& index)
{
    const QVariantList range{Database::timeText(from), Database::timeText(to)};
    const auto bills =
        db.rows(BillsSql.arg(keyLength).arg(unitsSum("charge"), unitsSum("otheramt"),
                                            unitsSum("netamount"), unitsSum("received")),
                QVariantList{Takings::TicketsTerminal} + range, Label);
    for (const QSqlRecord& r : bills) {
        const int i = index(r.value(0).toString());
        if (i < 0) {
            continue;
        }
        Takings::Bucket& b = buckets[i];
        const Money charge = units(r.value(3));
        const Money other = units(r.value(4));
        const Money net = units(r.value(5));
        b.received += units(r.value(6));
        b.bills += r.value(7).toInt();
        if (r.value(2).toBool()) {
            b.tickets += net;
            continue;
        }
        b.timeByCategory[r.value(1).toString()] += charge;
        b.jobWork += other;
        b.adjustment += net - charge - other;
    }
    const auto topUps = db.rows(TopUpsSql.arg(keyLength).arg(unitsSum("credit")),
                                QVariantList{TopUpPart} + range, Label);
    for (const QSqlRecord& r : topUps) {
        const int i = index(r.value(0).toString());
        if (i < 0) {
            continue;
        }
        const Money m = units(r.value(1));
        buckets[i].topUps += m;
        buckets[i].received += m;
    }
}

Takings::Period finish(Takings::Period p)
{
    p.total.start = p.from;
    for (const Takings::Bucket& b : std::as_const(p.buckets)) {
        p.total += b;
    }
    p.categories = p.total.timeByCategory.keys();
    return p;
}

// A moment as the wall clock showed it, in seconds from the first day of the day count
// (a Monday); -1 for no moment. Stored times are read straight from their text: thousands of
// sessions are read at a time, and no time zone moves an hour of the week.
qint64 wallSeconds(const QDate& d, const QTime& t)
{
    return d.toJulianDay() * 86400 + t.msecsSinceStartOfDay() / 1000;
}

qint64 wallSeconds(const QDateTime& t)
{
    return t.isValid() ? wallSeconds(t.date(), t.time()) : -1;
}

qint64 wallSeconds(const QVariant& v)
{
    const QString s = v.toString();
    if (s.size() == 19 && s.at(4) == QLatin1Char('-') && s.at(10) == QLatin1Char(' ')) {
        const QStringView t(s);
        const QDate d(t.mid(0, 4).toInt(), t.mid(5, 2).toInt(), t.mid(8, 2).toInt());
        const QTime h(t.mid(11, 2).toInt(), t.mid(14, 2).toInt(), t.mid(17, 2).toInt());
        if (d.isValid() && h.isValid()) {
            return wallSeconds(d, h);
        }
    }
    return wallSeconds(Database::parseTime(v));
}

} // namespace

Money Takings::Bucket::time() const
{
    Money sum;
    for (const Money m : timeByCategory) {
        sum += m;
    }
    return sum;
}

Takings::Bucket& Takings::Bucket::operator+=(const Bucket& o)
{
    for (auto it = o.timeByCategory.cbegin(); it != o.timeByCategory.cend(); ++it) {
        timeByCategory[it.key()] += it.value();
    }
    jobWork += o.jobWork;
    tickets += o.tickets;
    adjustment += o.adjustment;
    topUps += o.topUps;
    received += o.received;
    bills += o.bills;
    return *this;
}

Takings::Period Takings::day(Database& db, const QDate& day)
{
    Period p;
    p.from = QDateTime(day, QTime(0, 0));
    p.to = QDateTime(day.addDays(1), QTime(0, 0));
    for (int h = 0; h < 24; ++h) {
        Bucket b;
        b.start = QDateTime(day, QTime(h, 0));
        p.buckets.append(b);
    }
    // "yyyy-MM-dd HH": the hour is the last two characters.
    fill(db, p.from, p.to, 13, p.buckets, [](const QString& k) {
        bool ok = false;
        const int h = k.mid(11, 2).toInt(&ok);
        return ok && h >= 0 && h < 24 ? h : -1;
    });
    return finish(p);
}

Takings::Period Takings::month(Database& db, const QDate& anyDay)
{
    Period p;
    const QDate first(anyDay.year(), anyDay.month(), 1);
    p.from = QDateTime(first, QTime(0, 0));
    p.to = QDateTime(first.addMonths(1), QTime(0, 0));
    for (int d = 0; d < first.daysInMonth(); ++d) {
        Bucket b;
        b.start = QDateTime(first.addDays(d), QTime(0, 0));
        p.buckets.append(b);
    }
    const int days = first.daysInMonth();
    fill(db, p.from, p.to, 10, p.buckets, [days](const QString& k) {
        bool ok = false;
        const int d = k.mid(8, 2).toInt(&ok);
        return ok && d >= 1 && d <= days ? d - 1 : -1;
    });
    return finish(p);
}

Takings::Bucket Takings::between(Database& db, const QDateTime& from, const QDateTime& to)
{
    QList<Bucket> one(1);
    one[0].start = from;
    fill(db, from, to, 0, one, [](const QString&) { return 0; });
    return one[0];
}

int Takings::BusyHours::peak() const
{
    int most = 0;
    for (const auto& day : sessions) {
        most = std::max(most, *std::max_element(day.begin(), day.end()));
    }
    return most;
}

Takings::BusyHours Takings::busyHours(Database& db, int weeks, const QDateTime& now)
{
    BusyHours out;
    out.weeks = std::max(weeks, 1);
    const QDateTime from = now.addDays(-7 * qint64(out.weeks));
    const QString nowText = Database::timeText(now);
    const QString fromText = Database::timeText(from);
    // Ticket sales are bills, not sessions; everything else ran on a workstation.
    const auto rows = db.rows(
        QStringLiteral("SELECT sstart, COALESCE(send, ?) FROM history WHERE sstart < ? AND "
                       "COALESCE(send, sstart) >= ? AND (terminal IS NULL OR terminal <> ?) UNION "
                       "ALL SELECT sstart, CAST(? AS TEXT) FROM terminals WHERE sstart IS NOT NULL "
                       "AND sstart < ?"),
        {nowText, nowText, fromText, TicketsTerminal, nowText, nowText}, Label);
    const qint64 first = wallSeconds(from);
    const qint64 last = wallSeconds(now);
    for (const QSqlRecord& r : rows) {
        qint64 s = wallSeconds(r.value(0));
        qint64 e = wallSeconds(r.value(1));
        if (s < 0) {
            continue;
        }
        e = e < 0 || e > last ? last : e;
        s = std::max(s, first);
        // Every clock hour the session touched, the hour it started in at least.
        qint64 hour = s / 3600;
        do {
            // Day 0 of the count was a Monday.
            ++out.sessions[(hour / 24) % 7][hour % 24];
            ++hour;
        } while (hour * 3600 < e);
    }
    return out;
}
