// SPDX-License-Identifier: Apache-2.0
#include "common/money.h"
#include "common/settingsstore.h"
#include "server/core/consolecore.h"
#include "server/core/database.h"
#include "server/core/messagelog.h"
#include "support/consolefixture.h"

#include <QSignalSpy>
#include <QSqlRecord>
#include <QTest>

namespace {

// A table's columns as a statement over it sees them (PostgreSQL's names are in lower case;
// its explicit rowid is SQLite's implicit one).
QStringList columnsOf(Database& db, const QString& table)
{
    QStringList columns;
    const auto q = db.exec(QStringLiteral("SELECT * FROM %1 WHERE 1 = 0").arg(table));
    for (int i = 0; q && i < q->record().count(); ++i) {
        columns.append(q->record().fieldName(i).toLower());
    }
    columns.removeAll(QStringLiteral("rowid"));
    return columns;
}

ConsoleCore::Hooks quietHooks()
{
    ConsoleCore::Hooks h;
    h.wake = [](const QString&) {};
    h.listen = [](quint16) { return true; };
    h.ownAddress = [] { return QStringLiteral("10.0.0.1"); };
    return h;
}

} // namespace

class TestDatabase : public QObject, public ConsoleFixture
{
    Q_OBJECT
private Q_SLOTS:
    void init() { openConsole(); }
    void cleanup() { closeConsole(); }

    void freshFileHasItsTablesAndOneDefaultsRow()
    {
        Database& db = *m_db;
        const DatabaseTarget target = db.target();
        const auto row = db.firstRow("SELECT billno, admin FROM defalt");
        QVERIFY(row);
        QCOMPARE(row->value(0).toLongLong(), 1);
        QCOMPARE(row->value(1).toString(), QString(""));
        QVERIFY(!row->value(1).isNull());
        if (!target.isShared()) {
            QCOMPARE(db.scalar("PRAGMA journal_mode").toString(), QString("wal"));
            QCOMPARE(db.scalar("PRAGMA synchronous").toInt(), 2); // FULL
        }

        // Opening the file again neither duplicates the defaults row nor loses data.
        db.run("UPDATE defalt SET billno = 41");
        db.close();
        QVERIFY(db.open(target));
        QCOMPARE(db.scalar("SELECT count(*) FROM defalt").toInt(), 1);
        QCOMPARE(db.scalar("SELECT billno FROM defalt").toInt(), 41);
    }

    void fileOfAnEarlierVersionIsUpgradedAndReadsUnchanged()
    {
        const DatabaseTarget path = m_db->target();
        const QStringList fresh = columnsOf(*m_db, "terminals");
        {
            // The running-sessions table as the first versions wrote it, with a session in it.
            Database& db = *m_db;
            QVERIFY(db.run("DROP TABLE terminals"));
            QVERIFY(db.run("CREATE TABLE terminals (terminal TEXT, ip TEXT, cid INTEGER, "
                           "sstart TEXT, send TEXT, \"user\" TEXT, memberid TEXT, Password TEXT, "
                           "amtreceived REAL DEFAULT 0, logout INTEGER DEFAULT 0, "
                           "logouttime REAL DEFAULT 0, logouttype INTEGER DEFAULT 0, "
                           "maintains INTEGER DEFAULT 0, AUTOLOGOUT INTEGER DEFAULT 0, "
                           "restartcnt REAL DEFAULT 0)"));
            QVERIFY(db.run("INSERT INTO terminals (terminal, ip, cid, sstart, \"user\", Password) "
                           "VALUES ('PC2', '127.0.0.12', 4, '2026-01-01 10:00:00', 'Normal', "
                           "'pw')"));
        }
        for (int i = 0; i < 2; ++i) { // upgraded once, then opened as it is
            Database db;
            QVERIFY(db.open(path));
            QCOMPARE(columnsOf(db, "terminals"), fresh);
            const auto row =
                db.firstRow("SELECT terminal, cid, Password, passwordwait FROM terminals");
            QVERIFY(row);
            QCOMPARE(row->value(0).toString(), QString("PC2"));
            QCOMPARE(row->value(1).toInt(), 4);
            QCOMPARE(row->value(2).toString(), QString("pw"));
            QCOMPARE(row->value(3).toInt(), 0);
        }
    }

    // Statements are prepared once and run again: a finished one must hold nothing of the
    // file (another writer's commit does not make our next write fail) and reopening on
    // another file must not run them against the old one.
    void reusedStatementsHoldNothingOfTheFile()
    {
        Database& db = *m_db;
        const DatabaseTarget a = db.target();
        const QString count = "SELECT count(*) FROM members";
        QCOMPARE(db.scalar(count).toInt(), 0);
        {
            Database other;
            QVERIFY(other.open(a));
            QVERIFY(other.run("INSERT INTO members (memberid) VALUES ('b')"));
        }
        QVERIFY(
            db.transaction([&] { return db.run("INSERT INTO members (memberid) VALUES ('a')"); }));
        QCOMPARE(db.scalar(count).toInt(), 2);
        // Another file; on PostgreSQL the same database emptied, on a new connection.
        QVERIFY(db.open(a.isShared() ? testDatabaseTarget(*m_home)
                                     : DatabaseTarget::sqlite(m_home->file("b.db"))));
        QCOMPARE(db.scalar(count).toInt(), 0);
        QVERIFY(m_home->errorLog().isEmpty());
    }

    void failuresAreLoggedAndNeverThrow()
    {
        Database db;
        QVERIFY(!db.run("SELECT * FROM nosuchtable")); // not open yet
        QVERIFY(db.open(m_db->target()));
        QVERIFY(!db.run("SELECT * FROM nosuchtable", {}, "frmTest"));
        QVERIFY(!db.scalar("SELECT nothing FROM nowhere").isValid());
        QVERIFY(m_home->errorLog().contains("Calling Form: frmTest\r\n"));
        QVERIFY(m_home->errorLog().contains("nosuchtable"));
    }

    void transactionsAreAllOrNothing()
    {
        Database& db = *m_db;
        QStringList changed;
        connect(&db, &Database::tableChanged, this, [&](const QString& t) { changed.append(t); });

        // A failing statement inside the unit undoes the statements before it, even when the
        // work function itself reports success.
        const bool ok = db.transaction([&] {
            db.run("INSERT INTO history (billno) VALUES (1)");
            db.notifyChanged("history");
            db.run("INSERT INTO nosuchtable VALUES (1)");
            return true;
        });
        QVERIFY(!ok);
        QCOMPARE(db.scalar("SELECT count(*) FROM history").toInt(), 0);
        QVERIFY(changed.isEmpty());

        // A nested unit joins the outer one: its failure fails both.
        QVERIFY(!db.transaction([&] {
            db.run("INSERT INTO history (billno) VALUES (2)");
            return db.transaction([&] { return false; });
        }));
        QCOMPARE(db.scalar("SELECT count(*) FROM history").toInt(), 0);

        // Success commits, and lists hear of the change only after the commit.
        QVERIFY(db.transaction([&] {
            db.run("INSERT INTO history (billno) VALUES (3)");
            db.notifyChanged("history");
            return changed.isEmpty();
        }));
        QCOMPARE(changed, QStringList{"history"});
        QCOMPARE(db.scalar("SELECT count(*) FROM history").toInt(), 1);
        QVERIFY(!db.inTransaction());
    }

    // Amounts a float would miss; stored through the money columns and summed by the database.
    void moneyIsStoredAndReadExactly_data()
    {
        QTest::addColumn<QStringList>("amounts");
        QTest::addColumn<QString>("sum");
        QTest::newRow("tenths") << QStringList{"0.1", "0.2"} << "0.3";
        QTest::newRow("four decimals")
            << QStringList{"1234.5678", "0.0001", "-0.0002"} << "1234.5677";
        QTest::newRow("large") << QStringList{"99999999999.9999", "0.0001"} << "100000000000";
    }
    void moneyIsStoredAndReadExactly()
    {
        QFETCH(QStringList, amounts);
        QFETCH(QString, sum);
        Database& db = *m_db;
        for (int i = 0; i < amounts.size(); ++i) {
            QVERIFY(db.run("INSERT INTO history (billno, charge) VALUES (?, ?)",
                           {i, Money::parse(amounts[i]).toVariant()}));
        }
        QStringList read;
        for (const QSqlRecord& r : db.rows("SELECT charge FROM history ORDER BY billno")) {
            read.append(Money::fromVariant(r.value(0)).toString());
        }
        QCOMPARE(read, amounts);
        QCOMPARE(Money::fromVariant(db.scalar("SELECT sum(charge) FROM history")).toString(), sum);
    }

    // What another desk may have changed meanwhile is claimed by the count of rows changed;
    // new rows are known by their rowid, which on a table with a key of its own is that key.
    void changeCountsRowsAndInsertGivesTheRowid()
    {
        Database& db = *m_db;
        const qint64 first =
            db.insert("INSERT INTO members (memberid, name) VALUES (?, ?)", {"m1", "Asha"});
        const qint64 second =
            db.insert("INSERT INTO members (memberid, name) VALUES (?, ?)", {"m2", "Ben"});
        QVERIFY(second > first);
        QCOMPARE(db.scalar("SELECT name FROM members WHERE rowid = ?", {second}).toString(),
                 QString("Ben"));
        const qint64 shift =
            db.insert("INSERT INTO shifts (opened) VALUES (?)", {"2026-12-07 08:00:00"});
        QVERIFY(shift > 0);
        QCOMPARE(db.scalar("SELECT id FROM shifts").toLongLong(), shift);
        QCOMPARE(db.change("UPDATE members SET name = 'Cy' WHERE name <> ?", {"Asha"}), 1);
        QCOMPARE(db.change("UPDATE members SET ob = 5"), 2);
        QCOMPARE(db.change("DELETE FROM members WHERE memberid = ?", {"nobody"}), 0);
        // Rows read one by one while each is written to: none is lost to the writes.
        QStringList visited;
        auto members = db.exec("SELECT memberid FROM members ORDER BY memberid");
        QVERIFY(members);
        while (members->next()) {
            visited << members->value(0).toString();
            QCOMPARE(db.change("UPDATE members SET ob = 6 WHERE memberid = ?", {visited.last()}),
                     1);
        }
        QCOMPARE(visited, (QStringList{"m1", "m2"}));
        QCOMPARE(db.change("UPDATE nosuchtable SET x = 1"), -1);
        QCOMPARE(db.insert("INSERT INTO nosuchtable (x) VALUES (1)"), 0);
    }

    // A desk hears what the others publish, once it is committed, and never itself.
    void noticesReachTheOtherDesksOnceCommitted()
    {
        if (!testOnPostgres()) {
            QSKIP("a file of one desk's own has no other desks");
        }
        Database& a = *m_db;
        Database b;
        QVERIFY(b.open(a.target()));
        QVERIFY(a.listen("vk_test"));
        QVERIFY(b.listen("vk_test"));
        QSignalSpy heardByA(&a, &Database::notice);
        QSignalSpy heardByB(&b, &Database::notice);
        QSignalSpy changedOnA(&a, &Database::tableChanged);
        QVERIFY(!b.transaction([&] {
            b.publish("vk_test", "undone");
            return false;
        }));
        QVERIFY(b.transaction([&] {
            b.publish("vk_test", "kept");
            b.notifyChanged("history");
            return true;
        }));
        QTRY_COMPARE(heardByA.count(), 2);
        QCOMPARE(heardByA.at(0), (QVariantList{"vk_test", "kept"}));
        QCOMPARE(heardByA.at(1), (QVariantList{"vk_changed", "history"}));
        QCOMPARE(changedOnA.count(), 1);
        QCOMPARE(heardByB.count(), 0);
    }

    // The password goes to the server and nowhere else: not into the error log, not into what
    // the console shows of its database.
    void passwordReachesTheServerOnly()
    {
        if (!testOnPostgres()) {
            QSKIP("a file of one desk's own has no password");
        }
        TestHome home;
        DatabaseTarget target = testDatabaseTarget(home);
        const auto cluster = testdb::clusterConnection();
        const QString password = cluster.value("PASSWORD");
        target.user = cluster.value("PASSWORD_USER");
        target.password = password + "-wrong";
        Database db;
        QVERIFY(!db.open(target));
        QVERIFY(home.errorLog().contains(target.describe()));
        target.password = password;
        QVERIFY(db.open(target));
        QVERIFY(!home.errorLog().contains(password));
        QVERIFY(!target.describe().contains(password));
    }

    void dayBoundsMeanTheFirstMomentOfTheDay()
    {
        Database& db = *m_db;
        const QDate day(2026, 3, 1);
        const QList<QDateTime> starts{QDateTime(day, QTime(0, 0, 0)),
                                      QDateTime(day, QTime(0, 0, 1)),
                                      QDateTime(day.addDays(-1), QTime(23, 59, 59))};
        for (int i = 0; i < starts.size(); ++i) {
            QVERIFY(db.run("INSERT INTO history (billno, sstart) VALUES (?, ?)",
                           {i + 1, Database::timeText(starts[i])}));
        }
        QCOMPARE(
            db.scalar("SELECT count(*) FROM history WHERE sstart <= ?", {Database::dayText(day)})
                .toInt(),
            2);
        QCOMPARE(
            db.scalar("SELECT count(*) FROM history WHERE sstart >= ?", {Database::dayText(day)})
                .toInt(),
            2);
        QCOMPARE(Database::parseTime(Database::timeText(QDateTime(day, QTime(13, 5, 7)))),
                 QDateTime(day, QTime(13, 5, 7)));
    }

    void unopenableDatabaseStillStartsTheConsole()
    {
        Database db;
        MessageLog log;
        ConsoleCore core(db, log);
        bool listened = false;
        auto hooks = quietHooks();
        hooks.listen = [&](quint16) { return listened = true; };
        QVERIFY(!core.startUp(m_home->file("no/such/folder/server.db"), hooks));
        QVERIFY(listened);
        QVERIFY(m_home->errorLog().contains("Calling Form: Systryfrom load"));
    }

    void guessableLinkKeyIsRefusedAloudAtStartUp_data()
    {
        QTest::addColumn<QString>("key");
        QTest::addColumn<bool>("refused");
        QTest::newRow("word and year") << "cafe2024" << true;
        QTest::newRow("generated") << "9f3c2a7be41d08c6f5a2e9b17d03c4e8" << false;
        QTest::newRow("none") << "" << false;
    }
    void guessableLinkKeyIsRefusedAloudAtStartUp()
    {
        QFETCH(QString, key);
        QFETCH(bool, refused);
        SettingsStore store;
        store.createKey(RegKey::Options);
        store.writeValue(RegKey::Options, "linkkey", key);
        Database db;
        MessageLog log;
        ConsoleCore core(db, log);
        QVERIFY(core.startUp(m_db->target(), quietHooks()));
        const QString text = "The link key is refused";
        QCOMPARE(log.lines().filter(text).size(), refused ? 1 : 0);
        QCOMPARE(m_prompt->texts().filter(text).size(), refused ? 1 : 0);
        QCOMPARE(m_home->errorLog().contains(text), refused);
        if (refused) {
            QCOMPARE(m_prompt->asked().first().icon, Prompt::Icon::Critical);
        }
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
