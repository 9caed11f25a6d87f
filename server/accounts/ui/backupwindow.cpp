// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/ui/backupwindow.h"

#include "common/prompt.h"
#include "server/accounts/backup.h"
#include "server/accounts/restore.h"

#include <QFileDialog>
#include <QProgressDialog>
#include <QTimer>
#include <QWidget>

#include <memory>

BackupWindow::BackupWindow(Database& db, QWidget* parent)
    : QObject(parent), m_db(db), m_parent(parent), m_backup(new Backup(db, this))
{
}

void BackupWindow::cancel()
{
    m_backup->cancel();
}

bool BackupWindow::isRunning() const
{
    return m_backup->isRunning();
}

void BackupWindow::start()
{
    if (m_backup->isRunning()) {
        return;
    }
    const QString target = Backup::targetPath();
    if (!Prompt::mayReplace(target, QStringLiteral("Backup"),
                            QStringLiteral("No backup was made. The earlier backup "))) {
        Q_EMIT finished(false, Backup::Cancelled);
        return;
    }
    auto* progress = new QProgressDialog(QStringLiteral("Copying the database..."),
                                         QStringLiteral("Cancel"), 0, 100, m_parent);
    progress->setWindowTitle(QStringLiteral("Backup"));
    progress->setObjectName(QStringLiteral("backupprogress"));
    progress->setWindowModality(Qt::WindowModal);
    progress->setMinimumDuration(300);
    progress->setAutoClose(false);
    progress->setAutoReset(false);
    // Cancelling loses nothing: the copy is made into a separate file that is dropped.
    connect(progress, &QProgressDialog::canceled, this, &BackupWindow::cancel);
    auto* timer = new QTimer(progress);
    timer->setInterval(100);
    connect(timer, &QTimer::timeout, progress,
            [this, progress] { progress->setValue(m_backup->progress()); });
    auto c = std::make_shared<QMetaObject::Connection>();
    *c = connect(m_backup, &Backup::finished, this,
                 [this, progress, c](bool ok, const QString& where) {
                     disconnect(*c);
                     // Closed, not merely hidden: closing also calls off its delayed
                     // showing, which the message box's event loop would otherwise run.
                     progress->close();
                     progress->deleteLater();
                     if (ok) {
                         Prompt::message(QStringLiteral("Database Backup Saved to ") + where,
                                         QStringLiteral("Backup"), Prompt::Icon::Information);
                     } else if (where == Backup::Cancelled) {
                         Prompt::message(QStringLiteral("Database Backup Cancelled. An earlier "
                                                        "backup is left as it was."),
                                         QStringLiteral("Backup"), Prompt::Icon::Information);
                     } else {
                         Prompt::message(QStringLiteral("Database Backup Not Saved: ") + where,
                                         QStringLiteral("Backup"), Prompt::Icon::Critical);
                     }
                     Q_EMIT finished(ok, where);
                 });
    timer->start();
    progress->setValue(0);
    m_backup->start();
}

void BackupWindow::restore()
{
    const QString file =
        QFileDialog::getOpenFileName(m_parent, QStringLiteral("Restore a Backup"), Backup::folder(),
                                     QStringLiteral("Backups (*.db);;All files (*)"));
    if (!file.isEmpty()) {
        restoreFrom(file);
    }
}

bool BackupWindow::restoreFrom(const QString& file)
{
    const QString title = QStringLiteral("Restore");
    if (m_backup->isRunning()) {
        Prompt::message(QStringLiteral("A backup is being made. Restore when it has finished."),
                        title, Prompt::Icon::Exclamation);
        return false;
    }
    if (!Prompt::yesNo(QStringLiteral("Do you want to Restore the Database from ") + file +
                           QStringLiteral("?\rBills, sessions and member entries recorded "
                                          "after that backup was made will not be in it. The "
                                          "database in use now is kept aside."),
                       title, Prompt::Icon::Critical, true)) {
        return false;
    }
    const Restore::Result r = Restore::fromFile(m_db, file);
    if (!r.ok) {
        Prompt::message(QStringLiteral("Database Not Restored: ") + r.error +
                            QStringLiteral(". Nothing was changed."),
                        title, Prompt::Icon::Critical);
        return false;
    }
    // Windows and running-session timers read the database as they start: a fresh start
    // is the sure way to have all of them on the restored one.
    QString awaiting;
    if (!r.awaiting.isEmpty()) {
        awaiting = QStringLiteral(".\rSessions running in the backup were ended now and wait "
                                  "for settlement: ") +
                   r.awaiting.join(QStringLiteral(", "));
    }
    Prompt::message(QStringLiteral("Database Restored from ") + file +
                        QStringLiteral(".\rThe database in use until now is kept as ") + r.keptAs +
                        awaiting +
                        QStringLiteral(".\rClose the console and start it again before going "
                                       "on."),
                    title, Prompt::Icon::Information);
    return true;
}
