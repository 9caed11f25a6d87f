// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class AgentLink;
class Database;
class LiveSessions;
class WebServer;

// The owner's page as the console runs it: started from the options when they turn it on,
// over HTTPS when they name a certificate and key, on the addresses they list and no other.
class OwnerWeb : public QObject
{
    Q_OBJECT
public:
    // `settingsFile` empty: the programs' usual settings file.
    OwnerWeb(Database& db, int currencyDigits, AgentLink* link = nullptr,
             const QString& settingsFile = {}, QObject* parent = nullptr);
    ~OwnerWeb() override;

    // Starts (or stops) the page as the options say now; a line for the message log when it
    // started or could not, empty when the page is off.
    QString apply();
    // The server while the page runs, else nullptr.
    WebServer* server() const { return m_server.get(); }

private:
    Database& m_db;
    int m_digits;
    QString m_settingsFile;
    std::unique_ptr<LiveSessions> m_live;
    std::unique_ptr<WebServer> m_server;
};
