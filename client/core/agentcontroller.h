// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "client/core/agentsettings.h"
#include "client/core/agentstate.h"
#include "client/core/sessionclock.h"
#include "common/linkauth.h"
#include "common/protocol.h"

#include <QByteArray>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QTcpServer>
#include <QTcpSocket>
#include <QTimer>

#include <optional>

// The agent's end of the console link and its command interpreter. It owns the console
// socket and the auxiliary wake listener, applies each arrival's batch of commands in the
// fixed order, and keeps AgentState, which the windows follow. Everything the customer does
// on the lock screen, the session window and the warning window that has a rule goes through
// here, so the rules run (and are tested) without a screen.
class AgentController : public QObject
{
    Q_OBJECT
public:
    // What the lock screen window does after Login.
    enum class LoginResult
    {
        FocusPassword,
        CheckingPassword,
        LoggedInLocally
    };

    explicit AgentController(AgentSettings& settings, QObject* parent = nullptr);
    ~AgentController() override;

    AgentSettings& settings() { return m_settings; }
    SessionClock& clock() { return m_clock; }
    const AgentState& state() const { return m_state; }

    // Start-up. The dialog is needed when the console's address or our name is not stored.
    bool needsConnectionDialog() const;
    // Loads the dialog's fields from the settings (name: stored or host name; port: stored or
    // 2701; address: stored when set).
    void loadDialogFields();
    // First start: the dialog is shown (modally by the windows) until a connection succeeds.
    void showDialogAtStart();
    // Direct connect with the stored address.
    void connectStored();
    // The rest of the start: system keys locked, lock screen loaded and shown with the
    // application title, counters at 0, auxiliary listener started.
    void startLocked();

    // Connection dialog.
    QString fieldAddress() const { return m_fieldAddress; }
    QString fieldName() const { return m_fieldName; }
    QString fieldPort() const { return m_fieldPort; }
    void setFields(const QString& address, const QString& name, const QString& port);
    // The Connect button; false when the address was refused.
    bool connectPressed();
    // Opened from the settings window: fields from the stored values, "&Hide" for good.
    void showDialogForReconnect();
    void hideDialog();
    // ConnectToServer: connects to the address with the port field.
    void connectToServer(const QString& address);

    // Lock screen.
    LoginResult login(const QString& surfText, bool autoChecked, const QString& password);
    // While the console checks a session password the lock holds with this caption; without
    // an answer in PasswordCheckTimeoutMs the options panel comes back with NoAnswerText.
    static inline const QString CheckingPasswordText = QStringLiteral("Checking password…");
    static inline const QString NoAnswerText =
        QStringLiteral("No answer from the server, please try again");
    static constexpr int PasswordCheckTimeoutMs = 10 * 1000;
    // The lock screen's prepaid login: a ticket code, or a member id and password. False when
    // it was not sent (the caption says why, or a check is already with the console); the lock
    // holds with CheckingText until the console answers, under the session password's
    // no-answer rule. Only "|STARTSESSION|" frees the workstation.
    bool prepaidLogin(const Proto::PrepaidCredentials& typed);
    static inline const QString CheckingText = QStringLiteral("Checking…");
    static inline const QString EnterCodeText = QStringLiteral("Please enter the ticket code.");
    static inline const QString EnterMemberText = QStringLiteral("Please enter your member id.");
    static inline const QString TooLongText =
        QStringLiteral("That is too long: at most 64 characters.");
    // The session window's Log off: the console is told and the lock is up at once.
    void prepaidLogoff();
    // One second of a prepaid session (the session clock's tick): counts down, warns in the
    // last ten minutes once a minute, and at zero logs off by itself.
    void prepaidTick();
    // The time left as the session window shows it, "h:mm:ss".
    QString prepaidTimeText() const;
    // The auto-logoff box was ticked; false when it must be cleared again (no surf time).
    bool autoLogoffTicked(const QString& surfText);
    // The staff's service action, once the settings password was given: free the workstation
    // without a session.
    void serviceUnlock();
    // Another program has kept the keyboard and pointer from the lock for seconds: it runs in
    // the login on the display (ours never grabs them), and a locked workstation has no paid
    // session to lose, so that login ends where the set-up allows it.
    void inputWithheld();
    void restartWorkstation();
    void shutdownWorkstation();

    // Session window: the customer's close it refused, a minimize it undid (counted for
    // observers, which otherwise could not tell a window that stayed from one not yet gone).
    void sessionWindowCloseRefused();
    void sessionWindowRestored();

    // Warning window.
    void warningSurfChanged(const QString& text);
    bool warningAutoToggled(bool checked, const QString& surfText);
    void closeWarning();

    // The arrival handler, public for tests that feed bytes without a socket.
    void handleArrival(const QByteArray& bytes);
    void applyBatch(const QList<Proto::Message>& batch);

    // Reconnect pacing: first retry at once, then 0.5 s doubling up to 5 s. The pacing starts
    // afresh once a link has held for LinkSteadyMs; every dial, whoever asked for it, keeps it.
    static int reconnectDelayMs(int attempt);
    static constexpr int LinkSteadyMs = 10 * 1000;
    // A connect that has not succeeded by then is abandoned and retried.
    static constexpr int ConnectTimeoutMs = 5000;
    bool reconnectPending() const { return m_reconnect.isActive(); }
    // The system's descriptor of the link to the console (-1 when there is none).
    qintptr linkDescriptor() const { return m_tcp.socketDescriptor(); }

    // Sends one message when the link is up (and, with a link key, proven); false otherwise.
    bool send(const QByteArray& message);

Q_SIGNALS:
    void stateChanged();
    // Fill the options panel: surf-time text (empty: leave the field), box ticked or not.
    void fillOptions(const QString& surfText, bool autoChecked);
    void focusSurfTime();
    void focusPassword();
    // The console refused the session password: the field is emptied for the next try.
    void passwordRefused();
    // The console refused a prepaid login: the member password is typed anew.
    void prepaidRefused();
    void focusAddress();
    void openWebAddress(const QString& url);
    void sessionTick();

private:
    void notify();
    void writeStateFile() const;
    void message(const QString& text, const QString& title);

    void onConnected();
    void onClosed();
    void onError(QAbstractSocket::SocketError error);
    void onWakeConnection();
    void scheduleReconnect();
    // Closes the socket without reporting it broken.
    void dropLink();
    // A connect the staff asked for, within the back-off.
    void requestConnect(const QString& address);
    void linkBroken(const QString& caption);

    void loadLockScreen();
    void showLockScreen();
    void unloadLockScreen();
    void unloadSessionWindow();
    void showSessionWindow();
    void openDefaultWebAddress();
    void fillOptionsFromSettings();
    void power(bool reboot);
    // The paid session is over and the lock is up: the customer's login ends too, where the
    // set-up allows it.
    void endCustomerLogin();
    // A command showed the lock screen: a session the agent still counted as running (it was
    // away when the console settled it) is over.
    void lockedOnConsolesWord();
    // Ends a check with the console (session password or prepaid login) and forgets a time
    // left that no "|STARTSESSION|" took up.
    void endPasswordCheck();
    // The lock after a session: locked first, then the customer's login is ended.
    void endOfSessionLock();
    // Prepaid answers from the console.
    void prepaidTimeArrived(const QString& value);
    void prepaidRefusalArrived(const QString& text);
    // "|STARTSESSION|" with a time left just before it: the session is prepaid.
    void beginPrepaid();
    // Log off or time up: the console is told, the lock goes up.
    void endPrepaid();
    // A log off the console may not have heard of is sent, once a link (proven, with a key)
    // is up; once per link.
    void sendOwedLogoff();
    // "|STARTSESSION|" after a time left while a log off is owed: the console resumes the
    // session of a customer who left, and is told again instead. False: the start is taken.
    bool refuseResume();
    // The console has ended the session logged off, or a new customer's login was taken.
    void logoffSettled();

    void apply(const Proto::Message& m);
    // With a link key, what arrives before the console has proven it: only the handshake.
    void handshake(const QList<Proto::Message>& batch);
    void refuseConsole(const QString& reason);
    void linkKeyTrouble(const QString& text);
    bool write(const QByteArray& message);

    AgentSettings& m_settings;
    AgentState m_state;
    SessionClock m_clock;
    QTcpSocket m_tcp;
    QTcpServer m_wake;
    QTimer m_reconnect;
    QTimer m_connectTimeout;
    QTimer m_steady;
    QElapsedTimer m_lastDial;
    // Where the pending reconnect dials ("" : the stored address).
    QString m_dialAddress;
    int m_attempts = 0;
    QTimer m_passwordCheck;
    // A time left the console sent while no prepaid session ran, waiting for its
    // "|STARTSESSION|" (the console sends both in one write); any other word about the lock or
    // a new start, and any new login, drops it.
    struct PendingTime
    {
        QDeadlineTimer deadline;
        QString credit;
    };
    std::optional<PendingTime> m_pendingTime;
    // The running prepaid session's end on the monotonic clock: setting the wall clock cannot
    // stretch the time.
    QDeadlineTimer m_prepaidDeadline;
    qint64 m_prepaidWarned = -1;
    // The owed log off went out on the current link: a lock or end from the console that
    // follows it answers it.
    bool m_logoffSentOnLink = false;
    QPointer<QObject> m_powerRequest;
    Proto::Decoder m_decoder{Proto::Side::Agent};

    // The link key handshake of the current connection.
    enum class LinkPhase
    {
        Open,           // no key: every command is obeyed
        AwaitChallenge, // keyed, nothing heard yet
        AwaitAnswer,    // our proof is sent, the console's is awaited
        Proven
    };
    LinkPhase m_phase = LinkPhase::Open;
    QByteArray m_linkKey;
    LinkAuth::Ends m_ends;
    QByteArray m_consoleNonce;
    QByteArray m_agentNonce;
    QTimer m_proofTimeout;
    bool m_linkKeyTroubleLogged = false;

    QString m_fieldAddress;
    QString m_fieldName;
    QString m_fieldPort;
    QString m_connectingAddress;
    QString m_stateFile;
};
