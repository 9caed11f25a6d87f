// SPDX-License-Identifier: Apache-2.0
#include "support/agentprocess.h"

#include "common/settingsstore.h"
#include "platform/loginsession.h"
#include "support/systemwait.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QJsonDocument>

namespace {

QByteArray readFile(const QString& name)
{
    QFile f(name);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

AgentTestConsole::AgentTestConsole(QObject* parent) : QObject(parent)
{
    connect(&m_server, &QTcpServer::newConnection, this, [this] {
        while (QTcpSocket* s = m_server.nextPendingConnection()) {
            if (m_agent) {
                m_agent->deleteLater();
            }
            m_agent = s;
            m_received.clear();
            ++m_connections;
            connect(s, &QTcpSocket::readyRead, this, [this, s] {
                if (s == m_agent) {
                    m_received += s->readAll();
                }
            });
        }
    });
}

bool AgentTestConsole::listen(quint16 port)
{
    if (!m_server.listen(QHostAddress::LocalHost, port)) {
        return false;
    }
    m_port = m_server.serverPort();
    return true;
}

void AgentTestConsole::stop()
{
    m_server.close();
    if (m_agent) {
        m_agent->abort();
        m_agent->deleteLater();
        m_agent = nullptr;
    }
}

bool AgentTestConsole::send(const QByteArray& bytes)
{
    if (!hasAgent()) {
        return false;
    }
    const bool ok = m_agent->write(bytes) == bytes.size();
    m_agent->flush();
    return ok;
}

bool AgentTestConsole::waitFor(const QByteArray& text, int timeoutMs)
{
    return SystemTest::waitUntil([&] { return m_received.contains(text); }, timeoutMs);
}

bool AgentTestConsole::waitForAgent(int timeoutMs)
{
    return SystemTest::waitUntil([this] { return hasAgent(); }, timeoutMs);
}

AgentProcess::AgentProcess()
{
    const QString dir = QDir::currentPath();
    m_stateFile = dir + QStringLiteral("/agent-state.json");
    m_powerLog = dir + QStringLiteral("/power.log");
    m_script = dir + QStringLiteral("/power.sh");
    m_loginLog = dir + QStringLiteral("/logins.log");
    setPowerTail({});
}

void AgentProcess::setPowerTail(const QByteArray& lines)
{
    QFile f(m_script);
    if (f.open(QIODevice::WriteOnly)) {
        f.write("#!/bin/sh\necho \"$1\" >> '" + m_powerLog.toUtf8() + "'\n" + lines);
    }
    f.setPermissions(f.permissions() | QFileDevice::ExeOwner);
}

AgentProcess::~AgentProcess()
{
    kill();
}

void AgentProcess::seedServer(const QString& address, quint16 port, const QString& cname,
                              bool connectedBefore)
{
    SettingsStore store;
    store.createKey(RegKey::Server);
    store.writeValue(RegKey::Server, QStringLiteral("Server"), address);
    store.writeValue(RegKey::Server, QStringLiteral("port"), QString::number(port));
    if (!cname.isNull()) {
        store.writeValue(RegKey::Server, QStringLiteral("cname"), cname);
    }
    if (connectedBefore) {
        store.writeValue(RegKey::Server, QStringLiteral("connected"), QStringLiteral("True"));
    }
}

void AgentProcess::enableLoginEnding()
{
    SettingsStore s;
    s.createKey(RegKey::Platform);
    s.writeValue(RegKey::Platform, QString::fromLatin1(LoginSession::EndValue),
                 QStringLiteral("1"));
}

QString AgentProcess::executable()
{
    QString dir = qEnvironmentVariable("VK_BIN_DIR");
    if (dir.isEmpty()) {
        dir = QCoreApplication::applicationDirPath() + QStringLiteral("/../bin");
    }
    return dir + QStringLiteral("/client");
}

QProcessEnvironment AgentProcess::environment(QProcessEnvironment env) const
{
    env.insert(QStringLiteral("VANTIROKIT_HOME"), qEnvironmentVariable("VANTIROKIT_HOME"));
    env.insert(QStringLiteral("VANTIROKIT_AGENT_STATE_FILE"), m_stateFile);
    env.insert(QStringLiteral("VANTIROKIT_POWER_COMMAND"), QStringLiteral("sh '%1'").arg(m_script));
    env.insert(QStringLiteral("VANTIROKIT_WAKE_PORT"), QStringLiteral("0"));
    env.insert(QStringLiteral("VANTIROKIT_END_LOGIN_COMMAND"),
               QStringLiteral("echo >> '%1' display").arg(m_loginLog));
    return env;
}

bool AgentProcess::start()
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert(QStringLiteral("QT_QPA_PLATFORM"), QStringLiteral("offscreen"));
    m_process.setProcessEnvironment(environment(env));
    m_process.setWorkingDirectory(QDir::currentPath());
    m_process.setProcessChannelMode(QProcess::MergedChannels);
    m_process.start(executable(), {});
    return m_process.waitForStarted(5000);
}

void AgentProcess::kill()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

QJsonObject AgentProcess::state() const
{
    return QJsonDocument::fromJson(readFile(m_stateFile)).object();
}

bool AgentProcess::waitState(const QString& key, const QJsonValue& value, int timeoutMs)
{
    return SystemTest::waitUntil([&] { return state().value(key) == value; }, timeoutMs);
}

QString AgentProcess::powerCalls() const
{
    return QString::fromUtf8(readFile(m_powerLog)).trimmed();
}

QString AgentProcess::loginEndings() const
{
    return QString::fromUtf8(readFile(m_loginLog)).trimmed();
}

QByteArray AgentProcess::output() const
{
    return const_cast<QProcess&>(m_process).readAll();
}
