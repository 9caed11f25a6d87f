// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "common/protocol.h"

#include <QHostAddress>
#include <QTcpSocket>

#include <memory>
#include <optional>

// A customer at a free workstation's lock screen. The day's agents run offscreen, where nothing
// can type into a lock screen, so the customer speaks the agent's side of the link from the
// workstation's own loopback address: it gives its name when asked, logs in and off, and keeps
// what the console said since it connected or last logged in.
class Customer
{
public:
    Customer(const QString& name, const QString& ip) : name(name), ip(ip) {}

    const QString name;
    const QString ip;

    void connectTo(quint16 port)
    {
        m_socket = std::make_unique<QTcpSocket>();
        m_heard.clear();
        m_named = false;
        m_socket->bind(QHostAddress(ip), 0);
        QTcpSocket* s = m_socket.get();
        QObject::connect(s, &QTcpSocket::readyRead, s, [this, s] {
            m_heard += s->readAll();
            if (!m_named && m_heard.contains(Proto::CName)) {
                m_named = true;
                s->write(Proto::cnameReply(name));
            }
        });
        m_socket->connectToHost(QHostAddress::LocalHost, port);
    }
    bool connected() const
    {
        return m_socket && m_socket->state() == QAbstractSocket::ConnectedState;
    }
    // The workstation's connection gone at once, as when its cable is pulled.
    void drop()
    {
        if (m_socket) {
            m_socket->abort();
        }
    }

    void login(const Proto::PrepaidCredentials& c)
    {
        m_heard.clear();
        write(Proto::prepaidLogin(c));
    }
    void logOff() { write(Proto::PrepaidLogoff); }
    void forget() { m_heard.clear(); }

    bool answered() const { return started() || m_heard.contains(Proto::PrepaidRefusedEnd); }
    bool started() const { return m_heard.contains(Proto::StartSession); }
    bool locked() const
    {
        return m_heard.contains(Proto::EndSession) || m_heard.contains(Proto::Lock);
    }
    QString refusal() const
    {
        return valueOf(Proto::PrepaidRefused, Proto::PrepaidRefusedEnd, false);
    }
    // The latest time left the console sent.
    std::optional<Proto::PrepaidTimeLeft> timeLeft() const
    {
        return Proto::parsePrepaidTime(valueOf(Proto::PrepaidTime, Proto::PrepaidTimeEnd, true));
    }

private:
    void write(const QByteArray& bytes)
    {
        m_socket->write(bytes);
        m_socket->flush();
    }
    QString valueOf(const QByteArray& open, const QByteArray& close, bool latest) const
    {
        const qsizetype from = latest ? m_heard.lastIndexOf(open) : m_heard.indexOf(open);
        const qsizetype to = m_heard.indexOf(close, from);
        if (from < 0 || to < 0) {
            return {};
        }
        return QString::fromUtf8(m_heard.mid(from + open.size(), to - from - open.size()));
    }

    std::unique_ptr<QTcpSocket> m_socket;
    QByteArray m_heard;
    bool m_named = false;
};
