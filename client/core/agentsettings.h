// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/settingsstore.h"

#include <QDateTime>
#include <QString>

// The agent's own settings over the settings store. Every value is text; a value that was
// never written reads as "Error" and each accessor substitutes its documented default.
class AgentSettings
{
public:
    static inline const QString AppTitle = QStringLiteral("Vantiro Client 1.2");
    static inline const QString BuiltInPassword = QStringLiteral("TOVLE");

    explicit AgentSettings(QString file = {});

    static bool isSet(const QString& value) { return value != SettingsStore::Error; }
    // The value of the leading number of a text, 0 when it does not start with one (blanks
    // before it are skipped). Clamped to +-10^9 so that no later sum can overflow.
    static qint64 leadingNumber(const QString& text);

    // The keys the agent needs, created when missing.
    void createKeys();

    QString read(const QString& key, const QString& name) const;
    // Creates the key first: the agent writes only its own values.
    void write(const QString& key, const QString& name, const QString& text);

    // Console connection.
    QString server() const { return read(RegKey::Server, QStringLiteral("Server")); }
    QString cname() const { return read(RegKey::Server, QStringLiteral("cname")); }
    // The name sent to the console: the stored one, else the host name.
    QString terminalName() const;
    // The stored port text, "2701" when none is stored.
    QString portText() const;
    bool everConnected() const;
    // Written after a successful connection only.
    void storeConnection(const QString& server, const QString& name, const QString& port);
    // Port of the auxiliary listener: $VANTIROKIT_WAKE_PORT, else value "wakeport" of the
    // Server key, else 1021.
    quint16 wakePort() const;
    // The web address opened when a session starts (value "weburl" of the options key);
    // empty when none is configured.
    QString webAddress() const;
    // The workstation's own address to use on a machine with several (value
    // Server\localaddress); empty lets the system choose. Both the console connection and the
    // wake listener use it.
    QString localAddress() const;
    // The cafe's shared link key (value Server\linkkey) the console must prove and this agent
    // proves back; empty when none is set, and then the link is open as it always was.
    QByteArray linkKey() const;

    // Session limit and automatic logout.
    QString autologoffText() const
    {
        return read(RegKey::AgentOptions, QStringLiteral("autologoff"));
    }
    bool autologoffOn() const { return autologoffText() == QLatin1String("1"); }
    void setAutologoff(bool on);
    QString surfuptoText() const { return read(RegKey::AgentOptions, QStringLiteral("surfupto")); }
    qint64 surfupto() const;
    void setSurfupto(const QString& text);
    QString minlastText() const { return read(RegKey::AgentOptions, QStringLiteral("minlast")); }
    void setMinlast(const QString& text);

    // The session's login time as stored; invalid when unset or unreadable.
    QDateTime loginTime() const;
    void setLoginTime(const QDateTime& t);

    // A paid session was running when the agent last heard of it (value "running" of the
    // login-time key). An agent ended during a session finds out on its way back, from the
    // console's answer, whether the session ended while it was away.
    bool sessionRunning() const;
    void setSessionRunning(bool running);
    // A prepaid log off the console may not have heard of (value "logoffowed" of the
    // login-time key): kept across restarts until the console's end of the session arrives, so
    // a session the console resumes cannot open the workstation to whoever sits there next.
    bool logoffOwed() const;
    void setLogoffOwed(bool owed);

    // The settings password, "TOVLE" when none is stored.
    QString settingsPassword() const;

    SettingsStore& store() { return m_store; }

private:
    SettingsStore m_store;
};
