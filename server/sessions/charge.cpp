// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/charge.h"

#include "server/sessions/tariffstore.h"

namespace {

// Minutes inside the rows' slices: at the first slice that reaches the minutes, either its
// whole rate (slice pricing, or per-minute pricing on an exact slice end) or the rate of the
// slice below plus the minutes into this slice at its rate per minute.
Money sliceCharge(const QList<RateRow>& rows, int minutes)
{
    const Money m = Money::fromWhole(minutes);
    for (const RateRow& r : rows) {
        if (m <= r.timeslice) {
            return r.rate;
        }
    }
    return {};
}

Money perMinuteCharge(const QList<RateRow>& rows, int minutes)
{
    const Money m = Money::fromWhole(minutes);
    for (qsizetype k = 0; k < rows.size(); ++k) {
        const RateRow& r = rows[k];
        if (m < r.timeslice) {
            if (k == 0) {
                return m.times(r.rpermin);
            }
            const RateRow& below = rows[k - 1];
            return below.rate + (m - below.timeslice).times(r.rpermin);
        }
        if (m == r.timeslice) {
            return r.rate;
        }
    }
    return {};
}

} // namespace

Money calccharge(Database& db, const QString& category, std::int64_t hours, int minutes,
                 int seconds)
{
    if (hours < 0 || minutes < 0 || seconds < 0) {
        return {};
    }
    TariffSettings s;
    const QList<RateRow> rows = TariffStore(db).rateRows(category, &s);
    return calccharge(rows, s, hours, minutes, seconds);
}

Money calccharge(const QList<RateRow>& rows, const TariffSettings& s, std::int64_t hours,
                 int minutes, int seconds)
{
    if (hours < 0 || minutes < 0 || seconds < 0 || rows.isEmpty()) {
        return {};
    }
    const Money first = rows.first().rate;
    const Money last = rows.last().rate;

    Money charge;
    if (hours == 0 && minutes == 0) {
        charge = first;
    }
    if (hours > 0) {
        const Money h = Money::fromWhole(hours);
        if (!s.fhour) {
            charge = last * hours;
        } else if (s.ftimespent) {
            charge = h.times(s.fhourrate);
        } else if (h > s.fhournos) {
            charge = (h - s.fhournos).times(s.fhourrate) + s.fhournos.times(last);
        } else {
            charge = last * hours;
        }
    }
    if (minutes > 0) {
        const bool perMinute = s.chargebyminute || (s.fhour && s.rateflathour && hours > 0);
        charge += perMinute ? perMinuteCharge(rows, minutes) : sliceCharge(rows, minutes);
    }
    if (s.chargebyminute && s.usefirsttimeperiod && charge < first) {
        charge = first;
    }
    return charge;
}
