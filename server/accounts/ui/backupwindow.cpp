#include "server/accounts/ui/backupwindow.h"

#include "common/prompt.h"
#include "server/accounts/backup.h"

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
