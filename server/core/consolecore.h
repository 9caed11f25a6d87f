// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "server/core/consoleoptions.h"
#include "server/core/databasetarget.h"

#include <QObject>
#include <QString>

#include <functional>

class Database;
class MessageLog;

// The console's start-up and shut-down, without windows: opening the database, recovering
// the agents of an unclean end, the console's own workstation row, and listening. The socket
// layer is reached through hooks so that this layer does not depend on it.
class ConsoleCore : public QObject
{
    Q_OBJECT
public:
    static inline const QString AppTitle = QStringLiteral("Vantiro 1.2 Server");
    // The console's own computer in the ready list, on a database of its own.
    static inline const QString OwnRowName = QStringLiteral("VK Server");
    static inline const QString StartLabel = QStringLiteral("Systryfrom load");

    struct Hooks
    {
        // Prompts an agent at that address to connect again (a short connection to its
        // wake port).
        std::function<void(const QString& ip)> wake;
        // Starts listening; false when the port cannot be taken.
        std::function<bool(quint16 port)> listen;
        // The console computer's own address, as agents see it.
        std::function<QString()> ownAddress;
        // On a database shared by several desks: takes this console's desk and returns its
        // number, or -1 with the reason when it cannot (another console runs as that desk).
        std::function<int(QString* refusal)> takeDesk;
    };

    ConsoleCore(Database& db, MessageLog& log, QObject* parent = nullptr);

    // Runs the start-up in its fixed order; every failing step is logged and skipped, so the
    // console comes up even without a database or a listening port. Returns whether the
    // database is open.
    bool startUp(const DatabaseTarget& target, const Hooks& hooks);
    bool startUp(const QString& databasePath, const Hooks& hooks);
    // Empties online (of this desk) and closes the database; safe to call more than once.
    void shutDown();

    const ConsoleOptions& options() const { return m_options; }
    int currencyDigits() const { return m_currencyDigits; }
    bool listening() const { return m_listening; }
    bool isShutDown() const { return m_shutDown; }
    // This console's desk (0 on a database of its own).
    int desk() const { return m_desk; }
    // The start-up stopped because this console could not take its desk; it must not run.
    bool deskRefused() const { return m_deskRefused; }

    // Adds the console's own row to online unless a running session has its address.
    void addOwnRow(const QString& ownIp);
    // The name of this console's own row. Every desk's own computer is index 0, so on a
    // shared database the name (which carries the desk's) is what tells one desk's from
    // another's: sessions are found by it, and a row of index 0 is only ever addressed with it.
    static QString ownRowName(const Database& db);
    static QString ownRowName(const DatabaseTarget& target);

    static QString defaultOwnAddress();

private:
    // Everything after the database is open.
    bool recover(const Hooks& hooks);

    Database& m_db;
    MessageLog& m_log;
    ConsoleOptions m_options;
    int m_currencyDigits = 2;
    bool m_listening = false;
    bool m_shutDown = false;
    int m_desk = 0;
    bool m_deskRefused = false;
    QString m_ownIp;
};
