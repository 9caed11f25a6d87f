// SPDX-License-Identifier: Apache-2.0
#include "client/core/agentsettings.h"

#include "common/linkauth.h"

#include "common/protocol.h"

#include <QHostInfo>

AgentSettings::AgentSettings(QString file) : m_store(std::move(file)) {}

qint64 AgentSettings::leadingNumber(const QString& text)
{
    constexpr qint64 limit = 1000000000;
    int i = 0;
    while (i < text.size() && (text.at(i) == u' ' || text.at(i) == u'\t')) {
        ++i;
    }
    bool negative = false;
    if (i < text.size() && (text.at(i) == u'-' || text.at(i) == u'+')) {
        negative = text.at(i) == u'-';
        ++i;
    }
    qint64 value = 0;
    for (; i < text.size() && text.at(i) >= u'0' && text.at(i) <= u'9'; ++i) {
        value = value * 10 + (text.at(i).unicode() - u'0');
        if (value > limit) {
            value = limit;
        }
    }
    return negative ? -value : value;
}

void AgentSettings::createKeys()
{
    for (const QString& key : {RegKey::Product, RegKey::Server, RegKey::AgentOptions,
                               RegKey::LoginTime, RegKey::Time, RegKey::Screen}) {
        m_store.createKey(key);
    }
}

QString AgentSettings::read(const QString& key, const QString& name) const
{
    return m_store.readValue(key, name);
}

void AgentSettings::write(const QString& key, const QString& name, const QString& text)
{
    m_store.createKey(key);
    m_store.writeValue(key, name, text);
}

QString AgentSettings::terminalName() const
{
    const QString name = cname();
    return isSet(name) ? name : QHostInfo::localHostName();
}

QString AgentSettings::portText() const
{
    const QString port = read(RegKey::Server, QStringLiteral("port"));
    return isSet(port) ? port : QString::number(Proto::DefaultPort);
}

bool AgentSettings::everConnected() const
{
    return isSet(read(RegKey::Server, QStringLiteral("connected")));
}

void AgentSettings::storeConnection(const QString& server, const QString& name, const QString& port)
{
    write(RegKey::Server, QStringLiteral("Server"), server);
    write(RegKey::Server, QStringLiteral("cname"), name);
    write(RegKey::Server, QStringLiteral("port"), port);
    write(RegKey::Server, QStringLiteral("connected"), QStringLiteral("True"));
}

quint16 AgentSettings::wakePort() const
{
    bool ok = false;
    const QString env = qEnvironmentVariable("VANTIROKIT_WAKE_PORT");
    if (!env.isEmpty()) {
        const uint p = env.toUInt(&ok);
        if (ok && p <= 65535) {
            return quint16(p);
        }
    }
    const QString stored = read(RegKey::Server, QStringLiteral("wakeport"));
    if (isSet(stored)) {
        const uint p = stored.trimmed().toUInt(&ok);
        if (ok && p <= 65535) {
            return quint16(p);
        }
    }
    return Proto::WakePort;
}

QString AgentSettings::localAddress() const
{
    const QString a = read(RegKey::Server, QStringLiteral("localaddress"));
    return isSet(a) ? a.trimmed() : QString();
}

QByteArray AgentSettings::linkKey() const
{
    return LinkAuth::keyFromSetting(read(RegKey::Server, QStringLiteral("linkkey")));
}

QString AgentSettings::webAddress() const
{
    const QString url = read(RegKey::AgentOptions, QStringLiteral("weburl"));
    return isSet(url) ? url.trimmed() : QString();
}

void AgentSettings::setAutologoff(bool on)
{
    write(RegKey::AgentOptions, QStringLiteral("autologoff"),
          on ? QStringLiteral("1") : QStringLiteral("0"));
}

qint64 AgentSettings::surfupto() const
{
    const QString text = surfuptoText();
    return isSet(text) ? leadingNumber(text) : 0;
}

void AgentSettings::setSurfupto(const QString& text)
{
    write(RegKey::AgentOptions, QStringLiteral("surfupto"), text);
}

void AgentSettings::setMinlast(const QString& text)
{
    write(RegKey::AgentOptions, QStringLiteral("minlast"), text);
}

QDateTime AgentSettings::loginTime() const
{
    const QString text = read(RegKey::LoginTime, QStringLiteral("time"));
    if (!isSet(text)) {
        return {};
    }
    return QDateTime::fromString(text.trimmed(), QString::fromLatin1(Proto::DateTimeFormat));
}

void AgentSettings::setLoginTime(const QDateTime& t)
{
    write(RegKey::LoginTime, QStringLiteral("time"),
          t.toString(QString::fromLatin1(Proto::DateTimeFormat)));
}

bool AgentSettings::sessionRunning() const
{
    return read(RegKey::LoginTime, QStringLiteral("running")) == QLatin1String("1");
}

void AgentSettings::setSessionRunning(bool running)
{
    if (sessionRunning() != running) {
        write(RegKey::LoginTime, QStringLiteral("running"),
              running ? QStringLiteral("1") : QStringLiteral("0"));
    }
}

bool AgentSettings::logoffOwed() const
{
    return read(RegKey::LoginTime, QStringLiteral("logoffowed")) == QLatin1String("1");
}

void AgentSettings::setLogoffOwed(bool owed)
{
    if (logoffOwed() != owed) {
        write(RegKey::LoginTime, QStringLiteral("logoffowed"),
              owed ? QStringLiteral("1") : QStringLiteral("0"));
    }
}

QString AgentSettings::settingsPassword() const
{
    const QString psw = read(RegKey::Password, QStringLiteral("psw"));
    return isSet(psw) ? psw : BuiltInPassword;
}
