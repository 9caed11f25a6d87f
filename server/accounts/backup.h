// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>
#include <QString>

#include <memory>

class Database;
class QThread;

// Writes a consistent copy of the live database as "hai.db" in the backup folder. The copy
// is made on its own connection in a worker thread (SQLite's VACUUM INTO reads one snapshot,
// so the console may keep writing meanwhile) into a temporary file that replaces an earlier
// copy only once it is complete. The database the desks share is copied the same way, from one
// moment of it, into a SQLite file of its rows: a cafe's backup stays one file either way.
class Backup : public QObject
{
    Q_OBJECT
public:
    static inline const QString FileName = QStringLiteral("hai.db");
    // The reason finished() gives for a cancelled copy.
    static inline const QString Cancelled = QStringLiteral("Cancelled");
    struct Control;

    explicit Backup(Database& db, QObject* parent = nullptr);
    ~Backup() override;

    // Setting "backupfolder" of the console's options; defaultFolder() when not set.
    static QString folder();
    // "backups" in the console's data folder, beside the database: not the temporary folder,
    // which the system may empty at boot and take the cafe's only copy with it.
    static QString defaultFolder();
    static QString targetPath();

    // Starts the copy; false when one is already running or the database is not open.
    bool start();
    bool isRunning() const { return m_thread != nullptr; }
    // Stops a running copy: finished() reports Cancelled, the partial file is removed and an
    // earlier copy stays untouched.
    void cancel();
    // Percent written so far (estimated from the copy's size), 0..100.
    int progress() const;
    // Starts and waits for the result (for callers without an event loop of their own).
    bool runAndWait();

    QString lastError() const { return m_error; }

Q_SIGNALS:
    // `where` is the copy's path on success, the reason otherwise.
    void finished(bool ok, const QString& where);

private:
    void complete(bool ok, const QString& where);

    Database& m_db;
    QThread* m_thread = nullptr;
    std::shared_ptr<Control> m_control;
    QString m_source;
    QString m_temp;
    QString m_target;
    qint64 m_sourceSize = 0;
    QString m_error;
};
