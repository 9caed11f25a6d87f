// SPDX-License-Identifier: Apache-2.0
#include "platform/power.h"

#include "common/errorlog.h"
#include "common/settingsstore.h"

#include <QDBusConnection>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDBusPendingReply>
#include <QProcess>
#include <QTimer>

namespace {

const QString Label = QStringLiteral("Power");

// One request in flight. Whatever ends it first (answer, failure, time limit) reports; the
// rest is ignored. Destroyed with its context, it reports nothing.
class Request : public QObject
{
public:
    Request(QObject* context, std::function<void(bool)> done)
        : QObject(context), m_done(std::move(done))
    {
    }

    ~Request() override
    {
        if (m_process) {
            // Nothing may report into a context that is being destroyed.
            m_process->disconnect(this);
            if (m_process->state() != QProcess::NotRunning) {
                m_process->kill();
                m_process->waitForFinished(1000);
            }
        }
    }

    void runCommand(const QString& command, const QString& word)
    {
        m_process = new QProcess(this);
        m_process->setProcessChannelMode(QProcess::ForwardedChannels);
        connect(m_process, &QProcess::finished, this,
                [this, word](int code, QProcess::ExitStatus status) {
                    if (status != QProcess::NormalExit || code != 0) {
                        fail(QStringLiteral("Power command failed for ") + word, code);
                    } else {
                        finish(true);
                    }
                });
        connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart) {
                fail(QStringLiteral("Power command did not start: ") + m_process->errorString());
            }
        });
        auto* limit = new QTimer(this);
        limit->setSingleShot(true);
        connect(limit, &QTimer::timeout, this, [this] {
            fail(QStringLiteral("Power command did not finish"));
            m_process->kill();
        });
        limit->start(Power::CommandTimeoutMs);
        // The word goes in as a positional parameter, never pasted into the command text.
        m_process->start(QStringLiteral("/bin/sh"),
                         {QStringLiteral("-c"), command + QStringLiteral(" \"$1\""),
                          QStringLiteral("sh"), word});
    }

    void callLogind(const QString& method)
    {
        QDBusConnection bus = QDBusConnection::systemBus();
        if (!bus.isConnected()) {
            // Reported from the event loop, as every other outcome is.
            const QString text = QStringLiteral("No system bus: ") + bus.lastError().message();
            QTimer::singleShot(0, this, [this, text] { fail(text); });
            return;
        }
        QDBusMessage call = QDBusMessage::createMethodCall(
            QStringLiteral("org.freedesktop.login1"), QStringLiteral("/org/freedesktop/login1"),
            QStringLiteral("org.freedesktop.login1.Manager"), method);
        call << false; // not interactive: no password dialog on a locked workstation
        auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, Power::BusTimeoutMs), this);
        connect(watcher, &QDBusPendingCallWatcher::finished, this, [this, method, watcher] {
            const QDBusPendingReply<> reply = *watcher;
            if (reply.isError()) {
                fail(method + QStringLiteral(": ") + reply.error().message());
            } else {
                finish(true);
            }
        });
    }

private:
    void fail(const QString& text, long long number = 0)
    {
        if (!m_finished) {
            ErrorLog::write(Label, text, number);
        }
        finish(false);
    }

    void finish(bool accepted)
    {
        if (m_finished) {
            return;
        }
        m_finished = true;
        if (m_done) {
            m_done(accepted);
        }
        deleteLater();
    }

    std::function<void(bool)> m_done;
    QProcess* m_process = nullptr;
    bool m_finished = false;
};

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

QObject* Power::request(Action action, QObject* context, std::function<void(bool)> done)
{
    auto* r = new Request(context, std::move(done));
    const QString command = overrideCommand();
    if (!command.isEmpty()) {
        r->runCommand(command, action == Action::Reboot ? QStringLiteral("reboot")
                                                        : QStringLiteral("poweroff"));
    } else {
        r->callLogind(action == Action::Reboot ? QStringLiteral("Reboot")
                                               : QStringLiteral("PowerOff"));
    }
    return r;
}
