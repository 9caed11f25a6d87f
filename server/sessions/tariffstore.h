// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <optional>

class Database;

// The settings of a usage category. They are repeated on every rate row of the category, so a
// reader takes them from any one row.
struct TariffSettings
{
    bool fhour = false;        // flat hourly rate in force
    bool ftimespent = false;   // with fhour: every whole hour at the flat rate
    bool rateflathour = false; // with fhour: minutes after a whole hour charged per minute
    Money fhourrate;           // the flat rate per hour
    Money fhournos;            // whole hours after which the flat rate applies
    bool chargebyminute = false;
    bool usefirsttimeperiod = false; // with chargebyminute: the first row's rate is the minimum

    bool operator==(const TariffSettings&) const = default;
};

// One hour slice: a session part of up to `timeslice` minutes costs `rate` (cumulative).
struct RateRow
{
    Money timeslice;
    Money rate;
    QString tperiod;   // the editor's Time Period text
    QString rateslice; // the editor's Rate text
    Money rpermin;

    bool operator==(const RateRow&) const = default;
};

struct Tariff
{
    QString name; // as stored in user_category
    QString description;
    QList<RateRow> rows; // ascending by timeslice
    TariffSettings settings;
};

// The one place that reads and writes usage categories and their rate rows, shared by the
// tariff editor and the charge engine. Names are compared without regard to case, as the
// category key is.
class TariffStore
{
public:
    explicit TariffStore(Database& db);

    // Every category name, in the order the categories were created.
    QStringList categories() const;
    // The category with its rows and settings; nullopt when it has no user_category row.
    std::optional<Tariff> find(const QString& name) const;
    // The rate rows of a category in ascending timeslice order (empty when it has none);
    // `settings`, when given, receives those of the first row.
    QList<RateRow> rateRows(const QString& name, TariffSettings* settings = nullptr) const;

    // Stores a category and replaces all its rate rows, in one transaction: on any failure
    // the old tariff stays whole and false is returned. A new category gets its
    // user_category row with the description; an existing one keeps its stored description.
    bool save(const QString& name, const QString& description, bool isNew,
              const QList<RateRow>& rows, const TariffSettings& settings);
    // Deletes a category and all its rate rows together; refused (with the reason in
    // `refusal`) while a running session or a ticket with credit left uses it.
    bool remove(const QString& name, QString* refusal = nullptr);

private:
    QString inUse(const QString& name) const;

    Database& m_db;
};
