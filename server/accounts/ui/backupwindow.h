// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>

class Database;
class QWidget;

// The console's "Backup" command: copies the database in the background behind a progress
// window and tells the operator where the copy went or why it failed. Its "Restore..."
// command puts a chosen backup in the database's place.
class BackupWindow : public QObject
{
    Q_OBJECT
public:
    explicit BackupWindow(Database& db, QWidget* parent = nullptr);

    // Starts a backup unless one is running; returns at once. An earlier backup is replaced
    // only when the operator agrees (No being the default).
    void start();
    bool isRunning() const;
    // The progress window's Cancel: the running copy is dropped.
    void cancel();

    // Asks for a backup file (starting in the backup folder), then restoreFrom() it.
    void restore();
    // Asks (No being the default), restores `file` and tells the operator the outcome; true
    // when the database was replaced.
    bool restoreFrom(const QString& file);

Q_SIGNALS:
    void finished(bool ok, const QString& where);

private:
    Database& m_db;
    QWidget* m_parent;
    class Backup* m_backup = nullptr;
};
