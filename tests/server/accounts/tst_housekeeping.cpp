#include "common/clock.h"
#include "common/paths.h"
#include "common/settingsstore.h"
#include "server/accounts/backup.h"
#include "server/accounts/housekeeping.h"
#include "server/accounts/optionsmodel.h"
#include "server/accounts/reportcomposer.h"
#include "server/accounts/ui/backupwindow.h"
#include "server/accounts/ui/frmhkeeping.h"
#include "server/core/database.h"
#include "support/billedsession.h"
#include "support/scriptedprompt.h"
#include "support/testhome.h"

#include <QComboBox>
#include <QDateEdit>
#include <QDir>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlQuery>
#include <QStandardPaths>
#include <QTimer>
#include <QtTest>

#include <memory>

class TestHousekeeping : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<Database> m_db;

    void addBill(int billno, const QString& start)
    {
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO history (billno, sstart, charge) "
                                         "VALUES (?, ?, 10)"),
                          {billno, start}));
    }
    QList<int> bills()
    {
        QList<int> out;
        for (const QSqlRecord& r :
             m_db->rows(QStringLiteral("SELECT billno FROM history ORDER BY billno"))) {
            out << r.value(0).toInt();
        }
        return out;
    }
    void addEntry(const QString& date, const QString& credit, const QString& debit)
    {
        QVERIFY(
            m_db->run(QStringLiteral("INSERT INTO transactions (memberid, Date, part, "
                                     "credit, debit) VALUES ('M1', ?, 'x', ?, ?)"),
                      {date, Money::parse(credit).toVariant(), Money::parse(debit).toVariant()}));
    }
    Money ob()
    {
        return Money::fromVariant(
            m_db->scalar(QStringLiteral("SELECT ob FROM members WHERE memberid = 'M1'")));
    }
    qlonglong count(const QString& table)
    {
        return m_db->scalar(QStringLiteral("SELECT count(*) FROM ") + table).toLongLong();
    }
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
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_db = std::make_unique<Database>();
        QVERIFY(m_db->open(m_home->file(QStringLiteral("server.db"))));
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO members (memberid, name, address1, ob) "
                                         "VALUES ('M1', 'Asha', 'Main Road', 100)")));
        Clock::setFixed(QDateTime(QDate(2026, 12, 31), QTime(20, 0)));
    }
    void cleanup()
    {
        Clock::reset();
        m_db.reset();
        m_home.reset();
    }

    void aDayMeansTheWholeDay()
    {
        addBill(1, QStringLiteral("2026-12-29 23:59:59"));
        addBill(2, QStringLiteral("2026-12-30 09:00:00"));
        addBill(3, QStringLiteral("2026-12-31 00:00:00"));
        addBill(4, QStringLiteral("2026-12-31 12:00:00"));
        addBill(5, QStringLiteral("2026-12-31 23:59:59"));
        addBill(6, QStringLiteral("2027-01-01 00:00:00"));
        ScriptedPrompt prompt;
        prompt.answerNext(Prompt::Answer::Yes);
        prompt.answerNext(Prompt::Answer::Yes);
        FrmHKeeping w(*m_db);
        w.show();
        w.findChild<QRadioButton*>(QStringLiteral("Options_1"))->setChecked(true);
        w.findChild<QDateEdit*>(QStringLiteral("DTP_0"))->setDate(QDate(2026, 12, 30));
        QCOMPARE(w.findChild<QDateEdit*>(QStringLiteral("DTP_1"))->date(), QDate(2026, 12, 31));
        QSignalSpy changed(m_db.get(), &Database::tableChanged);
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Cmdhistorydelete")),
                          Qt::LeftButton);
        QCOMPARE(bills(), QList<int>({1, 6}));
        QCOMPARE(prompt.asked().size(), 2);
        QCOMPARE(prompt.asked().at(0).text,
                 QStringLiteral("Do you want to Delete the History Details From Date 30/12/2026 "
                                "to 31/12/2026\rBefore Deleting the History Details Backup the "
                                "Datafiles OR take the Printout"));
        for (const auto& a : prompt.asked()) {
            QCOMPARE(a.buttons, Prompt::Buttons::YesNoDefaultNo);
            QCOMPARE(a.title, QStringLiteral("Warning"));
            QCOMPARE(a.icon, Prompt::Icon::Critical);
        }
        QVERIFY(changed.contains(QVariantList{QStringLiteral("history")}));
    }

    // A batch that fails stops the run; each batch is whole (bills with their job-work
    // lines), and the operator learns how many rows went and which are left.
    void aFailedBatchIsReportedExactly_data()
    {
        QTest::addColumn<int>("held");
        QTest::addColumn<QString>("report");
        QTest::newRow("past the middle")
            << 3500
            << "History Details Partly Deleted: 3000 of 5000 records were deleted.\r2000 "
               "records were not deleted (Bill No 3001 to 5000). Delete again to remove them.";
        QTest::newRow("in the first batch")
            << 1
            << "History Details Not Deleted: nothing was deleted.\r5000 records were not "
               "deleted (Bill No 1 to 5000). Delete again to remove them.";
    }
    void aFailedBatchIsReportedExactly()
    {
        QFETCH(int, held);
        QVERIFY(m_db->transaction([&] {
            for (int n = 1; n <= 5000; ++n) {
                addBill(n, QStringLiteral("2026-12-01 10:00:00"));
            }
            return m_db->run(QStringLiteral("INSERT INTO jobwork_details (billno, Type, qty, "
                                            "amount) VALUES (1, 'Print', 1, 2), (3000, 'Print', "
                                            "1, 2), (3001, 'Print', 1, 2)"));
        }));
        QVERIFY(m_db->run(QStringLiteral("CREATE TRIGGER held BEFORE DELETE ON history WHEN "
                                         "old.billno = %1 BEGIN SELECT RAISE(ABORT, 'held'); "
                                         "END")
                              .arg(held)));
        ScriptedPrompt prompt;
        Housekeeping hk(*m_db);
        auto deletion = hk.byBillNumbers(QStringLiteral("1"), QStringLiteral("5000"));
        while (hk.step(deletion, 1000)) {
        }
        QVERIFY(deletion.failed());
        QTEST(prompt.lastText(), "report");
        QCOMPARE(prompt.asked().last().icon, Prompt::Icon::Critical);
        QCOMPARE(count(QStringLiteral("history")), 5000 - deletion.done());
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM jobwork_details WHERE billno "
                                             "NOT IN (SELECT billno FROM history)"))
                     .toInt(),
                 0);
        QCOMPARE(count(QStringLiteral("jobwork_details")), held == 1 ? 3 : 1);
    }

    // Once the next bill number is set back onto housekept bills, the new bill carries only
    // its own job work, also where an earlier housekeeping left the old lines behind.
    void aReusedBillNumberPrintsOnlyItsOwnLines_data()
    {
        QTest::addColumn<bool>("leftBehind");
        QTest::addColumn<qint64>("billno");
        QTest::newRow("lines housekept with their bills") << false << qint64(1);
        QTest::newRow("lines left by an earlier housekeeping") << true << qint64(3);
    }
    void aReusedBillNumberPrintsOnlyItsOwnLines()
    {
        QFETCH(bool, leftBehind);
        ScriptedPrompt prompt;
        QVERIFY(JobWorkStore(*m_db).saveCatalogue(
            {{QStringLiteral("Print"), QStringLiteral("2.5")}, {QStringLiteral("Scan"), "6"}}));
        const Money ten = Money::fromWhole(10);
        QCOMPARE(BilledSession::settle(*m_db, {{}, {}, ten, {{"Print", "3"}}}).billno, 1);
        QCOMPARE(BilledSession::settle(*m_db, {{}, {}, ten, {{"Scan", "1"}}}).billno, 2);
        Housekeeping hk(*m_db);
        auto deletion = hk.byBillNumbers(QStringLiteral("1"), QStringLiteral("2"));
        QVERIFY(hk.runAll(deletion));
        QCOMPARE(count(QStringLiteral("history")), 0);
        QCOMPARE(count(QStringLiteral("jobwork_details")), 0);
        if (leftBehind) {
            QVERIFY(m_db->run(QStringLiteral("INSERT INTO jobwork_details VALUES (1, 'Print', 3, "
                                             "7.5), (2, 'Scan', 1, 6)")));
        }
        OptionsModel options(*m_db);
        OptionsModel::Defaults d;
        d.billNumber = QStringLiteral("1");
        QVERIFY(options.save(d));

        const SettleResult bill = BilledSession::settle(*m_db, {{}, {}, ten, {{"Print", "1"}}});
        QVERIFY(bill.ok);
        QTEST(bill.billno, "billno");
        const ReportDocument doc = ReportComposer::composeBill(*m_db, bill.billno);
        QCOMPARE(doc.tableRows(7),
                 (QList<QStringList>{{"Time Spent ", " 0: 30: 0", "10"}, {"Print", "1", "2.5"}}));
        QCOMPARE(doc.tableRows(8).at(0), (QStringList{"Total : ", "12.5"}));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT billno FROM defalt")).toLongLong(),
                 bill.billno + 1);
        // Nothing stored is thrown away to make room.
        QCOMPARE(count(QStringLiteral("jobwork_details")), leftBehind ? 3 : 1);
    }

    void billRangeDeletesInBatches()
    {
        QVERIFY(m_db->transaction([&] {
            for (int n = 1; n <= 5000; ++n) {
                addBill(n, QStringLiteral("2026-12-01 10:00:00"));
            }
            return true;
        }));
        ScriptedPrompt prompt;
        Housekeeping hk(*m_db);
        auto deletion = hk.byBillNumbers(QStringLiteral("101"), QStringLiteral("4100"));
        QCOMPARE(deletion.total(), 4000);
        QVERIFY(hk.confirm(deletion) == false); // the default answer is No
        QCOMPARE(count(QStringLiteral("history")), 5000);
        prompt.answerNext(Prompt::Answer::Yes);
        prompt.answerNext(Prompt::Answer::Yes);
        QVERIFY(hk.confirm(deletion));
        QSignalSpy changed(m_db.get(), &Database::tableChanged);
        int steps = 0;
        while (hk.step(deletion, 1500)) {
            ++steps;
            QCOMPARE(changed.count(), 0); // told once, at the end
        }
        QCOMPARE(steps, 2);
        QCOMPARE(deletion.done(), 4000);
        QVERIFY(deletion.finished());
        QCOMPARE(changed.count(QVariantList{QStringLiteral("history")}), 1);
        QCOMPARE(count(QStringLiteral("history")), 1000);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT min(billno) FROM history WHERE billno > 100"))
                     .toInt(),
                 4101);
    }

    void aBillBoxWithoutANumberDeletesNothing()
    {
        addBill(1, QStringLiteral("2026-12-01 10:00:00"));
        ScriptedPrompt prompt;
        prompt.answerNext(Prompt::Answer::Yes);
        prompt.answerNext(Prompt::Answer::Yes);
        FrmHKeeping w(*m_db);
        w.show();
        w.findChild<QLineEdit*>(QStringLiteral("txtbill_0"))->clear();
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Cmdhistorydelete")),
                          Qt::LeftButton);
        QCOMPARE(prompt.asked().size(), 1);
        QCOMPARE(bills(), QList<int>({1}));
    }

    void answeringNoLeavesEverything_data()
    {
        QTest::addColumn<int>("yes");
        QTest::newRow("first question") << 0;
        QTest::newRow("second question") << 1;
    }
    void answeringNoLeavesEverything()
    {
        QFETCH(int, yes);
        addBill(5, QStringLiteral("2026-12-01 10:00:00"));
        addEntry(QStringLiteral("2026-12-01 10:00:00"), QStringLiteral("50"), QStringLiteral("0"));
        ScriptedPrompt prompt;
        for (int i = 0; i < yes; ++i) {
            prompt.answerNext(Prompt::Answer::Yes);
        }
        prompt.answerNext(Prompt::Answer::No);
        FrmHKeeping w(*m_db);
        w.show();
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("Cmdhistorydelete")),
                          Qt::LeftButton);
        QCOMPARE(prompt.asked().size(), yes + 1);
        QCOMPARE(bills(), QList<int>({5}));

        Housekeeping hk(*m_db);
        prompt.answerNext(Prompt::Answer::No);
        QVERIFY(!hk.deleteTransactions(QStringLiteral("M1"), QDate(2026, 12, 31)));
        QCOMPARE(count(QStringLiteral("transactions")), 1);
        QCOMPARE(ob(), Money::fromWhole(100));
    }

    void deletedEntriesMoveIntoTheOpeningBalance_data()
    {
        QTest::addColumn<QString>("credit");
        QTest::addColumn<QString>("debit");
        QTest::addColumn<QString>("expected");
        QTest::newRow("whole amounts") << "50"
                                       << "20"
                                       << "137";
        QTest::newRow("decimals stay exact") << "50.5"
                                             << "20.25"
                                             << "137.25";
        QTest::newRow("a half is not rounded away") << "0.5"
                                                    << "0"
                                                    << "107.5";
    }
    void deletedEntriesMoveIntoTheOpeningBalance()
    {
        QFETCH(QString, credit);
        QFETCH(QString, debit);
        QFETCH(QString, expected);
        addEntry(QStringLiteral("2026-12-01 10:00:00"), credit, QStringLiteral("0"));
        addEntry(QStringLiteral("2026-12-05 00:00:00"), QStringLiteral("0"), debit);
        addEntry(QStringLiteral("2026-12-05 23:59:59"), QStringLiteral("7"), QStringLiteral("0"));
        addEntry(QStringLiteral("2026-12-06 00:00:00"), QStringLiteral("1000"),
                 QStringLiteral("0"));
        ScriptedPrompt prompt;
        prompt.answerNext(Prompt::Answer::Yes);
        FrmHKeeping w(*m_db);
        w.show();
        auto* ids = w.findChild<QComboBox*>(QStringLiteral("cmbfield"));
        auto* del = w.findChild<QPushButton*>(QStringLiteral("cmdtransactiondel"));
        QVERIFY(!del->isEnabled());
        ids->setEditText(QStringLiteral("M1"));
        QTest::keyClick(ids, Qt::Key_Return);
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("txtfield_0"))->text(),
                 QStringLiteral("Asha"));
        QVERIFY(del->isEnabled());
        w.findChild<QDateEdit*>(QStringLiteral("Dt1"))->setDate(QDate(2026, 12, 5));
        QTest::mouseClick(del, Qt::LeftButton);
        QCOMPARE(prompt.asked().size(), 1);
        QCOMPARE(prompt.asked().first().buttons, Prompt::Buttons::YesNoDefaultNo);
        QCOMPARE(ob().toString(), expected);
        // The whole cut-off day goes; the next day's first moment stays.
        QCOMPARE(count(QStringLiteral("transactions")), 1);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT Date FROM transactions")).toString(),
                 QStringLiteral("2026-12-06 00:00:00"));
        QVERIFY(!del->isEnabled());
        QCOMPARE(w.findChild<QLineEdit*>(QStringLiteral("txtfield_0"))->text(), QString());
    }

    void anUnknownMemberIsReported()
    {
        ScriptedPrompt prompt;
        FrmHKeeping w(*m_db);
        w.show();
        auto* ids = w.findChild<QComboBox*>(QStringLiteral("cmbfield"));
        ids->setEditText(QStringLiteral("X9"));
        QTest::keyClick(ids, Qt::Key_Return);
        QCOMPARE(prompt.texts(), QStringList{QStringLiteral("Customer ID Not Found")});
        QVERIFY(!w.findChild<QPushButton*>(QStringLiteral("cmdtransactiondel"))->isEnabled());
    }

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
        QVERIFY(m_db->transaction([&] {
            for (int n = 1; n <= 30000; ++n) {
                addBill(n, QStringLiteral("2026-12-01 10:00:00"));
            }
            return true;
        }));
        // Another connection to the same file keeps billing while the copy is made.
        Database writer;
        QVERIFY(writer.open(m_db->path()));
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
        QTest::newRow("at once") << 0;
        QTest::newRow("while copying") << 20;
    }
    void aCancelledBackupLosesNothing()
    {
        QFETCH(int, waitMs);
        const QString folder = m_home->file(QStringLiteral("backups"));
        QVERIFY(QDir().mkpath(folder));
        store().writeValue(RegKey::Options, QStringLiteral("backupfolder"), folder);
        QVERIFY(m_db->transaction([&] {
            for (int n = 1; n <= 20000; ++n) {
                addBill(n, QStringLiteral("2026-12-01 10:00:00"));
            }
            return true;
        }));
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
        ScriptedPrompt prompt;
        BackupWindow window(*m_db);
        QSignalSpy finished(&window, &BackupWindow::finished);
        window.start();
        window.cancel();
        QVERIFY(finished.count() == 1 || finished.wait(30000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QVERIFY(prompt.lastText().startsWith(QStringLiteral("Database Backup Cancelled")));
        QVERIFY(!QFile::exists(m_home->file(QStringLiteral("hai.db"))));
        QVERIFY(!QFile::exists(m_home->file(QStringLiteral("hai.db.part"))));
    }

    void aFailedBackupIsReported()
    {
        SettingsStore store;
        store.createKey(RegKey::Options);
        store.writeValue(RegKey::Options, QStringLiteral("backupfolder"),
                         m_home->file(QStringLiteral("missing")));
        ScriptedPrompt prompt;
        BackupWindow window(*m_db);
        QSignalSpy finished(&window, &BackupWindow::finished);
        window.start();
        QVERIFY(finished.count() == 1 || finished.wait(10000));
        QCOMPARE(finished.first().at(0).toBool(), false);
        QVERIFY(prompt.lastText().startsWith(QStringLiteral("Database Backup Not Saved: ")));
        QVERIFY(prompt.lastText().contains(QStringLiteral("missing")));
        QVERIFY(m_home->errorLog().contains(QStringLiteral("mnubackup")));
    }

    // Without a chosen folder the copy goes beside the database, into a folder only the
    // console's owner may enter, never into the temporary folder.
    void theBackupWindowTellsWhereTheCopyWent_data()
    {
        QTest::addColumn<QString>("chosen");
        QTest::addColumn<QString>("folder");
        QTest::newRow("a chosen folder") << "chosen"
                                         << "chosen";
        QTest::newRow("none chosen") << ""
                                     << "backups";
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
        ScriptedPrompt prompt;
        BackupWindow window(*m_db);
        QSignalSpy finished(&window, &BackupWindow::finished);
        window.start();
        QVERIFY(window.isRunning());
        QVERIFY(finished.wait(30000));
        QCOMPARE(prompt.lastText(), QStringLiteral("Database Backup Saved to ") + copy);
        QVERIFY(QFile::exists(copy));
        if (chosen.isEmpty()) {
            // Owner-only: rwx for the owner, nothing for group and others.
            QCOMPARE(int(QFileInfo(m_home->file(folder)).permissions() & 0x7077), 0x7000);
        }
    }

    // The running database is kept aside whole, the backup's rows come back, and the
    // console goes on with the restored file.
    void restoreKeepsTheOldDatabaseAside()
    {
        for (int n = 1; n <= 3; ++n) {
            addBill(n, QStringLiteral("2026-12-01 10:00:00"));
        }
        Backup backup(*m_db);
        QVERIFY(backup.runAndWait());
        const QString copy = Backup::targetPath();
        const QByteArray copied = contents(copy);
        addBill(4, QStringLiteral("2026-12-31 19:00:00"));

        ScriptedPrompt prompt;
        BackupWindow window(*m_db);
        QVERIFY(!window.restoreFrom(copy)); // No is the default answer
        QCOMPARE(bills(), QList<int>({1, 2, 3, 4}));
        prompt.answerNext(Prompt::Answer::Yes);
        QVERIFY(window.restoreFrom(copy));
        const QString aside =
            m_home->file(QStringLiteral("server-before-restore-20261231-200000.db"));
        QCOMPARE(prompt.lastText(), QStringLiteral("Database Restored from ") + copy +
                                        QStringLiteral(".\rThe database in use until now is kept "
                                                       "as ") +
                                        aside +
                                        QStringLiteral(".\rClose the console and start it again "
                                                       "before going on."));
        QVERIFY(m_db->isOpen());
        QCOMPARE(bills(), QList<int>({1, 2, 3}));
        addBill(5, QStringLiteral("2026-12-31 20:00:00"));
        QCOMPARE(contents(copy), copied);
        QVERIFY(!QFile::exists(m_db->path() + QStringLiteral(".restoring")));
        Database before;
        QVERIFY(before.open(aside));
        QCOMPARE(before.scalar(QStringLiteral("SELECT group_concat(billno) FROM history")),
                 QVariant(QStringLiteral("1,2,3,4")));
        before.close();
        m_db->close();
        QVERIFY(m_db->open(m_home->file(QStringLiteral("server.db"))));
        QCOMPARE(bills(), QList<int>({1, 2, 3, 5}));
    }

    // Moving the file away under another program would lose what that program writes.
    void restoreWaitsForOtherPrograms()
    {
        addBill(1, QStringLiteral("2026-12-01 10:00:00"));
        Backup backup(*m_db);
        QVERIFY(backup.runAndWait());
        Database other;
        QVERIFY(other.open(m_db->path()));
        ScriptedPrompt prompt;
        prompt.answerNext(Prompt::Answer::Yes);
        BackupWindow window(*m_db);
        QVERIFY(!window.restoreFrom(Backup::targetPath()));
        QCOMPARE(prompt.lastText(), QStringLiteral("Database Not Restored: The database is in use "
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
        QTest::newRow("text") << "text";
        QTest::newRow("empty") << "empty";
        QTest::newRow("another program's database") << "foreign";
        QTest::newRow("damaged backup") << "damaged";
    }
    void aFileThatIsNoBackupIsRefused()
    {
        QFETCH(QString, kind);
        QVERIFY(m_db->transaction([&] {
            for (int n = 1; n <= 3000; ++n) {
                addBill(n, QStringLiteral("2026-12-01 10:00:00"));
            }
            return true;
        }));
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
        ScriptedPrompt prompt;
        prompt.answerNext(Prompt::Answer::Yes);
        BackupWindow window(*m_db);
        QVERIFY(!window.restoreFrom(file));
        QVERIFY2(prompt.lastText().startsWith(QStringLiteral("Database Not Restored: ") + file +
                                              QStringLiteral(" cannot be restored: ")),
                 qPrintable(prompt.lastText()));
        QVERIFY(prompt.lastText().endsWith(QStringLiteral(". Nothing was changed.")));
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

QTEST_MAIN(TestHousekeeping)
#include "tst_housekeeping.moc"
