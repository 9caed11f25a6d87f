#include "client/core/agentcontroller.h"

#include "client/core/connectionrules.h"
#include "client/core/loginrules.h"
#include "common/clock.h"
#include "common/errorlog.h"
#include "common/linkauth.h"
#include "common/prompt.h"
#include "common/protocol.h"
#include "platform/loginsession.h"
#include "platform/power.h"
#include "platform/socketoptions.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

const QString DataArrivalLabel = QStringLiteral("objTCP_DataArrival_Error");
const QString LinkKeyLabel = QStringLiteral("TCP_Authentication");
const QString BrokenCaption =
    QStringLiteral("Server Connection Broken, Wait connecting to Server...");

// Dotted text for IPv4, as the console writes the same addresses.
QString endText(const QHostAddress& address)
{
    bool isV4 = false;
    const quint32 v4 = address.toIPv4Address(&isV4);
    return isV4 ? QHostAddress(v4).toString() : address.toString();
}

} // namespace

AgentController::AgentController(AgentSettings& settings, QObject* parent)
    : QObject(parent), m_settings(settings), m_clock(settings),
      m_stateFile(qEnvironmentVariable("VANTIROKIT_AGENT_STATE_FILE"))
{
    m_reconnect.setSingleShot(true);
    m_connectTimeout.setSingleShot(true);
    m_connectTimeout.setInterval(ConnectTimeoutMs);
    connect(&m_connectTimeout, &QTimer::timeout, this, [this] {
        // A console machine that does not answer at all would keep a connect pending for
        // minutes; give up and try again at the usual pace.
        if (m_tcp.state() != QAbstractSocket::ConnectedState) {
            linkBroken(BrokenCaption);
        }
    });
    m_proofTimeout.setSingleShot(true);
    m_proofTimeout.setInterval(LinkAuth::ProofTimeoutMs);
    connect(&m_proofTimeout, &QTimer::timeout, this,
            [this] { refuseConsole(QStringLiteral("no proof of the link key in time")); });
    m_passwordCheck.setSingleShot(true);
    m_passwordCheck.setInterval(PasswordCheckTimeoutMs);
    connect(&m_passwordCheck, &QTimer::timeout, this, [this] {
        // A silent console must not keep the customer waiting behind the lock for ever.
        endPasswordCheck();
        m_state.caption = NoAnswerText;
        notify();
        Q_EMIT focusPassword();
    });
    connect(&m_reconnect, &QTimer::timeout, this, [this] { connectToServer(m_settings.server()); });
    connect(&m_tcp, &QTcpSocket::connected, this, &AgentController::onConnected);
    connect(&m_tcp, &QTcpSocket::disconnected, this, &AgentController::onClosed);
    connect(&m_tcp, &QTcpSocket::errorOccurred, this, &AgentController::onError);
    connect(&m_tcp, &QTcpSocket::readyRead, this, [this] { handleArrival(m_tcp.readAll()); });
    connect(&m_wake, &QTcpServer::newConnection, this, &AgentController::onWakeConnection);
    connect(&m_clock, &SessionClock::ticked, this, &AgentController::sessionTick);
    connect(&m_clock, &SessionClock::autologoutDue, this, [this] {
        send(Proto::Autologout);
        ++m_state.autologoutsSent;
        notify();
    });
    connect(&m_clock, &SessionClock::warningDue, this, [this](qint64 minutes) {
        m_state.warningLoaded = true;
        m_state.warningMinutes = minutes;
        ++m_state.warningsShown;
        notify();
    });
    loadDialogFields();
}

AgentController::~AgentController()
{
    // No reconnect or state report from the destructor's own socket close.
    m_tcp.disconnect(this);
    m_stateFile.clear();
}

// ----- state -----

void AgentController::notify()
{
    writeStateFile();
    Q_EMIT stateChanged();
}

void AgentController::writeStateFile() const
{
    if (m_stateFile.isEmpty()) {
        return;
    }
    const AgentState& s = m_state;
    QJsonObject o;
    o[QStringLiteral("keysLocked")] = s.keysLocked;
    o[QStringLiteral("lockScreenLoaded")] = s.lockScreenLoaded;
    o[QStringLiteral("lockScreenVisible")] = s.lockScreenVisible;
    o[QStringLiteral("lockScreenLoads")] = s.lockScreenLoads;
    o[QStringLiteral("optionsVisible")] = s.optionsVisible;
    o[QStringLiteral("passwordVisible")] = s.passwordVisible;
    o[QStringLiteral("caption")] = s.caption;
    o[QStringLiteral("checkingPassword")] = s.checkingPassword;
    o[QStringLiteral("sessionWindow")] = s.sessionWindowLoaded;
    o[QStringLiteral("warning")] = s.warningLoaded;
    o[QStringLiteral("warningMinutes")] = double(s.warningMinutes);
    o[QStringLiteral("dialogVisible")] = s.dialogVisible;
    o[QStringLiteral("status")] = s.status;
    o[QStringLiteral("linkUp")] = s.linkUp;
    o[QStringLiteral("linkProven")] = s.linkProven;
    o[QStringLiteral("wakePort")] = int(s.wakePort);
    o[QStringLiteral("autologoutsSent")] = s.autologoutsSent;
    o[QStringLiteral("warningsShown")] = s.warningsShown;
    o[QStringLiteral("lastMessage")] = s.lastMessage;
    o[QStringLiteral("lastWebAddress")] = s.lastWebAddress;
    o[QStringLiteral("lastPowerAction")] = s.lastPowerAction;
    o[QStringLiteral("powerFailed")] = s.powerFailed;
    o[QStringLiteral("autologoff")] = m_settings.autologoffText();
    o[QStringLiteral("surfupto")] = m_settings.surfuptoText();
    o[QStringLiteral("loginTime")] = m_settings.read(RegKey::LoginTime, QStringLiteral("time"));
    // What the session window showed when the state was written.
    o[QStringLiteral("sessionTime")] = s.sessionWindowLoaded ? m_clock.timeText() : QString();
    QSaveFile f(m_stateFile);
    if (f.open(QIODevice::WriteOnly)) {
        f.write(QJsonDocument(o).toJson());
        f.commit();
    }
}

void AgentController::message(const QString& text, const QString& title)
{
    m_state.lastMessage = text;
    notify();
    Prompt::message(text, title, Prompt::Icon::Information);
}

// ----- start-up and the connection dialog -----

bool AgentController::needsConnectionDialog() const
{
    return !AgentSettings::isSet(m_settings.server()) || !AgentSettings::isSet(m_settings.cname());
}

void AgentController::loadDialogFields()
{
    m_fieldName = m_settings.terminalName();
    m_fieldPort = m_settings.portText();
    const QString server = m_settings.server();
    m_fieldAddress = AgentSettings::isSet(server) ? server : QString();
}

void AgentController::showDialogAtStart()
{
    loadDialogFields();
    m_state.dialogHideMode = false;
    m_state.dialogVisible = true;
    notify();
}

void AgentController::connectStored()
{
    connectToServer(m_settings.server());
}

void AgentController::startLocked()
{
    m_state.keysLocked = true;
    showLockScreen();
    m_state.caption = AgentSettings::AppTitle;
    m_clock.resetCounters();
    const quint16 port = m_settings.wakePort();
    const QString local = m_settings.localAddress();
    if (m_wake.listen(local.isEmpty() ? QHostAddress(QHostAddress::Any) : QHostAddress(local),
                      port)) {
        m_state.wakePort = m_wake.serverPort();
    } else {
        // The workstation still locks and talks to the console without it.
        ErrorLog::write(
            QStringLiteral("TCPCONNECTION"),
            QStringLiteral("Cannot listen on port %1: %2").arg(port).arg(m_wake.errorString()));
        m_state.wakePort = 0;
    }
    notify();
}

void AgentController::setFields(const QString& address, const QString& name, const QString& port)
{
    m_fieldAddress = address;
    m_fieldName = name;
    m_fieldPort = port;
}

bool AgentController::connectPressed()
{
    if (!ConnectionRules::IsValidIPAddress(m_fieldAddress)) {
        m_state.status = QStringLiteral("Invalid IP Address");
        notify();
        return false;
    }
    m_state.status = QStringLiteral("Wait Connecting to Server...");
    notify();
    connectToServer(m_fieldAddress);
    Q_EMIT focusAddress();
    if (m_state.dialogHideMode) {
        hideDialog();
    }
    return true;
}

void AgentController::showDialogForReconnect()
{
    loadDialogFields();
    m_state.dialogHideMode = true;
    m_state.dialogVisible = true;
    notify();
}

void AgentController::hideDialog()
{
    m_state.dialogVisible = false;
    notify();
}

void AgentController::connectToServer(const QString& address)
{
    m_reconnect.stop();
    bool ok = false;
    const uint port = m_fieldPort.trimmed().toUInt(&ok);
    if (!AgentSettings::isSet(address) || address.isEmpty() || !ok || port == 0 || port > 65535) {
        // The connect could not even be set up.
        m_tcp.abort();
        if (!m_settings.everConnected()) {
            m_state.status = QStringLiteral("Unable to connect to Vantiro server");
            message(QStringLiteral("Unable to connect to Vantiro server"),
                    QStringLiteral("Try Again"));
        } else {
            scheduleReconnect();
        }
        return;
    }
    m_tcp.abort();
    m_decoder.reset();
    m_proofTimeout.stop();
    // Read at every connect, so a key set by staff applies from the next connection.
    m_linkKey = m_settings.linkKey();
    if (const QString weakness = m_linkKey.isEmpty() ? QString() : LinkAuth::keyWeakness(m_linkKey);
        !weakness.isEmpty()) {
        // A key that falls to guessing protects nothing, and no key at all would let any
        // console in: the workstation stays as it is and no console is dialled until the key
        // is replaced (it is read again at the usual pace).
        m_tcp.abort();
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
    ++m_attempts;
}

void AgentController::onConnected()
{
    m_connectTimeout.stop();
    // The protocol has no keep-alive of its own; let the system notice a console machine
    // that vanished without closing the connection within a minute, not hours.
    SocketOptions::setKeepAlive(m_tcp.socketDescriptor());
    if (m_phase == LinkPhase::Open) {
        m_attempts = 0;
        m_state.linkProven = true;
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
    m_state.linkUp = false;
    m_state.linkProven = false;
    // No answer can come over a broken link: the options panel is back, under the caption
    // that says why.
    endPasswordCheck();
    unloadSessionWindow();
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

// ----- windows in the model -----

void AgentController::loadLockScreen()
{
    m_state.lockScreenLoaded = true;
    ++m_state.lockScreenLoads;
    m_state.optionsVisible = false;
    m_state.passwordVisible = true;
    m_state.caption = AgentSettings::AppTitle;
}

void AgentController::showLockScreen()
{
    if (!m_state.lockScreenLoaded) {
        loadLockScreen();
    }
    m_state.lockScreenVisible = true;
    // A shown lock screen always holds the keys, whichever command showed it.
    m_state.keysLocked = true;
    // The lock screen and the session window are never both in use.
    unloadSessionWindow();
}

void AgentController::unloadLockScreen()
{
    m_state.lockScreenLoaded = false;
    m_state.lockScreenVisible = false;
    m_state.optionsVisible = false;
}

void AgentController::unloadSessionWindow()
{
    m_clock.stop();
    m_state.sessionWindowLoaded = false;
    m_state.warningLoaded = false;
}

void AgentController::showSessionWindow()
{
    m_state.sessionWindowLoaded = true;
    if (!m_clock.isRunning()) {
        m_clock.updateElapsed();
        m_clock.start();
    }
}

void AgentController::openDefaultWebAddress()
{
    const QString url = m_settings.webAddress();
    if (url.isEmpty()) {
        return;
    }
    m_state.lastWebAddress = url;
    Q_EMIT openWebAddress(url);
}

void AgentController::fillOptionsFromSettings()
{
    const qint64 limit = m_settings.surfupto();
    Q_EMIT fillOptions(limit > 0 ? QString::number(limit) : QString(), m_settings.autologoffOn());
}

void AgentController::power(bool reboot)
{
    // Locked before anything is asked of the system: a request that is refused, slow or never
    // carried out must not leave a billed workstation open.
    endPasswordCheck();
    m_state.keysLocked = true;
    showLockScreen();
    m_state.optionsVisible = false;
    m_state.caption = AgentSettings::AppTitle;
    m_state.lastPowerAction = reboot ? QStringLiteral("reboot") : QStringLiteral("shutdown");
    notify();
    if (m_powerRequest) {
        return; // the workstation is already on its way down
    }
    m_state.powerFailed = false;
    m_powerRequest = Power::request(reboot ? Power::Action::Reboot : Power::Action::Shutdown, this,
                                    [this](bool accepted) {
                                        // Logged by the power interface; the agent stays locked.
                                        m_powerRequest = nullptr;
                                        m_state.powerFailed = !accepted;
                                        notify();
                                    });
}

void AgentController::endPasswordCheck()
{
    m_passwordCheck.stop();
    if (m_state.checkingPassword) {
        m_state.checkingPassword = false;
        m_state.optionsVisible = true;
    }
}

// ----- the command interpreter -----

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
        m_attempts = 0;
        m_state.linkProven = true;
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

void AgentController::applyBatch(const QList<Proto::Message>& batch)
{
    if (batch.isEmpty()) {
        return;
    }
    for (const Proto::Message& m : batch) {
        apply(m);
    }
    notify();
}

void AgentController::apply(const Proto::Message& m)
{
    using Proto::Kind;
    if (m.malformed) {
        ErrorLog::write(DataArrivalLabel, QStringLiteral("No closing marker after ") +
                                              QString::fromLatin1(Proto::token(m.kind)));
    }
    switch (m.kind) {
    case Kind::LinkChallenge:
    case Kind::LinkAnswer:
    case Kind::LinkProof:
        // Outside the handshake (or on an open link) they mean nothing.
        break;
    case Kind::CName:
        send(Proto::cnameReply(m_settings.terminalName()));
        break;
    case Kind::Shutdown:
        power(false);
        break;
    case Kind::Reboot:
        power(true);
        break;
    case Kind::Lock:
        endPasswordCheck();
        m_state.keysLocked = true;
        unloadSessionWindow();
        unloadLockScreen();
        showLockScreen();
        m_state.caption = AgentSettings::AppTitle;
        break;
    case Kind::Unlock:
        endPasswordCheck();
        m_state.keysLocked = false;
        unloadSessionWindow();
        unloadLockScreen();
        m_state.dialogVisible = false;
        break;
    case Kind::SetTime:
        m_settings.setAutologoff(false);
        m_settings.setSurfupto(QStringLiteral("0"));
        m_settings.setLoginTime(Clock::now());
        // A new session has not been warned in any minute yet.
        m_settings.setMinlast(QString());
        break;
    case Kind::SetDateTime: {
        const QString text = m.value.trimmed();
        if (text.isEmpty()) {
            break;
        }
        m_settings.setAutologoff(false);
        m_settings.setSurfupto(QStringLiteral("0"));
        const QDateTime t = Proto::parseDateTime(text);
        if (t.isValid()) {
            m_settings.setLoginTime(t);
            m_settings.setMinlast(QString());
        } else {
            ErrorLog::write(DataArrivalLabel, QStringLiteral("Unreadable start time: ") + text);
        }
        break;
    }
    case Kind::AutologoutMin: {
        const qint64 minutes = AgentSettings::leadingNumber(m.value);
        if (minutes > 0) {
            m_settings.setAutologoff(true);
            m_settings.setSurfupto(QString::number(minutes));
        } else {
            m_settings.setAutologoff(false);
        }
        break;
    }
    case Kind::ShowOptionsWithPassword:
    case Kind::ShowOptions:
        endPasswordCheck();
        showLockScreen();
        m_state.optionsVisible = true;
        m_state.passwordVisible = m.kind == Kind::ShowOptionsWithPassword;
        fillOptionsFromSettings();
        Q_EMIT focusSurfTime();
        break;
    case Kind::PasswordNotValid:
        endPasswordCheck();
        m_settings.setAutologoff(true);
        showLockScreen();
        m_state.optionsVisible = true;
        m_state.caption = QStringLiteral("Invalid Password, Please Re Enter Password");
        break;
    case Kind::StartSession:
        endPasswordCheck();
        m_state.keysLocked = false;
        m_state.optionsVisible = false;
        unloadLockScreen();
        m_state.warningLoaded = false;
        openDefaultWebAddress();
        showSessionWindow();
        break;
    case Kind::EndSession:
        endPasswordCheck();
        m_state.keysLocked = true;
        unloadSessionWindow();
        showLockScreen();
        m_state.optionsVisible = false;
        m_state.passwordVisible = false;
        // Locked first, then the customer's login and everything it runs are ended, where the
        // set-up allows it: the call waits on the login manager, so the lock goes up before.
        if (LoginSession::enabled()) {
            QTimer::singleShot(0, this, [] { LoginSession::endOnDisplay(); });
        }
        break;
    case Kind::GetDeskTop:
    case Kind::CNameReply:
    case Kind::CheckPassword:
    case Kind::Autologout:
        break;
    }
}

// ----- the customer's side -----

AgentController::LoginResult AgentController::login(const QString& surfText, bool autoChecked,
                                                    const QString& password)
{
    LoginRules rules(m_settings);
    const LoginRules::Decision d =
        rules.login(surfText, autoChecked, m_state.passwordVisible, password);
    switch (d.action) {
    case LoginRules::Action::AskPassword:
        m_state.caption = d.caption;
        notify();
        Q_EMIT focusPassword();
        return LoginResult::FocusPassword;
    case LoginRules::Action::CheckPassword:
        // The lock window stays up and the keys stay held until the console answers: only
        // "|STARTSESSION|" frees the workstation.
        if (!send(d.message)) {
            m_state.caption = NoAnswerText;
            notify();
            Q_EMIT focusPassword();
            return LoginResult::FocusPassword;
        }
        m_state.checkingPassword = true;
        m_state.optionsVisible = false;
        m_state.caption = CheckingPasswordText;
        m_passwordCheck.start();
        notify();
        return LoginResult::CheckingPassword;
    case LoginRules::Action::LocalLogin:
        break;
    }
    m_state.lockScreenVisible = false;
    m_state.keysLocked = false;
    openDefaultWebAddress();
    send(d.message);
    showSessionWindow();
    m_state.optionsVisible = false;
    unloadLockScreen();
    notify();
    return LoginResult::LoggedInLocally;
}

bool AgentController::autoLogoffTicked(const QString& surfText)
{
    if (LoginRules::autoLogoffAllowed(surfText)) {
        return true;
    }
    m_state.caption = LoginRules::NoSurfTimeMessage;
    notify();
    Q_EMIT focusSurfTime();
    return false;
}

void AgentController::serviceUnlock()
{
    endPasswordCheck();
    m_state.lockScreenVisible = false;
    m_state.keysLocked = false;
    notify();
}

void AgentController::restartWorkstation()
{
    power(true);
}

void AgentController::shutdownWorkstation()
{
    power(false);
}

void AgentController::warningSurfChanged(const QString& text)
{
    LoginRules(m_settings).warningSurfChanged(text, m_clock.elapsedMinutes());
}

bool AgentController::warningAutoToggled(bool checked, const QString& surfText)
{
    return LoginRules(m_settings).warningAutoToggled(checked, surfText);
}

void AgentController::closeWarning()
{
    if (m_state.warningLoaded) {
        m_state.warningLoaded = false;
        notify();
    }
}
