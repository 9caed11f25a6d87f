// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QJsonObject>
#include <QObject>
#include <QPointer>
#include <QProcess>
#include <QProcessEnvironment>
#include <QString>
#include <QTcpServer>
#include <QTcpSocket>

// A small console for agent tests: listens on loopback, keeps the one agent connection that
// arrives, records what the agent sends and sends what the test says.
class AgentTestConsole : public QObject
{
public:
    explicit AgentTestConsole(QObject* parent = nullptr);

    // Listens on the given port (0: any free one).
    bool listen(quint16 port = 0);
    // Stops listening and drops the agent, as a console that ends does.
    void stop();
    quint16 port() const { return m_port; }

    bool hasAgent() const { return m_agent && m_agent->state() == QAbstractSocket::ConnectedState; }
    int connections() const { return m_connections; }
    bool send(const QByteArray& bytes);
    // Everything the agent sent on its current connection.
    QByteArray received() const { return m_received; }
    int count(const QByteArray& token) const { return int(m_received.count(token)); }
    void clearReceived() { m_received.clear(); }
    // Waits until the agent's bytes contain the text.
    bool waitFor(const QByteArray& text, int timeoutMs = 5000);
    bool waitForAgent(int timeoutMs = 10000);

private:
    QTcpServer m_server;
    QPointer<QTcpSocket> m_agent;
    QByteArray m_received;
    quint16 m_port = 0;
    int m_connections = 0;
};

// The real agent executable, started offscreen in the current test home with the state file
// and recording power and login ending commands.
class AgentProcess
{
public:
    AgentProcess();
    ~AgentProcess();
    AgentProcess(const AgentProcess&) = delete;
    AgentProcess& operator=(const AgentProcess&) = delete;

    // Seeds the agent's connection values into the settings file of the current home.
    static void seedServer(const QString& address, quint16 port, const QString& cname,
                           bool connectedBefore);
    static QString executable();
    // Makes the current home's set-up one where the agent ends the customer's login with the
    // session.
    static void enableLoginEnding();

    // The base environment with the current home and the recording commands.
    QProcessEnvironment environment(QProcessEnvironment base) const;
    bool start();
    void kill();
    QString stateFile() const { return m_stateFile; }
    // The last state the agent wrote (empty when none yet).
    QJsonObject state() const;
    // One value of that state.
    bool flag(const char* key) const { return state().value(QLatin1String(key)).toBool(); }
    QString text(const char* key) const { return state().value(QLatin1String(key)).toString(); }
    int number(const char* key) const { return state().value(QLatin1String(key)).toInt(); }
    // Waits until the state's key has the value.
    bool waitState(const QString& key, const QJsonValue& value, int timeoutMs = 5000);
    QString powerCalls() const;
    // The displays on which the agent ended the logins, one a line (its login ending
    // command records them); empty when it ended none.
    QString loginEndings() const;
    // Shell lines the power command runs after recording its call (a slow or failing command).
    void setPowerTail(const QByteArray& lines);
    QByteArray output() const;
    QProcess& process() { return m_process; }

private:
    QProcess m_process;
    QString m_stateFile;
    QString m_powerLog;
    QString m_script;
    QString m_loginLog;
};
