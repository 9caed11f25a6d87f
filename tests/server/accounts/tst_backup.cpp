// SPDX-License-Identifier: Apache-2.0
// The backup copy (consistent while the console writes, cancellable, where it goes) and the
// restore of a copy in the database's place.
#include "common/settingsstore.h"
#include "server/accounts/backup.h"
#include "server/accounts/ui/backupwindow.h"
#include "support/datarow.h"
#include "support/historyfixture.h"
#include "support/readback.h"

#include <QDir>
#include <QSqlQuery>
#include <QTimer>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestBackup : public QObject, private HistoryFixture
{
    Q_OBJECT

private:
    // Backups go into `folder`, made first unless `make` is false; the copy's path.
    QString backupFolder(const QString& folder, bool make = true)
    {
        SettingsStore s;
        s.createKey(RegKey::Options);
        s.writeValue(RegKey::Options, u"backupfolder"_s, folder);
        return make && QDir().mkpath(folder) ? QDir(folder).filePath(Backup::FileName) : QString();
    }
    // Statements run on an SQLite file of the test's own, as another program would.
    static bool runOnFile(const QString& file, const QStringList& statements)
    {
        QSqlDatabase other = QSqlDatabase::addDatabase(u"QSQLITE"_s, file);
        other.setDatabaseName(file);
        bool ok = other.open();
        for (const QString& sql : statements) {
            ok = ok && QSqlQuery(other).exec(sql);
        }
        other = QSqlDatabase();
        QSqlDatabase::removeDatabase(file);
        return ok;
    }

private Q_SLOTS:
    void init() { openHome(); }
    void cleanup() { closeHome(); }

    void backupIsConsistentWhileTheConsoleWrites()
    {
        if (!ReadBack::installed("sqlite3")) {
            QSKIP("the sqlite3 command-line tool (package sqlite3) is not installed");
        }
        const QString copy = backupFolder(m_home->file(u"backups"_s));
        addBills(30000);
        // Another connection to the same file keeps billing while the copy is made.
        Database writer;
        QVERIFY(writer.open(m_db->target()));
        int next = 100000;
        QTimer timer;
        QObject::connect(&timer, &QTimer::timeout, [&] {
            writer.transaction([&] {
                return writer.run(u"INSERT INTO history (billno, sstart) VALUES "
                                  "(?, '2026-12-31 10:00:00')"_s,
                                  {next++}) &&
                       writer.run(u"UPDATE defalt SET billno = ?"_s, {next});
            });
        });
        timer.start(1);
        Backup backup(*m_db);
        QSignalSpy finished(&backup, &Backup::finished);
        QVERIFY(backup.start());
        QVERIFY(finished.wait(60000));
        timer.stop();
        QCOMPARE(finished.first().at(0).toBool(), true);
        QCOMPARE(finished.first().at(1).toString(), copy);
        QCOMPARE(ReadBack::run("sqlite3", {copy, u"PRAGMA integrity_check"_s}), u"ok\n"_s);
        // One moment of the database: the next bill number follows the last copied bill.
        const QString snapshot = ReadBack::run(
            "sqlite3", {copy, u"SELECT (SELECT billno FROM defalt) - "
                              "coalesce((SELECT max(billno) + 1 FROM history WHERE billno >= "
                              "100000), (SELECT billno FROM defalt)), count(*) >= 30000 "
                              "FROM history"_s});
        QCOMPARE(snapshot, u"0|1\n"_s);
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
        const QString copy = backupFolder(m_home->file(u"backups"_s));
        addBills(20000);
        Backup backup(*m_db);
        QVERIFY(backup.runAndWait());
        const QByteArray earlier = ReadBack::bytes(copy);
        QVERIFY(m_db->run(u"DELETE FROM history"_s));
        addBills(60000);

        QSignalSpy finished(&backup, &Backup::finished);
        QVERIFY(backup.start());
        if (waitMs > 0) {
            QTest::qWait(waitMs);
        }
        backup.cancel();
        QVERIFY(finished.count() == 1 || finished.wait(60000));
        QCOMPARE(finished.first().at(1).toString(), Backup::Cancelled);
        QCOMPARE(ReadBack::bytes(copy), earlier);
        QCOMPARE(QFileInfo(copy).dir().entryList(QDir::Files | QDir::Hidden),
                 QStringList{Backup::FileName});
        QVERIFY(!m_home->errorLog().contains(u"mnubackup"_s));

        // The next backup is made as usual.
        QVERIFY(backup.runAndWait());
        QVERIFY(ReadBack::bytes(copy) != earlier);
    }

    // A cancelled backup leaves no file; a failed one says why and is logged.
    void aBackupNotMadeIsReported_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<bool>("cancel");
        QTest::addColumn<QString>("message");
        dataRow("cancelled", "", true, "Database Backup Cancelled");
        dataRow("folder missing", "missing", false, "Database Backup Not Saved: ");
    }
    void aBackupNotMadeIsReported()
    {
        QFETCH(QString, folder);
        QFETCH(bool, cancel);
        const QString copy = QDir(m_home->file(folder)).filePath(Backup::FileName);
        backupFolder(m_home->file(folder), folder.isEmpty());
        BackupWindow window(*m_db);
        QSignalSpy finished(&window, &BackupWindow::finished);
        window.start();
        if (cancel) {
            window.cancel();
        }
        QVERIFY(finished.count() == 1 || finished.wait(30000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QFETCH(QString, message);
        QVERIFY2(m_prompt->lastText().startsWith(message), qPrintable(m_prompt->lastText()));
        QVERIFY(m_prompt->lastText().contains(folder));
        QCOMPARE(m_home->errorLog().contains(u"mnubackup"_s), !cancel);
        QVERIFY(!QFile::exists(copy) && !QFile::exists(copy + u".part"_s));
    }

    // Without a chosen folder the copy goes beside the database, into a folder only the
    // console's owner may enter, never into the temporary folder. A copy already there is
    // replaced only when the operator says so.
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
            backupFolder(m_home->file(chosen));
        }
        const QString copy = QDir(m_home->file(folder)).filePath(u"hai.db"_s);
        BackupWindow window(*m_db);
        QSignalSpy finished(&window, &BackupWindow::finished);
        window.start();
        QVERIFY(finished.wait(30000));
        QCOMPARE(m_prompt->lastText(), u"Database Backup Saved to "_s + copy);
        QVERIFY(QFile::exists(copy));
        if (chosen.isEmpty()) {
            // Owner-only: rwx for the owner, nothing for group and others.
            QCOMPARE(int(QFileInfo(m_home->file(folder)).permissions() & 0x7077), 0x7000);
            return;
        }

        // An earlier backup is replaced only when the operator says so; declined, nothing is
        // copied and nothing is said to be saved.
        const QByteArray earlier = ReadBack::bytes(copy);
        addBills(100);
        m_prompt->clear();
        m_prompt->answerNext(Prompt::Answer::No);
        window.start();
        QVERIFY(finished.count() == 2 || finished.wait(30000));
        QCOMPARE(
            m_prompt->texts(),
            (QStringList{u"The file "_s + copy + u" already exists. Do you want to replace it?"_s,
                         u"No backup was made. The earlier backup "_s + copy +
                             u" is left as it was."_s}));
        QCOMPARE(m_prompt->asked().first().buttons, Prompt::Buttons::YesNoDefaultNo);
        QCOMPARE(finished.at(1).at(0).toBool(), false);
        QVERIFY(!QFile::exists(copy + u".part"_s));
        QCOMPARE(ReadBack::bytes(copy), earlier);

        m_prompt->clear();
        m_prompt->answerNext(Prompt::Answer::Yes);
        window.start();
        QVERIFY(finished.count() == 3 || finished.wait(30000));
        QCOMPARE(m_prompt->lastText(), u"Database Backup Saved to "_s + copy);
        QVERIFY(ReadBack::bytes(copy) != earlier);
    }

    // The running database is kept aside whole, the backup's rows come back, and the
    // console goes on with the restored file. The backup is one an earlier version made,
    // before columns were added: it is still this console's.
    void restoreKeepsTheOldDatabaseAside()
    {
        addBills(3);
        QVERIFY(Backup(*m_db).runAndWait());
        const QString copy = Backup::targetPath();
        // Nor had it prepaid time, nor shifts.
        QStringList older{u"ALTER TABLE online DROP COLUMN unlocked"_s, u"DROP TABLE tickets"_s,
                          u"ALTER TABLE history DROP COLUMN ticket"_s,
                          u"ALTER TABLE history DROP COLUMN shift"_s, u"DROP TABLE shifts"_s};
        for (const char* c : {"passwordwait", "prepaid", "ticket", "credit", "timeup"}) {
            older << u"ALTER TABLE terminals DROP COLUMN "_s + QLatin1String(c);
        }
        QVERIFY(runOnFile(copy, older));
        const QByteArray copied = ReadBack::bytes(copy);
        addBill(4, u"2026-12-31 19:00:00"_s);

        BackupWindow window(*m_db);
        QVERIFY(!window.restoreFrom(copy)); // No is the default answer
        QCOMPARE(bills(), QList<int>({1, 2, 3, 4}));
        m_prompt->answerNext(Prompt::Answer::Yes);
        QVERIFY(window.restoreFrom(copy));
        const QString aside = m_home->file(u"server-before-restore-20261231-200000.db"_s);
        QCOMPARE(m_prompt->lastText(),
                 u"Database Restored from %1.\rThe database in use until now is kept as %2.\r"
                 "Close the console and start it again before going on."_s.arg(copy, aside));
        QCOMPARE(bills(), QList<int>({1, 2, 3}));
        QVERIFY(m_db->handle().record(u"online"_s).contains(u"unlocked"_s));
        QCOMPARE(m_db->scalar(u"SELECT count(*) FROM tickets"_s), QVariant(0));
        addBill(5, u"2026-12-31 20:00:00"_s);
        QCOMPARE(ReadBack::bytes(copy), copied);
        QVERIFY(!QFile::exists(m_db->path() + u".restoring"_s));
        Database before;
        QVERIFY(before.open(aside));
        QCOMPARE(before.scalar(u"SELECT group_concat(billno) FROM history"_s),
                 QVariant(u"1,2,3,4"_s));
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
            return m_db->run(u"INSERT INTO terminals (terminal, ip, cid, sstart, "
                             "AUTOLOGOUT, send) VALUES (?, ?, ?, "
                             "'2026-12-31 18:00:00', ?, ?)"_s,
                             {pc, u"127.0.0."_s + pc.right(1), cid, autologout,
                              autologout ? QVariant(u"2026-12-31 18:30:00"_s) : QVariant()});
        };
        QVERIFY(session(u"PC-3"_s, 7, 0) && session(u"PC-4"_s, 8, 1) && session(u"PC-6"_s, 0, 0));
        QVERIFY(Backup(*m_db).runAndWait());
        QVERIFY(m_db->run(u"DELETE FROM terminals"_s));
        QVERIFY(session(u"PC-5"_s, 9, 0));

        ScriptedPrompt prompt;
        BackupWindow window(*m_db);
        prompt.answerNext(Prompt::Answer::Yes);
        QVERIFY(!window.restoreFrom(Backup::targetPath()));
        QCOMPARE(prompt.lastText(), u"Database Not Restored: Sessions are running on "
                                    "PC-5. Settle them first, then restore. "
                                    "Nothing was changed."_s);
        QCOMPARE(count(u"terminals"_s), 1);

        QVERIFY(m_db->run(u"DELETE FROM terminals"_s));
        prompt.answerNext(Prompt::Answer::Yes);
        QVERIFY(window.restoreFrom(Backup::targetPath()));
        QVERIFY2(prompt.lastText().contains(
                     u".\rSessions running in the backup were ended now and wait for "
                     "settlement: PC-3, PC-4, PC-6.\rClose"_s),
                 qPrintable(prompt.lastText()));
        // An earlier automatic logout keeps its end; the console's own computer keeps 0.
        QStringList rows;
        for (const QSqlRecord& r :
             m_db->rows(u"SELECT terminal || ' ' || cid || ' ' || AUTOLOGOUT || ' ' || send "
                        "FROM terminals ORDER BY terminal"_s)) {
            rows << r.value(0).toString();
        }
        QCOMPARE(rows.join(u"; "_s),
                 u"PC-3 -1 1 2026-12-31 20:00:00; PC-4 -1 1 2026-12-31 18:30:00; "
                 "PC-6 0 1 2026-12-31 20:00:00"_s);
    }

    // Moving the file away under another program would lose what that program writes.
    void restoreWaitsForOtherPrograms()
    {
        if (m_db->isShared()) {
            QSKIP("the desks' shared database is open in other programs by design");
        }
        addBill(1, u"2026-12-01 10:00:00"_s);
        QVERIFY(Backup(*m_db).runAndWait());
        Database other;
        QVERIFY(other.open(m_db->path()));
        m_prompt->answerNext(Prompt::Answer::Yes);
        BackupWindow window(*m_db);
        QVERIFY(!window.restoreFrom(Backup::targetPath()));
        QCOMPARE(m_prompt->lastText(), u"Database Not Restored: The database is in use "
                                       "by another program. Nothing was changed."_s);
        QVERIFY(m_db->run(u"DELETE FROM history"_s));
        QCOMPARE(other.scalar(u"SELECT count(*) FROM history"_s).toInt(), 0);
        QCOMPARE(QDir(m_home->path()).entryList({u"*before-restore*"_s}), QStringList());
    }

    void aFileThatIsNoBackupIsRefused_data()
    {
        QTest::addColumn<QString>("kind");
        dataRow("text", "text");
        dataRow("another program's database", "foreign");
        dataRow("damaged backup", "damaged");
    }
    void aFileThatIsNoBackupIsRefused()
    {
        QFETCH(QString, kind);
        addBills(3000);
        const QString file = m_home->file(u"picked.db"_s);
        QByteArray bytes = kind == u"text"_s ? QByteArray("billno,charge\n1,10\n") : QByteArray();
        if (kind == u"damaged"_s) {
            QVERIFY(Backup(*m_db).runAndWait());
            // Every page after the first few is overwritten: the tables' pages are gone.
            bytes = ReadBack::bytes(Backup::targetPath());
            bytes.replace(4 * 4096, bytes.size(), QByteArray(bytes.size() - 4 * 4096, 'Z'));
        }
        QFile f(file);
        QVERIFY(kind == u"foreign"_s ? runOnFile(file, {u"CREATE TABLE history (x)"_s})
                                     : f.open(QIODevice::WriteOnly) && f.write(bytes) >= 0);
        f.close();
        const QByteArray picked = ReadBack::bytes(file);
        const auto databaseFiles = [this] {
            return QDir(m_home->path()).entryList({u"server*"_s}, QDir::Files | QDir::Hidden);
        };
        const QStringList before = databaseFiles();
        m_prompt->answerNext(Prompt::Answer::Yes);
        BackupWindow window(*m_db);
        QVERIFY(!window.restoreFrom(file));
        QVERIFY2(m_prompt->lastText().startsWith(u"Database Not Restored: "_s + file +
                                                 u" cannot be restored: "_s),
                 qPrintable(m_prompt->lastText()));
        QVERIFY(m_prompt->lastText().endsWith(u". Nothing was changed."_s));
        QCOMPARE(databaseFiles(), before);
        QCOMPARE(ReadBack::bytes(file), picked);
        QCOMPARE(count(u"history"_s), 3000);
    }
};

QTEST_MAIN(TestBackup)
#include "tst_backup.moc"
