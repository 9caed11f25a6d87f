#include "platform/power.h"

#include "common/errorlog.h"
#include "common/settingsstore.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QProcess>

namespace {

bool runCommand(const QString& command, const QString& word)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedChannels);
    // The word goes in as a positional parameter, never pasted into the command text.
    p.start(QStringLiteral("/bin/sh"), {QStringLiteral("-c"), command + QStringLiteral(" \"$1\""),
                                        QStringLiteral("sh"), word});
    if (!p.waitForFinished(60000)) {
        ErrorLog::write(QStringLiteral("Power"),
                        QStringLiteral("Power command did not finish: ") + p.errorString());
        p.kill();
        p.waitForFinished(1000);
        return false;
    }
    if (p.exitStatus() != QProcess::NormalExit || p.exitCode() != 0) {
        ErrorLog::write(QStringLiteral("Power"), QStringLiteral("Power command failed for ") + word,
                        p.exitCode());
        return false;
    }
    return true;
}

bool callLogind(const QString& method)
{
    QDBusConnection bus = QDBusConnection::systemBus();
    if (!bus.isConnected()) {
        ErrorLog::write(QStringLiteral("Power"),
                        QStringLiteral("No system bus: ") + bus.lastError().message());
        return false;
    }
    QDBusMessage call = QDBusMessage::createMethodCall(
        QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
        QStringLiteral("org.freedesktop.login1.Manager"), method);
    call << false; // not interactive: no password dialog on a locked workstation
    const QDBusMessage reply = bus.call(call, QDBus::Block, 15000);
    if (reply.type() != QDBusMessage::ReplyMessage) {
        ErrorLog::write(QStringLiteral("Power"),
                        method + QStringLiteral(": ") + reply.errorMessage());
        return false;
    }
    return true;
}

bool act(const QString& word, const QString& method)
{
    const QString command = Power::overrideCommand();
    return command.isEmpty() ? callLogind(method) : runCommand(command, word);
}

} // namespace

QString Power::platformKey()
{
    return RegKey::Platform;
}

QString Power::overrideCommand()
{
    const QString fromEnv = qEnvironmentVariable(CommandVariable).trimmed();
    if (!fromEnv.isEmpty()) {
        return fromEnv;
    }
    const QString stored =
        SettingsStore().readValue(platformKey(), QString::fromLatin1(CommandValue)).trimmed();
    return stored == SettingsStore::Error ? QString() : stored;
}

bool Power::shutdown()
{
    return act(QStringLiteral("poweroff"), QStringLiteral("PowerOff"));
}

bool Power::reboot()
{
    return act(QStringLiteral("reboot"), QStringLiteral("Reboot"));
}
