// SPDX-License-Identifier: Apache-2.0
// The agent's state and windows, start-up and connection dialog, command interpreter and login.
#include "client/core/agentcontroller.h"

#include "client/core/agentlinktext.h"
#include "client/core/connectionrules.h"
#include "client/core/loginrules.h"
#include "common/clock.h"
#include "common/errorlog.h"
#include "common/linkauth.h"
#include "common/prompt.h"
#include "common/protocol.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QSaveFile>

namespace {

const QString DataArrivalLabel = QStringLiteral("objTCP_DataArrival_Error");

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
            linkBroken(AgentLinkText::BrokenCaption);
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
    m_steady.setSingleShot(true);
    m_steady.setInterval(LinkSteadyMs);
    connect(&m_steady, &QTimer::timeout, this, [this] { m_attempts = 0; });
    connect(&m_reconnect, &QTimer::timeout, this, [this] {
        connectToServer(m_dialAddress.isEmpty() ? m_settings.server() : m_dialAddress);
    });
    connect(&m_tcp, &QTcpSocket::connected, this, &AgentController::onConnected);
    connect(&m_tcp, &QTcpSocket::disconnected, this, &AgentController::onClosed);
    connect(&m_tcp, &QTcpSocket::errorOccurred, this, &AgentController::onError);
    connect(&m_tcp, &QTcpSocket::readyRead, this, [this] { handleArrival(m_tcp.readAll()); });
    connect(&m_wake, &QTcpServer::newConnection, this, &AgentController::onWakeConnection);
    // The countdown first, so the session window shows this second's time left.
    connect(&m_clock, &SessionClock::ticked, this, &AgentController::prepaidTick);
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
    o[QStringLiteral("checkingPrepaid")] = s.checkingPrepaid;
    o[QStringLiteral("prepaid")] = s.prepaid;
    o[QStringLiteral("prepaidSecondsLeft")] = double(s.prepaidSecondsLeft);
    o[QStringLiteral("prepaidCredit")] = s.prepaidCredit;
    o[QStringLiteral("prepaidLogoffsSent")] = s.prepaidLogoffsSent;
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
    o[QStringLiteral("sessionWindowClosesRefused")] = s.sessionWindowClosesRefused;
    o[QStringLiteral("sessionWindowRestores")] = s.sessionWindowRestores;
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
    requestConnect(m_fieldAddress);
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
    m_state.prepaid = false;
    m_state.prepaidSecondsLeft = 0;
    m_state.prepaidCredit.clear();
}

void AgentController::showSessionWindow()
{
    m_state.sessionWindowLoaded = true;
    m_settings.setSessionRunning(true);
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
void AgentController::endPasswordCheck()
{
    m_passwordCheck.stop();
    m_pendingTime.reset();
    m_state.checkingPrepaid = false;
    if (m_state.checkingPassword) {
        m_state.checkingPassword = false;
        m_state.optionsVisible = true;
    }
}

// ----- the command interpreter -----
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
        if (m_logoffSentOnLink) {
            logoffSettled();
        }
        endPasswordCheck();
        m_state.keysLocked = true;
        unloadSessionWindow();
        unloadLockScreen();
        showLockScreen();
        m_state.caption = AgentSettings::AppTitle;
        lockedOnConsolesWord();
        break;
    case Kind::Unlock:
        endPasswordCheck();
        // Free without a session: the customer's login stays, and nothing is owed.
        m_settings.setSessionRunning(false);
        m_state.keysLocked = false;
        unloadSessionWindow();
        unloadLockScreen();
        m_state.dialogVisible = false;
        break;
    case Kind::SetTime:
        // A session counted the usual way is starting.
        m_pendingTime.reset();
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
        m_pendingTime.reset();
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
        lockedOnConsolesWord();
        break;
    case Kind::PasswordNotValid:
        endPasswordCheck();
        m_settings.setAutologoff(true);
        showLockScreen();
        m_state.optionsVisible = true;
        m_state.caption = QStringLiteral("Invalid Password, Please Re Enter Password");
        Q_EMIT passwordRefused();
        lockedOnConsolesWord();
        break;
    case Kind::StartSession:
        if (refuseResume()) {
            break;
        }
        beginPrepaid();
        endPasswordCheck();
        m_state.keysLocked = false;
        m_state.optionsVisible = false;
        unloadLockScreen();
        m_state.warningLoaded = false;
        openDefaultWebAddress();
        showSessionWindow();
        break;
    case Kind::EndSession:
        if (m_logoffSentOnLink) {
            logoffSettled();
        }
        endOfSessionLock();
        break;
    case Kind::PrepaidRefused:
        prepaidRefusalArrived(m.value);
        break;
    case Kind::PrepaidTime:
        prepaidTimeArrived(m.value);
        break;
    case Kind::GetDeskTop:
    case Kind::CNameReply:
    case Kind::CheckPassword:
    case Kind::Autologout:
    case Kind::PrepaidLogin:
    case Kind::PrepaidLogoff:
        break;
    }
}
// ----- the customer's side -----

AgentController::LoginResult AgentController::login(const QString& surfText, bool autoChecked,
                                                    const QString& password)
{
    // A time left sent before this login belongs to no session it starts.
    m_pendingTime.reset();
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

void AgentController::sessionWindowCloseRefused()
{
    ++m_state.sessionWindowClosesRefused;
    notify();
}

void AgentController::sessionWindowRestored()
{
    ++m_state.sessionWindowRestores;
    notify();
}
