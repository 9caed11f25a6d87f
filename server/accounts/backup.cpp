// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/backup.h"

#include "common/errorlog.h"
#include "common/paths.h"
#include "common/settingsstore.h"
#include "server/core/database.h"
#include "server/desks/databasecopy.h"

#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QFileInfo>
#include <QMutex>
#include <QMutexLocker>
#include <QSqlDatabase>
#include <QSqlDriver>
#include <QSqlError>
#include <QSqlQuery>
#include <QThread>
#include <QUuid>

#include <sqlite3.h>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <memory>

namespace {

const QString Label = QStringLiteral("mnubackup click");

} // namespace

// What the console thread shares with the copy: a cancel request and the copy's connection,
// which a cancel interrupts.
struct Backup::Control
{
    std::atomic<bool> cancelled{false};
    QMutex mutex;
    sqlite3* handle = nullptr;

    void interrupt()
    {
        cancelled = true;
        QMutexLocker lock(&mutex);
        if (handle != nullptr) {
            sqlite3_interrupt(handle);
        }
    }
};

namespace {

sqlite3* sqliteHandle(const QSqlDatabase& db)
{
    const QVariant v = db.driver()->handle();
    if (qstrcmp(v.typeName(), "sqlite3*") != 0) {
        return nullptr;
    }
    return *static_cast<sqlite3* const*>(v.data());
}

// Runs in the worker thread: its own connection, one read snapshot, one output file.
QString copyDatabase(const QString& source, const QString& temp, Backup::Control& control)
{
    const QString name = QStringLiteral("vk-backup-") + QUuid::createUuid().toString();
    QString error;
    {
        QSqlDatabase db = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), name);
        db.setDatabaseName(source);
        db.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
        if (!db.open()) {
            error = db.lastError().text();
        } else {
            {
                QMutexLocker lock(&control.mutex);
                control.handle = sqliteHandle(db);
            }
            QSqlQuery q(db);
            if (!q.prepare(QStringLiteral("VACUUM INTO ?"))) {
                error = q.lastError().text();
            } else {
                q.addBindValue(temp);
                if (control.cancelled || !q.exec()) {
                    error = control.cancelled ? Backup::Cancelled : q.lastError().text();
                }
            }
            q.finish();
            {
                QMutexLocker lock(&control.mutex);
                control.handle = nullptr;
            }
            db.close();
        }
    }
    QSqlDatabase::removeDatabase(name);
    return error;
}

// The same for the database the desks share: a file of its rows, made through the copier on
// a connection of the worker's own, from one moment of the database.
QString copySharedDatabase(const DatabaseTarget& source, const QString& temp,
                           Backup::Control& control)
{
    Database from;
    Database to;
    if (!from.open(source)) {
        return QStringLiteral("Cannot connect to ") + source.describe();
    }
    if (!to.open(temp)) {
        return to.lastError();
    }
    const DatabaseCopy::Result r =
        DatabaseCopy::copy(from, to, [&control] { return control.cancelled.load(); });
    if (control.cancelled) {
        return Backup::Cancelled;
    }
    return r.error;
}

} // namespace

Backup::Backup(Database& db, QObject* parent) : QObject(parent), m_db(db) {}

Backup::~Backup()
{
    if (m_thread != nullptr) {
        m_thread->wait();
        delete m_thread;
    }
}

QString Backup::folder()
{
    const QString v =
        SettingsStore().readValue(RegKey::Options, QStringLiteral("backupfolder")).trimmed();
    if (v.isEmpty() || v == SettingsStore::Error) {
        return defaultFolder();
    }
    return v;
}

QString Backup::defaultFolder()
{
    return QDir(Paths::dataDir()).filePath(QStringLiteral("backups"));
}

QString Backup::targetPath()
{
    return QDir(folder()).filePath(FileName);
}

bool Backup::start()
{
    if (m_thread != nullptr) {
        return false;
    }
    m_error.clear();
    m_source = m_db.path();
    m_target = targetPath();
    const bool shared = m_db.isShared();
    if (!m_db.isOpen() || (m_source.isEmpty() && !shared)) {
        complete(false, QStringLiteral("The database is not open"));
        return false;
    }
    const QFileInfo dir(QFileInfo(m_target).absolutePath());
    if (!dir.isDir() && dir.absoluteFilePath() == QFileInfo(defaultFolder()).absoluteFilePath()) {
        // Our own folder is made when first needed, for the console's owner only: the copy
        // holds the operators' passwords. A folder the owner chose must already exist.
        QDir().mkdir(dir.absoluteFilePath(),
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }
    if (!QFileInfo(dir.absoluteFilePath()).isDir()) {
        complete(false, QStringLiteral("The folder ") + dir.absoluteFilePath() +
                            QStringLiteral(" does not exist"));
        return false;
    }
    // The shared database's size is not the file's to come: no estimate, 0 until done.
    m_sourceSize = shared ? 0 : QFileInfo(m_source).size();
    m_temp = m_target + QStringLiteral(".part");
    QFile::remove(m_temp);
    const QString source = m_source;
    const DatabaseTarget sharedSource = m_db.target();
    const QString temp = m_temp;
    auto result = std::make_shared<QString>();
    auto control = std::make_shared<Control>();
    m_control = control;
    m_thread = QThread::create([shared, source, sharedSource, temp, result, control] {
        *result = shared ? copySharedDatabase(sharedSource, temp, *control)
                         : copyDatabase(source, temp, *control);
    });
    connect(m_thread, &QThread::finished, this, [this, result, control] {
        m_thread->deleteLater();
        m_thread = nullptr;
        m_control.reset();
        // A copy cancelled after it was complete is dropped too: the operator was told it
        // would not be made, and the earlier copy stays as it was.
        if (control->cancelled) {
            *result = Cancelled;
        }
        if (!result->isEmpty()) {
            QFile::remove(m_temp);
            complete(false, *result);
            return;
        }
        // rename(2) replaces an earlier copy in one step: there is always one whole copy.
        if (std::rename(QFile::encodeName(m_temp).constData(),
                        QFile::encodeName(m_target).constData()) != 0) {
            QFile::remove(m_temp);
            complete(false, QStringLiteral("Cannot write ") + m_target);
            return;
        }
        complete(true, m_target);
    });
    m_thread->start();
    return true;
}

void Backup::cancel()
{
    if (m_control) {
        m_control->interrupt();
    }
}

int Backup::progress() const
{
    if (m_thread == nullptr) {
        return 100;
    }
    if (m_sourceSize <= 0) {
        return 0;
    }
    const qint64 written = QFileInfo(m_temp).size();
    return int(std::clamp<qint64>(written * 100 / m_sourceSize, 0, 99));
}

bool Backup::runAndWait()
{
    bool result = false;
    QEventLoop loop;
    auto c = connect(this, &Backup::finished, &loop, [&](bool ok, const QString&) {
        result = ok;
        loop.quit();
    });
    if (start()) {
        loop.exec();
    }
    disconnect(c);
    return result && m_error.isEmpty();
}

void Backup::complete(bool ok, const QString& where)
{
    if (!ok) {
        m_error = where;
        // The operator's own cancel is no failure.
        if (where != Cancelled) {
            ErrorLog::write(Label, where);
        }
    }
    Q_EMIT finished(ok, where);
}
