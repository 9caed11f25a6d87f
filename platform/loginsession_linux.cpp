#include "platform/loginsession.h"

#include "common/errorlog.h"
#include "common/settingsstore.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusVariant>

#include <unistd.h>

namespace {

const QString Service = QStringLiteral("org.freedesktop.login1");
const QString Label = QStringLiteral("LoginSession");

// ":0.0" and ":0" are the same display.
QString displayOnly(const QString& display)
{
    const QString d = display.trimmed();
    const qsizetype colon = d.lastIndexOf(QLatin1Char(':'));
    const qsizetype dot = d.indexOf(QLatin1Char('.'), colon + 1);
    return colon >= 0 && dot > colon ? d.left(dot) : d;
}

QDBusMessage call(const QString& path, const QString& interface, const QString& method,
                  const QVariantList& args)
{
    QDBusMessage m = QDBusMessage::createMethodCall(Service, path, interface, method);
    m.setArguments(args);
    const QDBusMessage reply = QDBusConnection::systemBus().call(m, QDBus::Block, 15000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        ErrorLog::write(Label, method + QStringLiteral(": ") + reply.errorMessage());
    }
    return reply;
}

QList<LoginSession::Session> listSessions()
{
    QList<LoginSession::Session> out;
    const QDBusMessage reply =
        call(QStringLiteral("/org/freedesktop/login1"),
             QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("ListSessions"), {});
    if (reply.type() != QDBusMessage::ReplyMessage || reply.arguments().isEmpty()) {
        return out;
    }
    // a(susso): id, uid, user name, seat, object path.
    const QDBusArgument arg = reply.arguments().constFirst().value<QDBusArgument>();
    QList<QPair<uint, QString>> found;
    arg.beginArray();
    while (!arg.atEnd()) {
        QString id, user, seat;
        uint uid = 0;
        QDBusObjectPath path;
        arg.beginStructure();
        arg >> id >> uid >> user >> seat >> path;
        arg.endStructure();
        found.append({uid, path.path()});
    }
    arg.endArray();
    for (const auto& [uid, path] : found) {
        const QDBusMessage d =
            call(path, QStringLiteral("org.freedesktop.DBus.Properties"), QStringLiteral("Get"),
                 {QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Display")});
        if (d.type() == QDBusMessage::ReplyMessage && !d.arguments().isEmpty()) {
            out.append(
                {uid, d.arguments().constFirst().value<QDBusVariant>().variant().toString()});
        }
    }
    return out;
}

} // namespace

bool LoginSession::enabled()
{
    return SettingsStore().readValue(RegKey::Platform, QString::fromLatin1(EndValue)).trimmed() ==
           QLatin1String("1");
}

QList<uint> LoginSession::accountsToEnd(const QList<Session>& sessions, const QString& display,
                                        uint ownUid)
{
    QList<uint> out;
    const QString want = displayOnly(display);
    if (want.isEmpty()) {
        return out;
    }
    for (const Session& s : sessions) {
        if (s.uid != 0 && s.uid != ownUid && displayOnly(s.display) == want &&
            !out.contains(s.uid)) {
            out.append(s.uid);
        }
    }
    return out;
}

bool LoginSession::endOnDisplay(const QString& display)
{
    if (!QDBusConnection::systemBus().isConnected()) {
        ErrorLog::write(Label, QStringLiteral("No system bus"));
        return false;
    }
    const QString d = display.isEmpty() ? qEnvironmentVariable("DISPLAY") : display;
    bool ok = true;
    for (const uint uid : accountsToEnd(listSessions(), d, uint(::getuid()))) {
        // The whole account, not the one session: what it started outside the session (its
        // service manager's programs) ends too.
        ok = call(QStringLiteral("/org/freedesktop/login1"),
                  QStringLiteral("org.freedesktop.login1.Manager"), QStringLiteral("TerminateUser"),
                  {uid})
                     .type() == QDBusMessage::ReplyMessage &&
             ok;
    }
    return ok;
}
