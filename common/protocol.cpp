// SPDX-License-Identifier: Apache-2.0
#include "common/protocol.h"

#include <algorithm>
#include <array>

namespace Proto {

namespace {

struct Valued
{
    Kind kind;
    const QByteArray* open;
    const QByteArray* close;
};

const std::array<Valued, 10>& valuedMessages()
{
    static const std::array<Valued, 10> v{{
        {Kind::LinkChallenge, &LinkChallenge, &LinkChallengeEnd},
        {Kind::LinkAnswer, &LinkAnswer, &LinkAnswerEnd},
        {Kind::LinkProof, &LinkProof, &LinkProofEnd},
        {Kind::SetDateTime, &SetDateTime, &SetDateTimeEnd},
        {Kind::AutologoutMin, &AutologoutMin, &AutologoutMinEnd},
        {Kind::CNameReply, &CNameReply, &CNameReplyEnd},
        {Kind::CheckPassword, &CheckPassword, &CheckPasswordEnd},
        {Kind::PrepaidRefused, &PrepaidRefused, &PrepaidRefusedEnd},
        {Kind::PrepaidTime, &PrepaidTime, &PrepaidTimeEnd},
        {Kind::PrepaidLogin, &PrepaidLogin, &PrepaidLoginEnd},
    }};
    return v;
}

// The agent's order: the link messages (which decide whether anything else is obeyed), the
// name request, then one of the four exclusive commands, else the rest.
constexpr std::array<Kind, 2> AgentLinkOrder{Kind::LinkChallenge, Kind::LinkAnswer};
constexpr std::array<Kind, 4> AgentExclusive{Kind::Shutdown, Kind::Reboot, Kind::Lock,
                                             Kind::Unlock};
constexpr std::array<Kind, 11> AgentRest{
    Kind::SetTime,      Kind::SetDateTime,      Kind::AutologoutMin,  Kind::ShowOptionsWithPassword,
    Kind::ShowOptions,  Kind::PasswordNotValid, Kind::PrepaidRefused, Kind::PrepaidTime,
    Kind::StartSession, Kind::EndSession,       Kind::GetDeskTop};
constexpr std::array<Kind, 6> ConsoleOrder{Kind::LinkProof,     Kind::CNameReply,
                                           Kind::CheckPassword, Kind::PrepaidLogin,
                                           Kind::PrepaidLogoff, Kind::Autologout};

// Openings a side looks for: a tail of an arrival that begins one of them is kept.
const QList<QByteArray>& receivedTokens(Side side)
{
    static const QList<QByteArray> agent = [] {
        QList<QByteArray> l;
        for (Kind k : AgentLinkOrder) {
            l.append(token(k));
        }
        l.append(token(Kind::CName));
        for (Kind k : AgentExclusive) {
            l.append(token(k));
        }
        for (Kind k : AgentRest) {
            l.append(token(k));
        }
        return l;
    }();
    static const QList<QByteArray> console = [] {
        QList<QByteArray> l;
        for (Kind k : ConsoleOrder) {
            l.append(token(k));
        }
        return l;
    }();
    return side == Side::Agent ? agent : console;
}

// Every string of the protocol, both directions, closing markers included: a kept tail never
// starts inside one of them.
const QList<QByteArray>& allStrings()
{
    static const QList<QByteArray> all{CName,
                                       Lock,
                                       Unlock,
                                       Shutdown,
                                       Reboot,
                                       SetTime,
                                       SetDateTime,
                                       SetDateTimeEnd,
                                       AutologoutMin,
                                       AutologoutMinEnd,
                                       ShowOptions,
                                       ShowOptionsWithPassword,
                                       PasswordNotValid,
                                       StartSession,
                                       EndSession,
                                       GetDeskTop,
                                       CNameReply,
                                       CNameReplyEnd,
                                       CheckPassword,
                                       CheckPasswordEnd,
                                       Autologout,
                                       SendTime,
                                       Testing,
                                       LinkChallenge,
                                       LinkChallengeEnd,
                                       LinkAnswer,
                                       LinkAnswerEnd,
                                       LinkProof,
                                       LinkProofEnd,
                                       PrepaidTime,
                                       PrepaidTimeEnd,
                                       PrepaidRefused,
                                       PrepaidRefusedEnd,
                                       PrepaidLogin,
                                       PrepaidLoginEnd,
                                       PrepaidLogoff};
    return all;
}

qsizetype longestToken()
{
    static const qsizetype n = [] {
        qsizetype m = 0;
        for (const QByteArray& t : allStrings()) {
            m = std::max(m, t.size());
        }
        return m;
    }();
    return n;
}

Message extract(const QByteArray& data, Kind kind)
{
    Message m;
    m.kind = kind;
    const QByteArray open = token(kind);
    const QByteArray close = closingMarker(kind);
    const qsizetype start = data.indexOf(open) + open.size();
    const qsizetype end = data.indexOf(close);
    if (end < start) {
        m.malformed = true;
    } else {
        m.value = QString::fromUtf8(data.mid(start, end - start));
    }
    return m;
}

void appendIfPresent(QList<Message>& out, const QByteArray& data, Kind kind)
{
    if (!data.contains(token(kind))) {
        return;
    }
    if (isValued(kind)) {
        out.append(extract(data, kind));
    } else {
        out.append(Message{kind, QString(), false});
    }
}

// True when some protocol string occurs across position q (starting before it, ending after).
bool insideToken(const QByteArray& buf, qsizetype q)
{
    for (const QByteArray& t : allStrings()) {
        const qsizetype a = buf.indexOf(t, std::max<qsizetype>(0, q - t.size() + 1));
        if (a >= 0 && a < q) {
            return true;
        }
    }
    return false;
}

} // namespace

QByteArray token(Kind kind)
{
    switch (kind) {
    case Kind::LinkChallenge:
        return LinkChallenge;
    case Kind::LinkAnswer:
        return LinkAnswer;
    case Kind::LinkProof:
        return LinkProof;
    case Kind::CName:
        return CName;
    case Kind::Shutdown:
        return Shutdown;
    case Kind::Reboot:
        return Reboot;
    case Kind::Lock:
        return Lock;
    case Kind::Unlock:
        return Unlock;
    case Kind::SetTime:
        return SetTime;
    case Kind::SetDateTime:
        return SetDateTime;
    case Kind::AutologoutMin:
        return AutologoutMin;
    case Kind::ShowOptionsWithPassword:
        return ShowOptionsWithPassword;
    case Kind::ShowOptions:
        return ShowOptions;
    case Kind::PasswordNotValid:
        return PasswordNotValid;
    case Kind::StartSession:
        return StartSession;
    case Kind::EndSession:
        return EndSession;
    case Kind::GetDeskTop:
        return GetDeskTop;
    case Kind::CNameReply:
        return CNameReply;
    case Kind::CheckPassword:
        return CheckPassword;
    case Kind::Autologout:
        return Autologout;
    case Kind::PrepaidRefused:
        return PrepaidRefused;
    case Kind::PrepaidTime:
        return PrepaidTime;
    case Kind::PrepaidLogin:
        return PrepaidLogin;
    case Kind::PrepaidLogoff:
        return PrepaidLogoff;
    }
    return {};
}

QByteArray closingMarker(Kind kind)
{
    for (const Valued& v : valuedMessages()) {
        if (v.kind == kind) {
            return *v.close;
        }
    }
    return {};
}

bool isValued(Kind kind)
{
    return !closingMarker(kind).isEmpty();
}

QByteArray valued(const QByteArray& open, const QString& value, const QByteArray& close)
{
    QByteArray v = value.toUtf8();
    // Removing one occurrence can join its neighbours into a new one, so repeat.
    while (!close.isEmpty() && v.contains(close)) {
        v.replace(close, QByteArray());
    }
    return open + v + close;
}

QByteArray cnameReply(const QString& name)
{
    return valued(CNameReply, name, CNameReplyEnd);
}

QByteArray checkPassword(const QString& password)
{
    return valued(CheckPassword, password, CheckPasswordEnd);
}

QByteArray setDateTime(const QDateTime& start)
{
    return valued(SetDateTime, dateTimeText(start), SetDateTimeEnd);
}

QByteArray autologoutMinutes(qint64 minutes)
{
    return valued(AutologoutMin, QString::number(minutes), AutologoutMinEnd);
}

QByteArray linkChallenge(const QByteArray& consoleNonce)
{
    return valued(LinkChallenge, QString::fromLatin1(consoleNonce), LinkChallengeEnd);
}

QByteArray linkProof(const QByteArray& agentNonce, const QByteArray& proof)
{
    return valued(LinkProof, QString::fromLatin1(agentNonce + ' ' + proof), LinkProofEnd);
}

QByteArray linkAnswer(const QByteArray& proof)
{
    return valued(LinkAnswer, QString::fromLatin1(proof), LinkAnswerEnd);
}

namespace {

QByteArray field(const QString& text)
{
    return text.toUtf8().toBase64();
}

// One base64 field back to text: nullopt unless it is strict base64 of valid UTF-8 within the
// length bound.
std::optional<QString> unfield(const QString& part, bool mayBeEmpty)
{
    if (part.size() > 4 * MaxCredentialLength * 2) { // UTF-8 up to 4 bytes, base64 4/3
        return std::nullopt;
    }
    const auto decoded =
        QByteArray::fromBase64Encoding(part.toLatin1(), QByteArray::AbortOnBase64DecodingErrors);
    if (!decoded) {
        return std::nullopt;
    }
    const QString text = QString::fromUtf8(*decoded);
    if (text.toUtf8() != *decoded || text.size() > MaxCredentialLength ||
        (text.isEmpty() && !mayBeEmpty)) {
        return std::nullopt;
    }
    return text;
}

} // namespace

QByteArray prepaidLogin(const PrepaidCredentials& c)
{
    QByteArray v = c.kind == PrepaidCredentials::Kind::Ticket ? QByteArrayLiteral("T ")
                                                              : QByteArrayLiteral("M ");
    v += field(c.id);
    if (c.kind == PrepaidCredentials::Kind::Member) {
        v += ' ' + field(c.password);
    }
    return PrepaidLogin + v + PrepaidLoginEnd;
}

std::optional<PrepaidCredentials> parsePrepaidLogin(const QString& value)
{
    const QStringList parts = value.split(QLatin1Char(' '));
    PrepaidCredentials c;
    if (parts.size() == 2 && parts[0] == QLatin1String("T")) {
        c.kind = PrepaidCredentials::Kind::Ticket;
    } else if (parts.size() == 3 && parts[0] == QLatin1String("M")) {
        c.kind = PrepaidCredentials::Kind::Member;
        const auto pw = unfield(parts[2], true);
        if (!pw) {
            return std::nullopt;
        }
        c.password = *pw;
    } else {
        return std::nullopt;
    }
    const auto id = unfield(parts[1], false);
    if (!id) {
        return std::nullopt;
    }
    c.id = *id;
    return c;
}

QByteArray prepaidTime(const PrepaidTimeLeft& t)
{
    return valued(PrepaidTime,
                  QString::number(std::max<qint64>(0, t.seconds)) + QLatin1Char(' ') + t.credit,
                  PrepaidTimeEnd);
}

std::optional<PrepaidTimeLeft> parsePrepaidTime(const QString& value)
{
    const QString v = value.trimmed();
    const qsizetype space = v.indexOf(QLatin1Char(' '));
    bool ok = false;
    PrepaidTimeLeft t;
    t.seconds = v.left(space < 0 ? v.size() : space).toLongLong(&ok);
    if (!ok || t.seconds < 0) {
        return std::nullopt;
    }
    t.credit = space < 0 ? QString() : v.mid(space + 1).trimmed();
    return t;
}

QByteArray prepaidRefused(const QString& text)
{
    return valued(PrepaidRefused, text, PrepaidRefusedEnd);
}

QString dateTimeText(const QDateTime& t)
{
    return t.toString(QString::fromLatin1(DateTimeFormat));
}

QDateTime parseDateTime(const QString& text)
{
    return QDateTime::fromString(text.trimmed(), QString::fromLatin1(DateTimeFormat));
}

Decoder::Decoder(Side side) : m_side(side) {}

QList<Message> Decoder::decodeWhole(Side side, const QByteArray& data)
{
    QList<Message> out;
    if (data.isEmpty()) {
        return out;
    }
    if (side == Side::Console) {
        for (Kind k : ConsoleOrder) {
            appendIfPresent(out, data, k);
        }
        return out;
    }
    for (Kind k : AgentLinkOrder) {
        appendIfPresent(out, data, k);
    }
    appendIfPresent(out, data, Kind::CName);
    for (Kind k : AgentExclusive) {
        if (data.contains(token(k))) {
            out.append(Message{k, QString(), false});
            return out;
        }
    }
    for (Kind k : AgentRest) {
        appendIfPresent(out, data, k);
    }
    return out;
}

qsizetype Decoder::cutPoint(const QByteArray& buf) const
{
    // An opened valued message with no closing marker after it waits, and so does everything
    // behind it, which keeps the receiver's order across the two arrivals.
    qsizetype cut = buf.size();
    for (const Valued& v : valuedMessages()) {
        if (!receivedTokens(m_side).contains(*v.open)) {
            continue;
        }
        const qsizetype lastClose = buf.lastIndexOf(*v.close);
        const qsizetype from =
            lastClose < 0 ? 0 : std::max<qsizetype>(0, lastClose - v.open->size() + 1);
        const qsizetype o = buf.indexOf(*v.open, from);
        if (o >= 0) {
            cut = std::min(cut, o);
        }
    }
    if (cut < buf.size()) {
        return cut;
    }
    // Otherwise the longest tail that is the beginning of a token the side receives.
    const qsizetype first = std::max<qsizetype>(0, buf.size() - longestToken() + 1);
    for (qsizetype q = first; q < buf.size(); ++q) {
        const QByteArrayView tail(buf.constData() + q, buf.size() - q);
        const bool begins = std::any_of(
            receivedTokens(m_side).cbegin(), receivedTokens(m_side).cend(),
            [&](const QByteArray& t) { return t.size() > tail.size() && t.startsWith(tail); });
        if (begins && !insideToken(buf, q)) {
            return q;
        }
    }
    return buf.size();
}

QList<Message> Decoder::feed(const QByteArray& arrival)
{
    QByteArray buf = m_carry + arrival;
    m_carry.clear();
    qsizetype cut = cutPoint(buf);
    if (buf.size() - cut > MaxCarryOver) {
        cut = buf.size();
    }
    m_carry = buf.mid(cut);
    buf.truncate(cut);
    return decodeWhole(m_side, buf);
}

QList<Message> Decoder::flush()
{
    const QByteArray buf = m_carry;
    m_carry.clear();
    return decodeWhole(m_side, buf);
}

} // namespace Proto
