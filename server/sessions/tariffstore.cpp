// SPDX-License-Identifier: Apache-2.0
#include "server/sessions/tariffstore.h"

#include "server/core/administration.h"
#include "server/core/database.h"

#include <QSqlRecord>

namespace {

const QString SaveLabel = QStringLiteral("Command1_Click");

bool flag(const QVariant& v)
{
    return v.toLongLong() != 0;
}

} // namespace

TariffStore::TariffStore(Database& db) : m_db(db) {}

QStringList TariffStore::categories() const
{
    QStringList out;
    const auto rows = m_db.rows(QStringLiteral("SELECT \"user\" FROM user_category ORDER BY rowid"),
                                {}, QStringLiteral("cmbcategoryadd"));
    for (const QSqlRecord& r : rows) {
        out.append(r.value(0).toString());
    }
    return out;
}

std::optional<Tariff> TariffStore::find(const QString& name) const
{
    const auto row = m_db.firstRow(QStringLiteral("SELECT \"user\", Description FROM user_category "
                                                  "WHERE lower(\"user\") = lower(?)"),
                                   {name}, QStringLiteral("cmbusage_LostFocus"));
    if (!row) {
        return std::nullopt;
    }
    Tariff t;
    t.name = row->value(0).toString();
    t.description = row->value(1).toString();
    t.rows = rateRows(t.name, &t.settings);
    return t;
}

QList<RateRow> TariffStore::rateRows(const QString& name, TariffSettings* settings) const
{
    QList<RateRow> out;
    // The ordering is what pricing relies on; rowid keeps equal slices in the order saved.
    const auto rows = m_db.rows(
        QStringLiteral("SELECT timeslice, Rate, tperiod, rateslice, rpermin, fhour, ftimespent, "
                       "rateflathour, fhourrate, fhournos, chargebyminute, usefirsttimeperiod "
                       "FROM ratelist WHERE lower(member) = lower(?) ORDER BY timeslice, rowid"),
        {name}, QStringLiteral("calccharge"));
    for (const QSqlRecord& r : rows) {
        RateRow row;
        row.timeslice = Money::fromVariant(r.value(0));
        row.rate = Money::fromVariant(r.value(1));
        row.tperiod = r.value(2).toString();
        row.rateslice = r.value(3).toString();
        row.rpermin = Money::fromVariant(r.value(4));
        if (settings != nullptr && out.isEmpty()) {
            settings->fhour = flag(r.value(5));
            settings->ftimespent = flag(r.value(6));
            settings->rateflathour = flag(r.value(7));
            settings->fhourrate = Money::fromVariant(r.value(8));
            settings->fhournos = Money::fromVariant(r.value(9));
            settings->chargebyminute = flag(r.value(10));
            settings->usefirsttimeperiod = flag(r.value(11));
        }
        out.append(row);
    }
    if (settings != nullptr && out.isEmpty()) {
        *settings = TariffSettings{};
    }
    return out;
}

bool TariffStore::save(const QString& name, const QString& description, bool isNew,
                       const QList<RateRow>& rows, const TariffSettings& s)
{
    const bool ok = m_db.transaction(
        [&] {
            if (!Administration::begin(m_db,
                                       (isNew ? QStringLiteral("Usage category %1 added")
                                              : QStringLiteral("Usage category %1 changed"))
                                           .arg(name),
                                       SaveLabel)) {
                return false;
            }
            if (isNew) {
                if (!m_db.run(
                        QStringLiteral(
                            "INSERT INTO user_category (\"user\", Description) VALUES (?, ?)"),
                        {name, description}, SaveLabel)) {
                    return false;
                }
            }
            if (!m_db.run(QStringLiteral("DELETE FROM ratelist WHERE lower(member) = lower(?)"),
                          {name}, SaveLabel)) {
                return false;
            }
            for (const RateRow& r : rows) {
                const bool written = m_db.run(
                    QStringLiteral(
                        "INSERT INTO ratelist (member, timeslice, Rate, tperiod, rateslice, "
                        "rpermin, fhour, ftimespent, rateflathour, fhourrate, fhournos, "
                        "chargebyminute, usefirsttimeperiod) "
                        "VALUES (?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?, ?)"),
                    {name, r.timeslice.toVariant(), r.rate.toVariant(), r.tperiod, r.rateslice,
                     r.rpermin.toVariant(), int(s.fhour), int(s.ftimespent), int(s.rateflathour),
                     s.fhourrate.toVariant(), s.fhournos.toVariant(), int(s.chargebyminute),
                     int(s.usefirsttimeperiod)},
                    SaveLabel);
                if (!written) {
                    return false;
                }
            }
            if (isNew) {
                m_db.notifyChanged(QStringLiteral("user_category"));
            }
            m_db.notifyChanged(QStringLiteral("ratelist"));
            return true;
        },
        SaveLabel);
    return ok;
}

bool TariffStore::remove(const QString& name, QString* refusal)
{
    return m_db.transaction(
        [&] {
            if (!Administration::begin(m_db, QStringLiteral("Usage category %1 deleted").arg(name),
                                       SaveLabel)) {
                return false;
            }
            // A running session or a ticket priced by the category would lose its tariff:
            // the session would bill nothing and the ticket would keep its credit for ever.
            const QString busy = inUse(name);
            if (!busy.isEmpty()) {
                if (refusal) {
                    *refusal = busy;
                }
                return false;
            }
            const bool ok =
                m_db.run(
                    QStringLiteral("DELETE FROM user_category WHERE lower(\"user\") = lower(?)"),
                    {name}, SaveLabel) &&
                m_db.run(QStringLiteral("DELETE FROM ratelist WHERE lower(member) = lower(?)"),
                         {name}, SaveLabel);
            if (ok) {
                m_db.notifyChanged(QStringLiteral("user_category"));
                m_db.notifyChanged(QStringLiteral("ratelist"));
            }
            return ok;
        },
        SaveLabel);
}

QString TariffStore::inUse(const QString& name) const
{
    const QString trimmed = name.trimmed();
    if (m_db.scalar(QStringLiteral("SELECT count(*) FROM terminals WHERE lower(trim(\"user\")) = "
                                   "lower(?)"),
                    {trimmed}, SaveLabel)
            .toInt() > 0) {
        return QStringLiteral("A running session uses this usage list; end it first.");
    }
    if (m_db.scalar(QStringLiteral("SELECT count(*) FROM tickets WHERE lower(trim(category)) = "
                                   "lower(?) AND voided = 0 AND credit > 0"),
                    {trimmed}, SaveLabel)
            .toInt() > 0) {
        return QStringLiteral("Tickets with credit left use this usage list; it cannot be "
                              "deleted.");
    }
    return {};
}
