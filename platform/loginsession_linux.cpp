// SPDX-License-Identifier: Apache-2.0
#include "platform/loginsession.h"

#include "common/errorlog.h"
#include "common/settingsstore.h"

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusVariant>
#include <QProcess>
#include <QTimer>

#include <unistd.h>

namespace {

const QString Service = QStringLiteral("org.freedesktop.login1");
const QString ManagerPath = QStringLiteral("/org/freedesktop/login1");
const QString Manager = QStringLiteral("org.freedesktop.login1.Manager");
const QString Label = QStringLiteral("LoginSession");

// ":0.0" and ":0" are the same display.
QString displayOnly(const QString& display)
{
    const QString d = display.trimmed();
    const qsizetype colon = d.lastIndexOf(QLatin1Char(':'));
    const qsizetype dot = d.indexOf(QLatin1Char('.'), colon + 1);
    return colon >= 0 && dot > colon ? d.left(dot) : d;
}

// One ending in flight: the sessions are listed, each one's display asked, then the accounts
// on ours ended, every call without blocking. Whatever ends it reports once; destroyed with its
// context, it reports nothing.
class Ending : public QObject
{
public:
    Ending(QObject* context, QString display, std::function<void(bool)> done)
        : QObject(context), m_display(std::move(display)), m_done(std::move(done))
    {
    }

    ~Ending() override
    {
        if (m_process) {
            m_process->disconnect(this);
            if (m_process->state() != QProcess::NotRunning) {
                m_process->kill();
                m_process->waitForFinished(1000);
            }
        }
    }

    void runCommand(const QString& command)
    {
        m_process = new QProcess(this);
        m_process->setProcessChannelMode(QProcess::ForwardedChannels);
        connect(m_process, &QProcess::finished, this, [this](int code, QProcess::ExitStatus s) {
            if (s != QProcess::NormalExit || code != 0) {
                fail(QStringLiteral("Login ending command failed"), code);
            } else {
                finish();
            }
        });
        connect(m_process, &QProcess::errorOccurred, this, [this](QProcess::ProcessError e) {
            if (e == QProcess::FailedToStart) {
                fail(QStringLiteral("Login ending command did not start: ") +
                     m_process->errorString());
            }
        });
        QTimer::singleShot(LoginSession::CommandTimeoutMs, this, [this] {
            fail(QStringLiteral("Login ending command did not finish"));
            m_process->kill();
        });
        // The display goes in as a positional parameter, never pasted into the command text.
        m_process->start(QStringLiteral("/bin/sh"),
                         {QStringLiteral("-c"), command + QStringLiteral(" \"$1\""),
                          QStringLiteral("sh"), m_display});
    }

    void callLoginManager()
    {
        if (!QDBusConnection::systemBus().isConnected()) {
            QTimer::singleShot(0, this, [this] { fail(QStringLiteral("No system bus")); });
            return;
        }
        ask(ManagerPath, Manager, QStringLiteral("ListSessions"), {},
            [this](const QDBusMessage& reply) { sessionsListed(reply); });
    }

private:
    // One call; `answered` runs with the reply when it is one (a failure is logged and
    // counted). finishWhenAnswered() reports once no call is outstanding.
    void ask(const QString& path, const QString& interface, const QString& method,
             const QVariantList& args, std::function<void(const QDBusMessage&)> answered)
    {
        QDBusMessage m = QDBusMessage::createMethodCall(Service, path, interface, method);
        m.setArguments(args);
        auto* watcher = new QDBusPendingCallWatcher(
            QDBusConnection::systemBus().asyncCall(m, LoginSession::BusTimeoutMs), this);
        ++m_outstanding;
        connect(watcher, &QDBusPendingCallWatcher::finished, this,
                [this, watcher, method, answered = std::move(answered)] {
                    watcher->deleteLater();
                    --m_outstanding;
                    const QDBusMessage reply = watcher->reply();
                    if (reply.type() != QDBusMessage::ReplyMessage) {
                        ErrorLog::write(Label,
                                        method + QStringLiteral(": ") + reply.errorMessage());
                        m_ok = false;
                    } else if (answered) {
                        answered(reply);
                    }
                    if (m_outstanding == 0) {
                        allAnswered();
                    }
                });
    }

    void sessionsListed(const QDBusMessage& reply)
    {
        if (reply.arguments().isEmpty()) {
            return;
        }
        // a(susso): id, uid, user name, seat, object path.
        const QDBusArgument arg = reply.arguments().constFirst().value<QDBusArgument>();
        arg.beginArray();
        while (!arg.atEnd()) {
            QString id, user, seat;
            uint uid = 0;
            QDBusObjectPath path;
            arg.beginStructure();
            arg >> id >> uid >> user >> seat >> path;
            arg.endStructure();
            m_listing = true;
            ask(path.path(), QStringLiteral("org.freedesktop.DBus.Properties"),
                QStringLiteral("Get"),
                {QStringLiteral("org.freedesktop.login1.Session"), QStringLiteral("Display")},
                [this, uid](const QDBusMessage& d) {
                    if (!d.arguments().isEmpty()) {
                        m_sessions.append({uid, d.arguments()
                                                    .constFirst()
                                                    .value<QDBusVariant>()
                                                    .variant()
                                                    .toString()});
                    }
                });
        }
        arg.endArray();
    }

    void allAnswered()
    {
        if (!m_listing) {
            // The accounts' endings are in (or there was no session): done.
            finish();
            return;
        }
        m_listing = false;
        const QList<uint> accounts =
            LoginSession::accountsToEnd(m_sessions, m_display, uint(::getuid()));
        for (const uint uid : accounts) {
            // The whole account, not the one session: what it started outside the session
            // (its service manager's programs) ends too.
            ask(ManagerPath, Manager, QStringLiteral("TerminateUser"), {uid}, {});
        }
        if (accounts.isEmpty()) {
            finish();
        }
    }

    void fail(const QString& text, long long number = 0)
    {
        if (!m_finished) {
            ErrorLog::write(Label, text, number);
        }
        m_ok = false;
        finish();
    }

    void finish()
    {
        if (m_finished) {
            return;
        }
        m_finished = true;
        if (m_done) {
            m_done(m_ok);
        }
        deleteLater();
    }

    QString m_display;
    std::function<void(bool)> m_done;
    QProcess* m_process = nullptr;
    QList<LoginSession::Session> m_sessions;
    int m_outstanding = 0;
    // The displays of the listed sessions are being asked.
    bool m_listing = false;
    bool m_ok = true;
    bool m_finished = false;
};

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

QObject* LoginSession::endOnDisplay(QObject* context, std::function<void(bool)> done,
                                    const QString& display)
{
    const QString d = display.isEmpty() ? qEnvironmentVariable("DISPLAY") : display;
    auto* e = new Ending(context, d, std::move(done));
    const QString command = qEnvironmentVariable(CommandVariable).trimmed();
    if (!command.isEmpty()) {
        e->runCommand(command);
    } else {
        e->callLoginManager();
    }
    return e;
}
