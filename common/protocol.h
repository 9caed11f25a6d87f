#pragma once

#include <QByteArray>

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

// Agent to console.
inline const QByteArray CNameReply = QByteArrayLiteral("|CNAME`|");
inline const QByteArray CNameReplyEnd = QByteArrayLiteral("|<endname|");
inline const QByteArray CheckPassword = QByteArrayLiteral("|CHECK_PASSWORD|");
inline const QByteArray CheckPasswordEnd = QByteArrayLiteral("<PSW");
inline const QByteArray Autologout = QByteArrayLiteral("|AUTOLOGOUT|");
inline const QByteArray SendTime = QByteArrayLiteral("|SEND_TIME:|");
inline const QByteArray Testing = QByteArrayLiteral("|TESTING|");

inline constexpr quint16 DefaultPort = 2701;
inline constexpr quint16 WakePort = 1021;

// The fixed, locale-independent form of the session start sent with SetDateTime.
inline constexpr const char* DateTimeFormat = "yyyy-MM-dd HH:mm:ss";

} // namespace Proto
