// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/money.h"
#include "common/timesplit.h"
#include "server/sessions/tariffstore.h"

#include <QDateTime>
#include <QHash>
#include <QList>
#include <QObject>
#include <QString>

class AgentLink;
class Database;

// One running session as the console's session list shows it: who, since when, and what it
// has used and costs so far.
struct LiveSession
{
    qint64 rowid = 0;
    QString terminal;
    QString ip;
    qint64 cid = 0;
    QDateTime sstart;
    QDateTime send;
    QString user;
    bool maintains = false;
    bool autologout = false;

    TimeSplit elapsed;     // to the current minute (to the logout for an automatic logout)
    Money charge;          // rounded to the currency digits
    bool priced = false;   // false when the session is not billed or its category is gone
    bool connected = true; // the agent's connection is open (the console's own row always is)

    // Paid in advance: 1 from a ticket, 2 from a member's balance; 0 paid at the end.
    int prepaid = 0;
    QString memberid;
    Money credit;           // held for the session: the most it may deduct
    QDateTime timeup;       // when the held credit runs out
    qint64 minutesLeft = 0; // whole minutes to the time up, never below 0
    Money creditLeft;       // the credit held less the charge so far, never below 0
};

// The figures of every running session, kept current for the console's session list at a cost
// that does not grow with the database: the sessions are read once per change of `terminals`
// (by reload()), the rate rows once per category until a tariff is saved, and a tick prices
// only the sessions whose whole minutes moved. Charges come from the same calccharge that
// settlement uses, over the same span (start to now, or to the automatic logout).
class LiveSessions : public QObject
{
    Q_OBJECT
public:
    static inline const QString DisconnectedMark = QStringLiteral("(disconnected)");

    // `link` tells which connections are open; nullptr means AgentLink::instance() at each use.
    LiveSessions(Database& db, int currencyDigits, AgentLink* link = nullptr,
                 QObject* parent = nullptr);

    // Reads the running sessions afresh and prices all of them.
    void reload();
    // Brings every session to Clock::now(); returns the positions whose figures changed.
    QList<int> tick();
    // Checks the connection of the sessions on that connection index (or of all, for -1)
    // against the link; returns the positions whose mark changed.
    QList<int> recheckConnections(qint64 index = -1);

    const QList<LiveSession>& sessions() const { return m_sessions; }
    // Position of the session with that rowid, or -1.
    int indexOfRowid(qint64 rowid) const { return m_byRowid.value(rowid, -1); }

    // "h:mm" of the elapsed time.
    static QString elapsedText(const TimeSplit& t);
    // The charge as the list shows it ("" when not priced).
    QString chargeText(const LiveSession& s) const;
    // A prepaid session's mark, time left and credit left ("" for one paid at the end).
    static QString prepaidText(const LiveSession& s);
    static QString timeLeftText(const LiveSession& s);
    QString creditLeftText(const LiveSession& s) const;
    static inline const QString TicketMark = QStringLiteral("Ticket");
    // "%1" is the member id.
    static inline const QString MemberMark = QStringLiteral("Member %1");

    // Times the rate rows were read from the database (what the cache saves).
    int tariffReads() const { return m_tariffReads; }

Q_SIGNALS:
    // Positions whose figures or marks changed outside reload() and tick(), e.g. after a
    // tariff was saved or an agent dropped.
    void rowsChanged(const QList<int>& positions);

private:
    struct CachedTariff
    {
        bool exists = false;
        QList<RateRow> rows;
        TariffSettings settings;
    };

    const CachedTariff& tariffFor(const QString& user);
    // Prices the session when its whole minutes moved (always with `force`); true when its
    // figures changed.
    bool price(LiveSession& s, const QDateTime& now, bool force);
    bool isConnected(const LiveSession& s) const;
    void tariffsChanged();

    Database& m_db;
    int m_digits;
    AgentLink* m_link;
    QList<LiveSession> m_sessions;
    QHash<qint64, int> m_byRowid;
    QHash<QString, CachedTariff> m_tariffs; // by the session's usage text, trimmed and folded
    int m_tariffReads = 0;
};
