// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/sessions/tariffstore.h"

#include <QList>
#include <QString>
#include <QStringList>

class Database;

// The guided setup of a new cafe, without its window: the administrator's password, the
// cafe's name and address lines for the bill header, one usage category from the 30/45/60
// template with its rates, and the export and backup folders. It is offered on a database that
// holds nothing yet; doing it or skipping it leaves a mark in the settings file so that it is
// never offered again. Merely closing it leaves no mark: it is offered again at the next start.
class FirstRun
{
public:
    // The mark in the console's options key.
    static inline const QString DoneValue = QStringLiteral("firstrundone");

    struct Answers
    {
        QString password;
        QString retyped;
        QString cafeName;
        QString address1;
        QString address2;
        QString category;
        QString description;
        // Rate totals for 30, 45 and 60 minutes, as typed.
        QString rate30;
        QString rate45;
        QString rate60;
        bool byMinute = false;
        QString exportFolder;
        QString backupFolder;
    };

    // `settingsFile` empty: the programs' usual settings file.
    FirstRun(Database& db, int currencyDigits, const QString& settingsFile = {});

    // True when the setup was neither done nor skipped and the database is a new one: no
    // categories, members, sessions, bills, ledger entries or job work, no passwords set.
    bool isDue() const;
    bool isMarkedDone() const;

    // The answers a new cafe starts from (the folders the console uses when none are set).
    Answers defaults() const;

    // Each check returns "" when the answers on that page are acceptable, else the message
    // to show.
    QString checkPassword(const Answers& a) const;
    QString checkCafe(const Answers& a) const;
    QString checkCategory(const Answers& a) const;
    QString checkFolders(const Answers& a) const;

    // The category's rate rows from the template with the typed totals, as the tariff editor
    // would store them.
    QList<RateRow> rateRows(const Answers& a) const;

    // Checks every page, then stores the password and the category in one transaction and
    // the cafe's details and folders in the settings file, and marks the setup done. Returns
    // "" on success, else what went wrong (nothing is marked then).
    QString apply(const Answers& a);
    // Marks the setup done without changing anything else.
    void skip();

    // What the message log says when the setup is left without saving (skipped for good, or
    // closed for this start): how to log in and where the cafe's settings are added instead.
    static QStringList leftUnsavedLines(bool skipped);

private:
    static QString folderProblem(const QString& folder, const QString& what);

    Database& m_db;
    int m_digits;
    QString m_settingsFile;
};
