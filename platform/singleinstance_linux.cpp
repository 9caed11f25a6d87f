// SPDX-License-Identifier: Apache-2.0
#include "platform/singleinstance.h"

#include "common/errorlog.h"
#include "common/paths.h"

#include <QCryptographicHash>
#include <QDeadlineTimer>
#include <QFile>
#include <QLocalServer>
#include <QLocalSocket>
#include <QThread>

#include <cerrno>
#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

const QByteArray kActivate = QByteArrayLiteral("activate\n");

QString safeName(const QString& name)
{
    QString out;
    for (const QChar c : name) {
        out += c.isLetterOrNumber() || c == QLatin1Char('-') ? c : QLatin1Char('_');
    }
    return out;
}

} // namespace

SingleInstance::SingleInstance(QObject* parent) : QObject(parent) {}

SingleInstance::~SingleInstance()
{
    if (m_server) {
        m_server->close();
    }
    if (m_lockFd >= 0) {
        ::close(m_lockFd); // releases the lock; the file stays for the next start
    }
}

QString SingleInstance::lockFileFor(const QString& name)
{
    return Paths::settingsDir() + QLatin1Char('/') + safeName(name) + QStringLiteral(".instance");
}

QString SingleInstance::serverNameFor(const QString& name)
{
    // Socket paths are short-lived and short-limited, so the folder goes in as a hash.
    const QByteArray who =
        QByteArray::number(uint(::getuid())) + ':' + Paths::settingsDir().toUtf8();
    const QByteArray hash =
        QCryptographicHash::hash(who, QCryptographicHash::Sha1).toHex().left(16);
    return QStringLiteral("vantirokit-") + safeName(name) + QLatin1Char('-') +
           QString::fromLatin1(hash);
}

bool SingleInstance::tryAcquire(const QString& name)
{
    m_name = name;
    const QByteArray path = QFile::encodeName(lockFileFor(name));
    // The kernel drops the lock with the process however it ends, so it is never stale and
    // never held by a file's contents. A link planted in the folder is not followed.
    m_lockFd = ::open(path.constData(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (m_lockFd < 0) {
        m_lockFd = ::open(path.constData(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
    }
    int failure = m_lockFd < 0 ? errno : 0;
    if (m_lockFd >= 0 && ::flock(m_lockFd, LOCK_EX | LOCK_NB) != 0) {
        failure = errno;
        if (failure == EWOULDBLOCK) {
            ::close(m_lockFd);
            m_lockFd = -1;
            m_primary = false;
            return false;
        }
    }
    if (failure != 0) {
        // Better two copies than none when the folder cannot hold the lock.
        ErrorLog::write(QStringLiteral("SingleInstance"),
                        QStringLiteral("Cannot lock ") + lockFileFor(name), failure);
    }
    m_primary = true;

    m_server = new QLocalServer(this);
    m_server->setSocketOptions(QLocalServer::UserAccessOption);
    // Holding the lock makes any socket of the same name a leftover of a killed instance.
    QLocalServer::removeServer(serverNameFor(name));
    if (!m_server->listen(serverNameFor(name))) {
        ErrorLog::write(QStringLiteral("SingleInstance"),
                        QStringLiteral("Cannot listen: ") + m_server->errorString());
    }
    connect(m_server, &QLocalServer::newConnection, this, &SingleInstance::onNewConnection);
    return true;
}

void SingleInstance::onNewConnection()
{
    while (QLocalSocket* s = m_server->nextPendingConnection()) {
        connect(s, &QLocalSocket::disconnected, s, &QObject::deleteLater);
        auto check = [this, s] {
            if (s->canReadLine()) {
                if (s->readLine(64) == kActivate) {
                    Q_EMIT activationRequested();
                }
                s->disconnectFromServer();
            } else if (s->bytesAvailable() > 64) {
                s->disconnectFromServer();
            }
        };
        connect(s, &QLocalSocket::readyRead, this, check);
        check();
    }
}

bool SingleInstance::notifyRunning()
{
    if (m_primary || m_name.isEmpty()) {
        return false;
    }
    // The first instance may hold the lock a moment before it listens.
    const QDeadlineTimer deadline(3000);
    while (!deadline.hasExpired()) {
        QLocalSocket s;
        s.connectToServer(serverNameFor(m_name));
        if (s.waitForConnected(500)) {
            s.write(kActivate);
            const bool sent = s.waitForBytesWritten(1000) || s.bytesToWrite() == 0;
            s.disconnectFromServer();
            if (s.state() != QLocalSocket::UnconnectedState) {
                s.waitForDisconnected(1000);
            }
            return sent;
        }
        QThread::msleep(100);
    }
    return false;
}
