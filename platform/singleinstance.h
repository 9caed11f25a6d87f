#pragma once

#include <QObject>
#include <QString>

#include <memory>

class QLocalServer;
class QLockFile;

// One running copy of a program per user and settings folder. The first start holds a lock
// (released by the system when the process dies, so a killed copy never blocks the next) and
// listens for later starts; a later start tells it to come forward and then ends.
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
    std::unique_ptr<QLockFile> m_lock;
    QLocalServer* m_server = nullptr;
};
