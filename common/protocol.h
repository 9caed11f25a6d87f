// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QByteArray>
#include <QDateTime>
#include <QList>
#include <QString>

#include <optional>

// The tokens of the text protocol between the console and the agents. No token is a
// substring of another that the same side receives, because receivers find them by search.
namespace Proto {

// Console to agent.
inline const QByteArray CName = QByteArrayLiteral("|CNAME|");
inline const QByteArray Lock = QByteArrayLiteral("|LOCK|");
inline const QByteArray Unlock = QByteArrayLiteral("|UNLOCK|");
inline const QByteArray Shutdown = QByteArrayLiteral("|SHUTDOWN|");
inline const QByteArray Reboot = QByteArrayLiteral("|REBOOT|");
inline const QByteArray SetTime = QByteArrayLiteral("|SET_TIME:|");
inline const QByteArray SetDateTime = QByteArrayLiteral("|SET_DATE_TIME:|");
inline const QByteArray SetDateTimeEnd = QByteArrayLiteral("|<TIME|");
inline const QByteArray AutologoutMin = QByteArrayLiteral("|AUTOLOGOUT_MIN|");
inline const QByteArray AutologoutMinEnd = QByteArrayLiteral("|<LOGOUTTIME|");
inline const QByteArray ShowOptions = QByteArrayLiteral("|SHOW_OPTIONS|");
inline const QByteArray ShowOptionsWithPassword = QByteArrayLiteral("|SHOW_OPTIONS_WITH_PASSWORD|");
inline const QByteArray PasswordNotValid = QByteArrayLiteral("|PASSWORD_NOT_VALID|");
inline const QByteArray StartSession = QByteArrayLiteral("|STARTSESSION|");
inline const QByteArray EndSession = QByteArrayLiteral("|ENDSESSION|");
inline const QByteArray GetDeskTop = QByteArrayLiteral("|GET_DESK_TOP|");
// With a link key: the console's fresh nonce, and after the agent's proof, the console's own.
inline const QByteArray LinkChallenge = QByteArrayLiteral("|LINK_CHALLENGE|");
inline const QByteArray LinkChallengeEnd = QByteArrayLiteral("|<CHALLENGE|");
inline const QByteArray LinkAnswer = QByteArrayLiteral("|LINK_ANSWER|");
inline const QByteArray LinkAnswerEnd = QByteArrayLiteral("|<ANSWER|");
// A prepaid session runs: the seconds it has left and the credit left, in the console's words.
// Sent with STARTSESSION when it starts, and again whenever either changes or the agent comes
// back. The console alone decides when the time is up; the agent counts down to show it.
inline const QByteArray PrepaidTime = QByteArrayLiteral("|PREPAID_TIME|");
inline const QByteArray PrepaidTimeEnd = QByteArrayLiteral("|<PREPAID|");
// A prepaid login was not accepted; the value is the text the customer is shown.
inline const QByteArray PrepaidRefused = QByteArrayLiteral("|PREPAID_REFUSED|");
inline const QByteArray PrepaidRefusedEnd = QByteArrayLiteral("|<REFUSED|");

// Agent to console.
inline const QByteArray CNameReply = QByteArrayLiteral("|CNAME`|");
inline const QByteArray CNameReplyEnd = QByteArrayLiteral("|<endname|");
inline const QByteArray CheckPassword = QByteArrayLiteral("|CHECK_PASSWORD|");
inline const QByteArray CheckPasswordEnd = QByteArrayLiteral("<PSW");
inline const QByteArray Autologout = QByteArrayLiteral("|AUTOLOGOUT|");
inline const QByteArray SendTime = QByteArrayLiteral("|SEND_TIME:|");
inline const QByteArray Testing = QByteArrayLiteral("|TESTING|");
// With a link key: the agent's fresh nonce and its proof.
inline const QByteArray LinkProof = QByteArrayLiteral("|LINK_PROOF|");
inline const QByteArray LinkProofEnd = QByteArrayLiteral("|<PROOF|");
// A customer logs in on the lock screen with a ticket code or a member id and password (see
// prepaidLogin for the value), and logs off from the session window.
inline const QByteArray PrepaidLogin = QByteArrayLiteral("|PREPAID_LOGIN|");
inline const QByteArray PrepaidLoginEnd = QByteArrayLiteral("|<LOGIN|");
inline const QByteArray PrepaidLogoff = QByteArrayLiteral("|PREPAID_LOGOFF|");

inline constexpr quint16 DefaultPort = 2701;
inline constexpr quint16 WakePort = 1021;

// The fixed, locale-independent form of the session start sent with SetDateTime.
inline constexpr const char* DateTimeFormat = "yyyy-MM-dd HH:mm:ss";

// Most a receiver keeps of an unfinished message between two arrivals on one connection.
inline constexpr int MaxCarryOver = 4096;

// Which side receives: each side knows only the messages the other one sends.
enum class Side
{
    Agent,
    Console
};

enum class Kind
{
    // Received by the agent.
    LinkChallenge,
    LinkAnswer,
    CName,
    Shutdown,
    Reboot,
    Lock,
    Unlock,
    SetTime,
    SetDateTime,
    AutologoutMin,
    ShowOptionsWithPassword,
    ShowOptions,
    PasswordNotValid,
    StartSession,
    EndSession,
    GetDeskTop,
    PrepaidRefused,
    PrepaidTime,
    // Received by the console.
    LinkProof,
    CNameReply,
    CheckPassword,
    Autologout,
    PrepaidLogin,
    PrepaidLogoff,
};

struct Message
{
    Kind kind = Kind::CName;
    // The text of a valued message (UTF-8 decoded); empty for bare tokens.
    QString value;
    // A valued message whose value could not be cut out (its closing marker is missing or
    // stands before the opening token): the value is empty and the receiver logs the failure.
    bool malformed = false;

    bool operator==(const Message& o) const
    {
        return kind == o.kind && value == o.value && malformed == o.malformed;
    }
};

// The token a kind stands for (the opening token of a valued message).
QByteArray token(Kind kind);
// The closing marker of a valued message; empty for bare tokens.
QByteArray closingMarker(Kind kind);
bool isValued(Kind kind);

// A valued message: opening token, the value as UTF-8, closing marker. A value never carries
// its own closing marker (it would end the message early), so every occurrence is removed.
QByteArray valued(const QByteArray& open, const QString& value, const QByteArray& close);

// The messages with a value, ready to send.
QByteArray cnameReply(const QString& name);
QByteArray checkPassword(const QString& password);
QByteArray setDateTime(const QDateTime& start);
QByteArray autologoutMinutes(qint64 minutes);
QByteArray linkChallenge(const QByteArray& consoleNonce);
QByteArray linkProof(const QByteArray& agentNonce, const QByteArray& proof);
QByteArray linkAnswer(const QByteArray& proof);

// What a customer types to log in. Codes, ids and passwords are free text of any content, so on
// the wire each is base64 (which holds no character of any token or marker): "T <code>" or
// "M <id> <password>". Longer fields than MaxCredentialLength are refused on both ends.
struct PrepaidCredentials
{
    enum class Kind
    {
        Ticket,
        Member
    };
    Kind kind = Kind::Ticket;
    QString id; // the ticket code or the member id, as typed
    QString password;

    bool operator==(const PrepaidCredentials&) const = default;
};
inline constexpr int MaxCredentialLength = 64;
QByteArray prepaidLogin(const PrepaidCredentials& c);
// nullopt for anything but a well-formed value with fields of 1..MaxCredentialLength characters
// (a member's password may be empty).
std::optional<PrepaidCredentials> parsePrepaidLogin(const QString& value);

// "|PREPAID_TIME|": "<seconds left> <credit left>", the credit as the console prints money.
struct PrepaidTimeLeft
{
    qint64 seconds = 0;
    QString credit;

    bool operator==(const PrepaidTimeLeft&) const = default;
};
QByteArray prepaidTime(const PrepaidTimeLeft& t);
std::optional<PrepaidTimeLeft> parsePrepaidTime(const QString& value);
QByteArray prepaidRefused(const QString& text);

// The start date-time of "|SET_DATE_TIME:|" in its fixed form, and back (invalid when the text
// is not in that form).
QString dateTimeText(const QDateTime& t);
QDateTime parseDateTime(const QString& text);

// Turns one arrival into the batch of messages the receiver handles for it, in the receiver's
// fixed order:
//   agent:   the link challenge and the link answer; "|CNAME|"; then the first present of SHUTDOWN,
//   REBOOT, LOCK, UNLOCK, and when one
//            is present nothing else; otherwise SET_TIME, SET_DATE_TIME, AUTOLOGOUT_MIN,
//            SHOW_OPTIONS_WITH_PASSWORD, SHOW_OPTIONS, PASSWORD_NOT_VALID,
//            PREPAID_REFUSED, PREPAID_TIME, STARTSESSION, ENDSESSION, GET_DESK_TOP;
//   console: the link proof, the name reply, the password check, the prepaid login, the
//   prepaid log off, the automatic logout, independently.
// Each token is found by search and handled once per arrival, whatever its number of
// occurrences; a valued message's value runs from its first opening token to the first
// closing marker.
//
// TCP may cut a message anywhere, so the tail of an arrival that can still become a message
// (a proper beginning of a token, or a valued message whose closing marker has not come yet)
// is kept and put in front of the next arrival. Everything else is dropped once handled. What
// is kept never exceeds MaxCarryOver bytes: an unfinished valued message that grows beyond it
// is handled as it stands (its value empty, marked malformed).
class Decoder
{
public:
    explicit Decoder(Side side);

    QList<Message> feed(const QByteArray& arrival);
    // Handles whatever is kept as if it had arrived complete, and forgets it.
    QList<Message> flush();
    // Bytes kept from earlier arrivals.
    qsizetype pending() const { return m_carry.size(); }
    void reset() { m_carry.clear(); }
    Side side() const { return m_side; }

    // The batch for one arrival taken as a whole, with nothing kept: the receiving rule alone.
    static QList<Message> decodeWhole(Side side, const QByteArray& data);

private:
    qsizetype cutPoint(const QByteArray& buf) const;

    Side m_side;
    QByteArray m_carry;
};

} // namespace Proto

using ProtocolDecoder = Proto::Decoder;
