// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QObject>
#include <QString>

class QLocalServer;

// One running copy of a program per user and settings folder. The first start holds a kernel
// lock on a file in the settings folder and listens for later starts; a later start tells it to
// come forward and then ends. Only a live lock counts, never what the file says: a killed copy
// never blocks the next, and neither does a lock file someone wrote by hand. Where the folder
// belongs to an account of its own (the workstation's system set-up), nobody else can even
// open the file to hold it.
class SingleInstance : public QObject
{
    Q_OBJECT
public:
    explicit SingleInstance(QObject* parent = nullptr);
    ~SingleInstance() override;

    // True for the first instance, which then listens for later starts. False when another
    // instance of the same name holds the lock.
    bool tryAcquire(const QString& name);
    bool isPrimary() const { return m_primary; }

    // For a later start: asks the first instance to show itself. True when it was told.
    bool notifyRunning();

    // The lock file and the local server's name for a program name (per user and per
    // VANTIROKIT_HOME).
    static QString lockFileFor(const QString& name);
    static QString serverNameFor(const QString& name);

Q_SIGNALS:
    // A later start asked this (first) instance to show its window.
    void activationRequested();

private:
    void onNewConnection();

    QString m_name;
    bool m_primary = false;
    int m_lockFd = -1;
    QLocalServer* m_server = nullptr;
};
