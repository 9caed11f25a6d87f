// SPDX-License-Identifier: Apache-2.0
#include "loopbackagentlink.h"

#include <QElapsedTimer>
#include <QHostAddress>

LoopbackAgentLink::LoopbackAgentLink()
{
    m_server.listen(QHostAddress::LocalHost, 0);
    m_previous = AgentLink::instance();
    AgentLink::setInstance(this);
}

LoopbackAgentLink::~LoopbackAgentLink()
{
    if (AgentLink::instance() == this) {
        AgentLink::setInstance(m_previous);
    }
    for (QTcpSocket* s : std::as_const(m_agents)) {
        delete s;
    }
    for (const QPointer<QTcpSocket>& s : std::as_const(m_console)) {
        delete s.data();
    }
}

qint64 LoopbackAgentLink::connectAgent()
{
    auto* agent = new QTcpSocket;
    agent->connectToHost(QHostAddress::LocalHost, m_server.serverPort());
    if (!agent->waitForConnected(3000) || !m_server.waitForNewConnection(3000)) {
        delete agent;
        return 0;
    }
    QTcpSocket* console = m_server.nextPendingConnection();
    if (console == nullptr) {
        delete agent;
        return 0;
    }
    console->setParent(nullptr);
    const qint64 index = m_next++;
    m_console.insert(index, console);
    m_agents.insert(index, agent);
    return index;
}

void LoopbackAgentLink::dropAgent(qint64 index)
{
    if (QTcpSocket* s = m_console.value(index)) {
        s->abort();
        delete s;
    }
    m_console.remove(index);
}

bool LoopbackAgentLink::isConnected(qint64 index) const
{
    const QTcpSocket* s = m_console.value(index);
    return s != nullptr && s->state() == QAbstractSocket::ConnectedState;
}

bool LoopbackAgentLink::send(qint64 index, const QByteArray& message)
{
    m_sent.append({index, message});
    QTcpSocket* s = m_console.value(index);
    if (index <= 0 || s == nullptr || s->state() != QAbstractSocket::ConnectedState) {
        return false;
    }
    if (s->write(message) != message.size()) {
        return false;
    }
    s->flush();
    return true;
}

QByteArray LoopbackAgentLink::received(qint64 index, int atLeast, int ms)
{
    QTcpSocket* agent = m_agents.value(index);
    if (agent == nullptr) {
        return {};
    }
    QByteArray& box = m_inbox[index];
    QElapsedTimer timer;
    timer.start();
    box += agent->readAll();
    while (box.size() < atLeast && timer.elapsed() < ms) {
        if (QTcpSocket* console = m_console.value(index)) {
            console->waitForBytesWritten(10);
        }
        if (agent->waitForReadyRead(50)) {
            box += agent->readAll();
        }
    }
    const QByteArray out = box;
    box.clear();
    return out;
}
