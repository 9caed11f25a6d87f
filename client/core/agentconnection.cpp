// SPDX-License-Identifier: Apache-2.0
// The agent's link to the console: connecting, reconnect pacing, the link key handshake, sending.
#include "client/core/agentcontroller.h"

#include "client/core/agentlinktext.h"
#include "common/errorlog.h"
#include "common/linkauth.h"
#include "common/protocol.h"
#include "platform/socketoptions.h"

namespace {

using AgentLinkText::BrokenCaption;

const QString LinkKeyLabel = QStringLiteral("TCP_Authentication");

// Dotted text for IPv4, as the console writes the same addresses.
QString endText(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

// ----- the connection -----

void AgentController::dropLink()
{
    // Our own abort is no broken link: the socket's close signal must not schedule a second,
    // immediate reconnect on top of the connect that follows.
    const QSignalBlocker quiet(m_tcp);
    m_tcp.abort();
    m_connectTimeout.stop();
    m_proofTimeout.stop();
    m_steady.stop();
    m_state.linkUp = false;
    m_state.linkProven = false;
}

void AgentController::requestConnect(const QString& address)
{
    // Staff may press Connect as often as they like: the dial waits for the back-off and
    // joins a reconnect already pending instead of adding one.
    m_dialAddress = address;
    const qint64 wait =
        m_lastDial.isValid() ? reconnectDelayMs(m_attempts) - m_lastDial.elapsed() : qint64(0);
    if (m_reconnect.isActive()) {
        return;
    }
    if (wait > 0) {
        m_reconnect.start(int(wait));
        return;
    }
    connectToServer(address);
}

void AgentController::connectToServer(const QString& address)
{
    m_reconnect.stop();
    m_dialAddress.clear();
    // Every dial counts, whoever asked for it: the next waits the longer.
    m_lastDial.start();
    ++m_attempts;
    bool ok = false;
    const uint port = m_fieldPort.trimmed().toUInt(&ok);
    if (!AgentSettings::isSet(address) || address.isEmpty() || !ok || port == 0 || port > 65535) {
        // The connect could not even be set up.
        dropLink();
        if (!m_settings.everConnected()) {
            m_state.status = QStringLiteral("Unable to connect to Vantiro server");
            message(QStringLiteral("Unable to connect to Vantiro server"),
                    QStringLiteral("Try Again"));
        } else {
            scheduleReconnect();
        }
        return;
    }
    dropLink();
    m_decoder.reset();
    // Read at every connect, so a key set by staff applies from the next connection.
    m_linkKey = m_settings.linkKey();
    if (const QString weakness = m_linkKey.isEmpty() ? QString() : LinkAuth::keyWeakness(m_linkKey);
        !weakness.isEmpty()) {
        // A key that falls to guessing protects nothing, and no key at all would let any
        // console in: the workstation stays as it is and no console is dialled until the key
        // is replaced (it is read again at the usual pace).
        dropLink();
        linkKeyTrouble(weakness);
        if (m_state.status != weakness) {
            // Shown once; staff who hid the window are not pestered at every retry.
            m_state.status = weakness;
            m_state.dialogHideMode = true;
            m_state.dialogVisible = true;
        }
        scheduleReconnect();
        notify();
        return;
    }
    m_phase = m_linkKey.isEmpty() ? LinkPhase::Open : LinkPhase::AwaitChallenge;
    m_state.linkProven = false;
    m_logoffSentOnLink = false;
    m_connectingAddress = address;
    if (const QString local = m_settings.localAddress(); !local.isEmpty()) {
        m_tcp.bind(QHostAddress(local), 0);
    }
    m_tcp.connectToHost(address, quint16(port));
    m_connectTimeout.start();
}

int AgentController::reconnectDelayMs(int attempt)
{
    if (attempt <= 0) {
        return 0;
    }
    int delay = 500;
    for (int i = 1; i < attempt && delay < 5000; ++i) {
        delay *= 2;
    }
    return std::min(delay, 5000);
}

void AgentController::scheduleReconnect()
{
    // One pending reconnect at most, started from the event loop: a failing console can
    // neither nest reconnects inside socket handlers nor make the agent spin.
    if (m_reconnect.isActive()) {
        return;
    }
    m_reconnect.start(reconnectDelayMs(m_attempts));
}

void AgentController::onConnected()
{
    m_connectTimeout.stop();
    // The protocol has no keep-alive of its own; let the system notice a console machine
    // that vanished without closing the connection within a minute, not hours.
    SocketOptions::setKeepAlive(m_tcp.socketDescriptor());
    if (m_phase == LinkPhase::Open) {
        // The back-off starts afresh only once the link has held: a console that takes the
        // connection and drops it at once must not be dialled again without a pause.
        m_steady.start();
        m_state.linkProven = true;
        sendOwedLogoff();
    } else {
        // Reconnect pacing starts afresh only once the console has proven itself, so a console
        // without the key is not retried in a tight loop.
        m_proofTimeout.start();
    }
    // The address actually reached is stored, so a half-typed dialog field never replaces
    // the working one.
    m_settings.storeConnection(m_connectingAddress, m_fieldName, m_fieldPort);
    m_state.linkUp = true;
    m_state.dialogVisible = false;
    m_state.status.clear();
    m_state.caption = AgentSettings::AppTitle;
    notify();
}

void AgentController::linkBroken(const QString& caption)
{
    if (m_phase == LinkPhase::AwaitAnswer) {
        linkKeyTrouble(QStringLiteral("The console at %1 closed the connection after our proof of "
                                      "the link key: is the same key set on both sides?")
                           .arg(m_connectingAddress));
    }
    m_connectTimeout.stop();
    m_proofTimeout.stop();
    m_steady.stop();
    m_state.linkUp = false;
    m_state.linkProven = false;
    // No answer can come over a broken link: the options panel is back, under the caption
    // that says why.
    endPasswordCheck();
    // A prepaid session goes on counting down without the console, and locks at zero: pulling
    // the cable must not stop the clock.
    if (!m_state.prepaid) {
        unloadSessionWindow();
    }
    m_state.caption = caption;
    m_tcp.abort();
    scheduleReconnect();
    notify();
}

void AgentController::onClosed()
{
    if (m_reconnect.isActive() || !m_state.linkUp) {
        return; // the error handler already took care of it
    }
    linkBroken(BrokenCaption + u' ');
}

void AgentController::onError(QAbstractSocket::SocketError error)
{
    if (error == QAbstractSocket::RemoteHostClosedError) {
        // Followed by the close event, which reconnects.
        if (m_tcp.state() != QAbstractSocket::ConnectedState) {
            onClosed();
        }
        return;
    }
    if (error == QAbstractSocket::HostNotFoundError) {
        m_connectTimeout.stop();
        unloadSessionWindow();
        m_state.status.clear();
        m_tcp.abort();
        message(QStringLiteral(
                    "Unable to connect to Vantiro server \r\n  Tips - Try with IP Adderss or "
                    "Server Name which showing in Server's Terminal list first Row"),
                QStringLiteral("Server Not Found"));
        Q_EMIT focusAddress();
        return;
    }
    if (error == QAbstractSocket::ConnectionRefusedError && !m_settings.everConnected()) {
        m_connectTimeout.stop();
        unloadSessionWindow();
        m_state.status.clear();
        m_tcp.abort();
        message(
            QStringLiteral("Vantiro Server is Not Running \r\n  Tips - Run the Vantiro Server in "
                           "Server & Try with IP Address shown in Terminal List first Row"),
            QStringLiteral("Server Not Found"));
        Q_EMIT focusAddress();
        return;
    }
    const bool wasUp = m_state.linkUp;
    if (wasUp && m_settings.everConnected()) {
        linkBroken(QStringLiteral("Server Connection Broken Due to ") + m_tcp.errorString() +
                   QStringLiteral(" Wait connecting to Server..."));
    } else {
        linkBroken(BrokenCaption);
    }
}

void AgentController::onWakeConnection()
{
    while (QTcpSocket* s = m_wake.nextPendingConnection()) {
        // The request only asks whether the link still holds; nothing is read from it.
        s->abort();
        s->deleteLater();
    }
    send(Proto::Testing);
}

bool AgentController::send(const QByteArray& message)
{
    // Nothing of ours goes to a console that has not proven the key.
    if (m_phase == LinkPhase::AwaitChallenge || m_phase == LinkPhase::AwaitAnswer) {
        return false;
    }
    return write(message);
}

bool AgentController::write(const QByteArray& message)
{
    if (m_tcp.state() != QAbstractSocket::ConnectedState) {
        return false;
    }
    return m_tcp.write(message) == message.size();
}

// ----- arrivals and the link key handshake -----

void AgentController::handleArrival(const QByteArray& bytes)
{
    const QList<Proto::Message> batch = m_decoder.feed(bytes);
    if (m_phase == LinkPhase::AwaitChallenge || m_phase == LinkPhase::AwaitAnswer) {
        handshake(batch);
    } else {
        applyBatch(batch);
    }
}

void AgentController::handshake(const QList<Proto::Message>& batch)
{
    using Proto::Kind;
    for (qsizetype i = 0; i < batch.size(); ++i) {
        const Proto::Message& m = batch.at(i);
        if (m_phase == LinkPhase::AwaitChallenge) {
            const QByteArray nonce = m.value.toLatin1();
            if (m.kind != Kind::LinkChallenge || m.malformed || !LinkAuth::isNonce(nonce)) {
                refuseConsole(QStringLiteral("the console sent commands without proving the "
                                             "link key"));
                return;
            }
            m_consoleNonce = nonce;
            m_agentNonce = LinkAuth::newNonce();
            m_phase = LinkPhase::AwaitAnswer;
            // Our own address and the console's as dialled: a machine that passes this on to
            // the console over its own connection gets a proof made for other ends.
            m_ends = {endText(m_tcp.localAddress()), endText(m_tcp.peerAddress())};
            write(Proto::linkProof(m_agentNonce, LinkAuth::agentProof(m_linkKey, m_consoleNonce,
                                                                      m_agentNonce, m_ends)));
            continue;
        }
        // Awaiting the console's proof over both nonces: the one thing that opens the link.
        if (m.kind != Kind::LinkAnswer || m.malformed ||
            !LinkAuth::sameProof(
                m.value.toLatin1(),
                LinkAuth::consoleProof(m_linkKey, m_consoleNonce, m_agentNonce, m_ends))) {
            refuseConsole(m.kind == Kind::LinkAnswer
                              ? QStringLiteral("wrong proof of the link key from the console")
                              : QStringLiteral("the console sent commands without proving the "
                                               "link key"));
            return;
        }
        m_phase = LinkPhase::Proven;
        m_linkKeyTroubleLogged = false;
        m_proofTimeout.stop();
        m_steady.start();
        m_state.linkProven = true;
        // Before the console's first commands: its lock then answers the log off.
        sendOwedLogoff();
        // The console's first commands may share the arrival with its proof.
        const QList<Proto::Message> rest = batch.mid(i + 1);
        if (rest.isEmpty()) {
            notify();
        } else {
            applyBatch(rest);
        }
        return;
    }
}

void AgentController::linkKeyTrouble(const QString& text)
{
    // Once until the next proven link: a key that differs would otherwise fill the log anew at
    // every retry.
    if (m_linkKeyTroubleLogged) {
        return;
    }
    m_linkKeyTroubleLogged = true;
    ErrorLog::write(LinkKeyLabel, text);
}

void AgentController::refuseConsole(const QString& reason)
{
    linkKeyTrouble(
        QStringLiteral("Console at %1 refused: %2").arg(m_tcp.peerAddress().toString(), reason));
    // The workstation stays as it is (locked at start-up) and the connection is tried again
    // at the usual pace.
    linkBroken(BrokenCaption);
}
