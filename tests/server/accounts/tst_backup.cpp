// SPDX-License-Identifier: Apache-2.0
// The backup copy (consistent while the console writes, cancellable, where it goes) and the
// restore of a copy in the database's place.
#include "common/settingsstore.h"
#include "server/accounts/backup.h"
#include "server/accounts/ui/backupwindow.h"
#include "support/datarow.h"
#include "support/historyfixture.h"

#include <QDir>
#include <QProcess>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

class TestBackup : public QObject, private HistoryFixture
{
    Q_OBJECT

private:
    // Runs the sqlite3 command-line tool on a file; the tool's output.
    QString sqlite3(const QString& file, const QString& sql)
    {
        QProcess p;
        p.start(QStringLiteral("sqlite3"), {file, sql});
        if (!p.waitForFinished(60000) || p.exitCode() != 0) {
            return QStringLiteral("failed: ") + QString::fromLocal8Bit(p.readAllStandardError());
        }
        return QString::fromLocal8Bit(p.readAllStandardOutput()).trimmed();
    }

private Q_SLOTS:
    void init() { openHome(); }
    void cleanup() { closeHome(); }

    void backupIsConsistentWhileTheConsoleWrites()
    {
        if (QStandardPaths::findExecutable(QStringLiteral("sqlite3")).isEmpty()) {
            QSKIP("the sqlite3 command-line tool (package sqlite3) is not installed");
        }
        const QString folder = m_home->file(QStringLiteral("backups"));
        QVERIFY(QDir().mkpath(folder));
        SettingsStore store;
        store.createKey(RegKey::Options);
        store.writeValue(RegKey::Options, QStringLiteral("backupfolder"), folder);
        addBills(30000);
        // Another connection to the same file keeps billing while the copy is made.
        Database writer;
        QVERIFY(writer.open(m_db->target()));
        int next = 100000;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            writer.transaction([&] {
                return writer.run(QStringLiteral("INSERT INTO history (billno, sstart) VALUES "
                                                 "(?, '2026-12-31 10:00:00')"),
                                  {next++}) &&
                       writer.run(QStringLiteral("UPDATE defalt SET billno = ?"), {next});
            });
        });
        timer.start(1);
        Backup backup(*m_db);
        QSignalSpy finished(&backup, &Backup::finished);
        QVERIFY(backup.start());
        QVERIFY(backup.isRunning());
        QVERIFY(finished.wait(60000));
        timer.stop();
        QCOMPARE(finished.first().at(0).toBool(), true);
        const QString copy = QDir(folder).filePath(QStringLiteral("hai.db"));
        QCOMPARE(finished.first().at(1).toString(), copy);
        QCOMPARE(sqlite3(copy, QStringLiteral("PRAGMA integrity_check")), QStringLiteral("ok"));
        // One moment of the database: the next bill number follows the last copied bill.
        const QString snapshot = sqlite3(
            copy, QStringLiteral("SELECT (SELECT billno FROM defalt) - "
                                 "coalesce((SELECT max(billno) + 1 FROM history WHERE billno >= "
                                 "100000), (SELECT billno FROM defalt)), count(*) >= 30000 "
                                 "FROM history"));
        QCOMPARE(snapshot, QStringLiteral("0|1"));
        QVERIFY(!QFile::exists(copy + QStringLiteral(".part")));

        // A second backup replaces the first.
        QVERIFY(writer.run(QStringLiteral("DELETE FROM history WHERE billno <= 29000")));
        QVERIFY(backup.runAndWait());
        const QString left =
            sqlite3(copy, QStringLiteral("SELECT count(*) FROM history WHERE billno < 100000"));
        QCOMPARE(left, QStringLiteral("1000"));
    }

    // A cancel at any moment of the copy leaves the earlier copy as it was and no partial
    // file, and is not logged as a failure.
    void aCancelledBackupLosesNothing_data()
    {
        QTest::addColumn<int>("waitMs");
        dataRow("at once", 0);
        dataRow("while copying", 20);
    }
    void aCancelledBackupLosesNothing()
    {
        QFETCH(int, waitMs);
        const QString folder = m_home->file(QStringLiteral("backups"));
        QVERIFY(QDir().mkpath(folder));
        store().writeValue(RegKey::Options, QStringLiteral("backupfolder"), folder);
        addBills(20000);
        Backup backup(*m_db);
        QVERIFY(backup.runAndWait());
        const QString copy = QDir(folder).filePath(Backup::FileName);
        const QByteArray earlier = contents(copy);
        QVERIFY(!earlier.isEmpty());
        QVERIFY(m_db->transaction([&] {
            for (int n = 20001; n <= 60000; ++n) {
                addBill(n, QStringLiteral("2026-12-02 10:00:00"));
            }
            return true;
        }));

        QSignalSpy finished(&backup, &Backup::finished);
        QVERIFY(backup.start());
        if (waitMs > 0) {
            QTest::qWait(waitMs);
        }
        backup.cancel();
        QVERIFY(finished.count() == 1 || finished.wait(60000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QCOMPARE(finished.first().at(1).toString(), Backup::Cancelled);
        QVERIFY(!backup.isRunning());
        QCOMPARE(contents(copy), earlier);
        QCOMPARE(QDir(folder).entryList(QDir::Files | QDir::Hidden), QStringList{Backup::FileName});
        QVERIFY(!m_home->errorLog().contains(QStringLiteral("mnubackup")));

        // The next backup is made as usual.
        QVERIFY(backup.runAndWait());
        QVERIFY(contents(copy) != earlier);
    }

    void theBackupWindowCancels()
    {
        store().writeValue(RegKey::Options, QStringLiteral("backupfolder"), m_home->path());
        BackupWindow window(*m_db);
        QSignalSpy finished(&window, &BackupWindow::finished);
        window.start();
        window.cancel();
        QVERIFY(finished.count() == 1 || finished.wait(30000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QVERIFY(m_prompt->lastText().startsWith(QStringLiteral("Database Backup Cancelled")));
        QVERIFY(!QFile::exists(m_home->file(QStringLiteral("hai.db"))));
        QVERIFY(!QFile::exists(m_home->file(QStringLiteral("hai.db.part"))));
    }

    void aFailedBackupIsReported()
    {
        SettingsStore store;
        store.createKey(RegKey::Options);
        store.writeValue(RegKey::Options, QStringLiteral("backupfolder"),
                         m_home->file(QStringLiteral("missing")));
        BackupWindow window(*m_db);
        QSignalSpy finished(&window, &BackupWindow::finished);
        window.start();
        QVERIFY(finished.count() == 1 || finished.wait(10000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QVERIFY(m_prompt->lastText().startsWith(QStringLiteral("Database Backup Not Saved: ")));
        QVERIFY(m_prompt->lastText().contains(QStringLiteral("missing")));
        QVERIFY(m_home->errorLog().contains(QStringLiteral("mnubackup")));
    }

    // Without a chosen folder the copy goes beside the database, into a folder only the
    // console's owner may enter, never into the temporary folder.
    void theBackupWindowTellsWhereTheCopyWent_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("folder");
        dataRow("a chosen folder", "chosen", "chosen");
        dataRow("none chosen", "", "backups");
    }
    void theBackupWindowTellsWhereTheCopyWent()
    {
        QFETCH(QString, chosen);
        QFETCH(QString, folder);
        if (!chosen.isEmpty()) {
            QVERIFY(QDir().mkpath(m_home->file(chosen)));
            store().writeValue(RegKey::Options, QStringLiteral("backupfolder"),
                               m_home->file(chosen));
        }
        const QString copy = QDir(m_home->file(folder)).filePath(QStringLiteral("hai.db"));
        BackupWindow window(*m_db);
        QSignalSpy finished(&window, &BackupWindow::finished);
        window.start();
        QVERIFY(window.isRunning());
        QVERIFY(finished.wait(30000));
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Database Backup Saved to ") + copy);
        QVERIFY(QFile::exists(copy));
        if (chosen.isEmpty()) {
            // Owner-only: rwx for the owner, nothing for group and others.
            QCOMPARE(int(QFileInfo(m_home->file(folder)).permissions() & 0x7077), 0x7000);
        }
    }

    // An earlier backup is replaced only when the operator says so; declined, nothing is
    // copied and nothing is said to be saved.
    void anEarlierBackupIsReplacedOnlyWhenAllowed()
    {
        store().writeValue(RegKey::Options, QStringLiteral("backupfolder"), m_home->path());
        const QString copy = m_home->file(QStringLiteral("hai.db"));
        BackupWindow window(*m_db);
        QSignalSpy finished(&window, &BackupWindow::finished);
        window.start();
        QVERIFY(finished.wait(30000));
        const QByteArray earlier = contents(copy);
        QVERIFY(!earlier.isEmpty());
        addBills(100);
        m_prompt->clear();

        m_prompt->answerNext(Prompt::Answer::No);
        window.start();
        QVERIFY(finished.count() == 2 || finished.wait(30000));
        QCOMPARE(finished.last().at(0).toBool(), false);
        QCOMPARE(m_prompt->texts(),
                 (QStringList{QStringLiteral("The file ") + copy +
                                  QStringLiteral(" already exists. Do you want to replace it?"),
                              QStringLiteral("No backup was made. The earlier backup ") + copy +
                                  QStringLiteral(" is left as it was.")}));
        QCOMPARE(m_prompt->asked().first().buttons, Prompt::Buttons::YesNoDefaultNo);
        QCOMPARE(contents(copy), earlier);
        QVERIFY(!QFile::exists(copy + QStringLiteral(".part")));

        m_prompt->clear();
        m_prompt->answerNext(Prompt::Answer::Yes);
        window.start();
        QVERIFY(finished.count() == 3 || finished.wait(30000));
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Database Backup Saved to ") + copy);
        QVERIFY(contents(copy) != earlier);
    }

    // The running database is kept aside whole, the backup's rows come back, and the
    // console goes on with the restored file. The backup is one an earlier version made,
    // before columns were added: it is still this console's.
    void restoreKeepsTheOldDatabaseAside()
    {
        addBills(3);
        Backup backup(*m_db);
        QVERIFY(backup.runAndWait());
        const QString copy = Backup::targetPath();
        {
            QSqlDatabase old = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), copy);
            old.setDatabaseName(copy);
            QVERIFY(old.open());
            QSqlQuery q(old);
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE online DROP COLUMN unlocked")));
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE terminals DROP COLUMN passwordwait")));
            // Nor had it prepaid time.
            QVERIFY(q.exec(QStringLiteral("DROP TABLE tickets")));
            for (const char* c : {"prepaid", "ticket", "credit", "timeup"}) {
                QVERIFY(q.exec(QStringLiteral("ALTER TABLE terminals DROP COLUMN ") +
                               QLatin1String(c)));
            }
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE history DROP COLUMN ticket")));
            // Nor shifts.
            QVERIFY(q.exec(QStringLiteral("ALTER TABLE history DROP COLUMN shift")));
            QVERIFY(q.exec(QStringLiteral("DROP TABLE shifts")));
            q.finish();
            old.close();
        }
        QSqlDatabase::removeDatabase(copy);
        const QByteArray copied = contents(copy);
        addBill(4, QStringLiteral("2026-12-31 19:00:00"));

        BackupWindow window(*m_db);
        QVERIFY(!window.restoreFrom(copy)); // No is the default answer
        QCOMPARE(bills(), QList<int>({1, 2, 3, 4}));
        m_prompt->answerNext(Prompt::Answer::Yes);
        QVERIFY(window.restoreFrom(copy));
        const QString aside =
            m_home->file(QStringLiteral("server-before-restore-20261231-200000.db"));
        QCOMPARE(m_prompt->lastText(),
                 QStringLiteral("Database Restored from ") + copy +
                     QStringLiteral(".\rThe database in use until now is kept "
                                    "as ") +
                     aside +
                     QStringLiteral(".\rClose the console and start it again "
                                    "before going on."));
        QVERIFY(m_db->isOpen());
        QCOMPARE(bills(), QList<int>({1, 2, 3}));
        QVERIFY(
            m_db->handle().record(QStringLiteral("online")).contains(QStringLiteral("unlocked")));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM tickets")), QVariant(0));
        addBill(5, QStringLiteral("2026-12-31 20:00:00"));
        QCOMPARE(contents(copy), copied);
        QVERIFY(!QFile::exists(m_db->path() + QStringLiteral(".restoring")));
        Database before;
        QVERIFY(before.open(aside));
        QCOMPARE(before.scalar(QStringLiteral("SELECT group_concat(billno) FROM history")),
                 QVariant(QStringLiteral("1,2,3,4")));
        before.close();
        const DatabaseTarget restored = m_db->target();
        m_db->close();
        QVERIFY(m_db->open(restored));
        QCOMPARE(bills(), QList<int>({1, 2, 3, 5}));
    }

    // Sessions running now would be lost by a restore, and the backup's running sessions
    // are an earlier moment's: an agent reconnecting must be locked, not opened, and the
    // cashier told what waits for settlement.
    void restoreLeavesNoSessionOpen()
    {
        const auto session = [this](const QString& pc, int cid, int autologout) {
            return m_db->run(
                QStringLiteral("INSERT INTO terminals (terminal, ip, cid, sstart, "
                               "AUTOLOGOUT, send) VALUES (?, ?, ?, "
                               "'2026-12-31 18:00:00', ?, ?)"),
                {pc, QStringLiteral("127.0.0.") + pc.right(1), cid, autologout,
                 autologout ? QVariant(QStringLiteral("2026-12-31 18:30:00")) : QVariant()});
        };
        QVERIFY(session(QStringLiteral("PC-3"), 7, 0) && session(QStringLiteral("PC-4"), 8, 1) &&
                session(QStringLiteral("PC-6"), 0, 0));
        Backup backup(*m_db);
        QVERIFY(backup.runAndWait());
        QVERIFY(m_db->run(QStringLiteral("DELETE FROM terminals")));
        QVERIFY(session(QStringLiteral("PC-5"), 9, 0));

        ScriptedPrompt prompt;
        BackupWindow window(*m_db);
        prompt.answerNext(Prompt::Answer::Yes);
        QVERIFY(!window.restoreFrom(Backup::targetPath()));
        QCOMPARE(prompt.lastText(), QStringLiteral("Database Not Restored: Sessions are running on "
                                                   "PC-5. Settle them first, then restore. "
                                                   "Nothing was changed."));
        QCOMPARE(count(QStringLiteral("terminals")), 1);

        QVERIFY(m_db->run(QStringLiteral("DELETE FROM terminals")));
        prompt.answerNext(Prompt::Answer::Yes);
        QVERIFY(window.restoreFrom(Backup::targetPath()));
        QVERIFY2(prompt.lastText().contains(
                     QStringLiteral(".\rSessions running in the backup were ended now and wait for "
                                    "settlement: PC-3, PC-4, PC-6.\rClose")),
                 qPrintable(prompt.lastText()));
        // An earlier automatic logout keeps its end; the console's own computer keeps 0.
        QStringList rows;
        for (const QSqlRecord& r : m_db->rows(QStringLiteral(
                 "SELECT terminal, cid, AUTOLOGOUT, send FROM terminals ORDER BY terminal"))) {
            rows << QStringList{r.value(0).toString(), r.value(1).toString(), r.value(2).toString(),
                                r.value(3).toString()}
                        .join(u' ');
        }
        QCOMPARE(rows.join(QStringLiteral("; ")),
                 QStringLiteral("PC-3 -1 1 2026-12-31 20:00:00; PC-4 -1 1 2026-12-31 18:30:00; "
                                "PC-6 0 1 2026-12-31 20:00:00"));
    }

    // Moving the file away under another program would lose what that program writes.
    void restoreWaitsForOtherPrograms()
    {
        if (m_db->isShared()) {
            QSKIP("the desks' shared database is open in other programs by design");
        }
        addBill(1, QStringLiteral("2026-12-01 10:00:00"));
        Backup backup(*m_db);
        QVERIFY(backup.runAndWait());
        Database other;
        QVERIFY(other.open(m_db->path()));
        m_prompt->answerNext(Prompt::Answer::Yes);
        BackupWindow window(*m_db);
        QVERIFY(!window.restoreFrom(Backup::targetPath()));
        QCOMPARE(m_prompt->lastText(),
                 QStringLiteral("Database Not Restored: The database is in use "
                                "by another program. Nothing was changed."));
        QVERIFY(m_db->isOpen());
        QVERIFY(m_db->run(QStringLiteral("DELETE FROM history")));
        QCOMPARE(other.scalar(QStringLiteral("SELECT count(*) FROM history")).toInt(), 0);
        QCOMPARE(QDir(m_home->path()).entryList({QStringLiteral("*before-restore*")}),
                 QStringList());
    }

    void aFileThatIsNoBackupIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        dataRow("text", "text");
        dataRow("empty", "empty");
        dataRow("another program's database", "foreign");
        dataRow("damaged backup", "damaged");
    }
    void aFileThatIsNoBackupIsRefused()
    {
        QFETCH(QString, kind);
        addBills(3000);
        const QString file = m_home->file(QStringLiteral("picked.db"));
        if (kind == QLatin1String("foreign")) {
            {
                QSqlDatabase other = QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), kind);
                other.setDatabaseName(file);
                QVERIFY(other.open());
                QVERIFY(QSqlQuery(other).exec(QStringLiteral("CREATE TABLE history (x)")));
                other.close();
            }
            QSqlDatabase::removeDatabase(kind);
        } else {
            QByteArray bytes =
                kind == QLatin1String("text") ? QByteArray("billno,charge\n1,10\n") : QByteArray();
            if (kind == QLatin1String("damaged")) {
                Backup backup(*m_db);
                QVERIFY(backup.runAndWait());
                bytes = contents(Backup::targetPath());
                // Every page after the first few is overwritten: the tables' pages are gone.
                for (qsizetype i = 4 * 4096; i < bytes.size(); ++i) {
                    bytes[i] = char(0x5a);
                }
            }
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(bytes);
        }
        const QByteArray picked = contents(file);
        const auto databaseFiles = [this] {
            return QDir(m_home->path())
                .entryList({QStringLiteral("server*")}, QDir::Files | QDir::Hidden);
        };
        const QStringList before = databaseFiles();
        m_prompt->answerNext(Prompt::Answer::Yes);
        BackupWindow window(*m_db);
        QVERIFY(!window.restoreFrom(file));
        QVERIFY2(m_prompt->lastText().startsWith(QStringLiteral("Database Not Restored: ") + file +
                                                 QStringLiteral(" cannot be restored: ")),
                 qPrintable(m_prompt->lastText()));
        QVERIFY(m_prompt->lastText().endsWith(QStringLiteral(". Nothing was changed.")));
        QCOMPARE(databaseFiles(), before);
        QCOMPARE(contents(file), picked);
        QVERIFY(m_db->isOpen());
        QCOMPARE(count(QStringLiteral("history")), 3000);
    }

private:
    static QByteArray contents(const QString& path)
    {
        QFile f(path);
        return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
    }
    SettingsStore store()
    {
        SettingsStore s;
        s.createKey(RegKey::Options);
        return s;
    }
};

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
