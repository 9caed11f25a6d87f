// SPDX-License-Identifier: Apache-2.0
#include "common/settingsstore.h"
#include "server/core/consolecore.h"
#include "server/core/database.h"
#include "server/core/messagelog.h"
#include "support/scriptedprompt.h"
#include "support/testhome.h"

#include <QSqlRecord>
#include <QTest>

namespace {

// Every table and column the console's statements address by name.
const QMap<QString, QStringList>& expectedSchema()
{
    static const QMap<QString, QStringList> schema{
        {"online", {"name", "ip", "id", "unlocked"}},
        {"terminals", {"terminal",     "ip",         "cid",       "sstart",      "send",
                       "user",         "memberid",   "Password",  "amtreceived", "logout",
                       "logouttime",   "logouttype", "maintains", "AUTOLOGOUT",  "restartcnt",
                       "passwordwait", "prepaid",    "ticket",    "credit",      "timeup"}},
        {"history",
         {"billno", "sstart", "send", "terminal", "cip", "user", "memberid", "duration", "charge",
          "otheramt", "netamount", "received", "ticket", "shift"}},
        {"user_category", {"user", "Description"}},
        {"ratelist",
         {"member", "timeslice", "Rate", "tperiod", "rateslice", "rpermin", "fhour", "ftimespent",
          "rateflathour", "fhourrate", "fhournos", "chargebyminute", "usefirsttimeperiod"}},
        {"members",
         {"memberid", "name", "address1", "address2", "email", "ob", "Password", "category",
          "createddate"}},
        {"transactions", {"memberid", "Date", "part", "credit", "debit"}},
        {"jobwork", {"Type", "amount", "qty", "totamt"}},
        {"jobwork_details", {"billno", "Type", "qty", "amount"}},
        {"defalt", {"billno", "printbill", "admin", "user"}},
        {"tickets",
         {"code", "category", "value", "credit", "minutes", "sold", "expires", "lastuse", "voided",
          "billno"}},
    };
    return schema;
}

ConsoleCore::Hooks quietHooks(QStringList* woken = nullptr)
{
    ConsoleCore::Hooks h;
    h.wake = [woken](const QString& ip) {
        if (woken) {
            woken->append(ip);
        }
    };
    h.listen = [](quint16) { return true; };
    h.ownAddress = [] { return QStringLiteral("10.0.0.1"); };
    return h;
}

} // namespace

class TestDatabase : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void freshFileHasItsTablesAndOneDefaultsRow()
    {
        TestHome home;
        Database db;
        QVERIFY(db.open(home.file("server.db")));
        for (auto it = expectedSchema().begin(); it != expectedSchema().end(); ++it) {
            QStringList columns;
            for (const QSqlRecord& r :
                 db.rows("SELECT name FROM pragma_table_info(?)", {it.key()})) {
                columns.append(r.value(0).toString());
            }
            QCOMPARE(columns, it.value());
        }
        QCOMPARE(db.rows("SELECT * FROM defalt").size(), 1);
        const auto row = db.firstRow("SELECT billno, printbill, admin, user FROM defalt");
        QVERIFY(row);
        QCOMPARE(row->value(0).toLongLong(), 1);
        QCOMPARE(row->value(1).toInt(), 0);
        QCOMPARE(row->value(2).toString(), QString(""));
        QVERIFY(!row->value(2).isNull());
        QCOMPARE(row->value(3).toString(), QString(""));
        QCOMPARE(db.scalar("PRAGMA journal_mode").toString(), QString("wal"));
        QCOMPARE(db.scalar("PRAGMA synchronous").toInt(), 2); // FULL

        // Opening the file again neither duplicates the defaults row nor loses data.
        db.run("UPDATE defalt SET billno = 41");
        db.close();
        QVERIFY(db.open(home.file("server.db")));
        QCOMPARE(db.scalar("SELECT count(*) FROM defalt").toInt(), 1);
        QCOMPARE(db.scalar("SELECT billno FROM defalt").toInt(), 41);
    }

    void fileOfAnEarlierVersionIsUpgradedAndReadsUnchanged()
    {
        TestHome home;
        const QString path = home.file("server.db");
        {
            // The running-sessions table as the first versions wrote it, with a session in it.
            Database db;
            QVERIFY(db.open(path));
            QVERIFY(db.run("DROP TABLE terminals"));
            QVERIFY(db.run("CREATE TABLE terminals (terminal TEXT, ip TEXT, cid INTEGER, "
                           "sstart TEXT, send TEXT, user TEXT, memberid TEXT, Password TEXT, "
                           "amtreceived REAL DEFAULT 0, logout INTEGER DEFAULT 0, "
                           "logouttime REAL DEFAULT 0, logouttype INTEGER DEFAULT 0, "
                           "maintains INTEGER DEFAULT 0, AUTOLOGOUT INTEGER DEFAULT 0, "
                           "restartcnt REAL DEFAULT 0)"));
            QVERIFY(db.run("INSERT INTO terminals (terminal, ip, cid, sstart, user, Password) "
                           "VALUES ('PC2', '127.0.0.12', 4, '2026-01-01 10:00:00', 'Normal', "
                           "'pw')"));
        }
        for (int i = 0; i < 2; ++i) { // upgraded once, then opened as it is
            Database db;
            QVERIFY(db.open(path));
            const auto columns = db.rows("SELECT name FROM pragma_table_info('terminals')");
            QCOMPARE(columns.size(), expectedSchema().value("terminals").size());
            QCOMPARE(columns.last().value(0).toString(), QString("timeup"));
            const auto row =
                db.firstRow("SELECT terminal, cid, Password, passwordwait FROM terminals");
            QVERIFY(row);
            QCOMPARE(row->value(0).toString(), QString("PC2"));
            QCOMPARE(row->value(1).toInt(), 4);
            QCOMPARE(row->value(2).toString(), QString("pw"));
            QCOMPARE(row->value(3).toInt(), 0);
        }
    }

    void awkwardTextRoundTripsThroughEveryHelper()
    {
        TestHome home;
        Database db;
        QVERIFY(db.open(home.file("server.db")));
        const QStringList names{
            "O'Brien's PC",           "Ünïcödé Café ☕", "'; DROP TABLE history; --",
            QString(300, QChar('x')), "\"quoted\"",     ""};
        for (const QString& n : names) {
            QVERIFY(db.run("INSERT INTO members (memberid, name) VALUES (?, ?)", {n + "#id", n}));
        }
        QCOMPARE(db.scalar("SELECT count(*) FROM history").toInt(), 0); // the table survived
        for (const QString& n : names) {
            QCOMPARE(
                db.scalar("SELECT name FROM members WHERE memberid = ?", {n + "#id"}).toString(),
                n);
            const auto row = db.firstRow("SELECT name FROM members WHERE name = ?", {n});
            QVERIFY(row);
            QCOMPARE(row->value(0).toString(), n);
            QCOMPARE(db.rows("SELECT memberid FROM members WHERE name = ?", {n}).size(), 1);
        }
        // A look-up of a missing id is an empty result, never an error.
        QVERIFY(!db.firstRow("SELECT * FROM members WHERE memberid = ?", {"nobody"}));
        QVERIFY(home.errorLog().isEmpty());
    }

    // Statements are prepared once and run again: a finished one must hold nothing of the
    // file (another writer's commit does not make our next write fail) and reopening on
    // another file must not run them against the old one.
    void reusedStatementsHoldNothingOfTheFile()
    {
        TestHome home;
        Database db;
        QVERIFY(db.open(home.file("a.db")));
        const QString count = "SELECT count(*) FROM members";
        QCOMPARE(db.scalar(count).toInt(), 0);
        {
            QSqlDatabase other = QSqlDatabase::addDatabase("QSQLITE", "other");
            other.setDatabaseName(home.file("a.db"));
            QVERIFY(other.open());
            QVERIFY(QSqlQuery(other).exec("INSERT INTO members (memberid) VALUES ('b')"));
        }
        QSqlDatabase::removeDatabase("other");
        QVERIFY(
            db.transaction([&] { return db.run("INSERT INTO members (memberid) VALUES ('a')"); }));
        QCOMPARE(db.scalar(count).toInt(), 2);
        QVERIFY(db.open(home.file("b.db")));
        QCOMPARE(db.scalar(count).toInt(), 0);
        QVERIFY(home.errorLog().isEmpty());
    }

    void failuresAreLoggedAndNeverThrow()
    {
        TestHome home;
        Database db;
        QVERIFY(!db.run("SELECT * FROM nosuchtable")); // not open yet
        QVERIFY(db.open(home.file("server.db")));
        QVERIFY(!db.run("SELECT * FROM nosuchtable", {}, "frmTest"));
        QVERIFY(!db.scalar("SELECT nothing FROM nowhere").isValid());
        QVERIFY(home.errorLog().contains("Calling Form: frmTest\r\n"));
        QVERIFY(home.errorLog().contains("nosuchtable"));
    }

    void transactionsAreAllOrNothing()
    {
        TestHome home;
        Database db;
        QVERIFY(db.open(home.file("server.db")));
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

    void dayBoundsMeanTheFirstMomentOfTheDay()
    {
        TestHome home;
        Database db;
        QVERIFY(db.open(home.file("server.db")));
        const QDate day(2026, 3, 1);
        db.run("INSERT INTO history (billno, sstart) VALUES (1, ?)",
               {Database::timeText(QDateTime(day, QTime(0, 0, 0)))});
        db.run("INSERT INTO history (billno, sstart) VALUES (2, ?)",
               {Database::timeText(QDateTime(day, QTime(0, 0, 1)))});
        db.run("INSERT INTO history (billno, sstart) VALUES (3, ?)",
               {Database::timeText(QDateTime(day.addDays(-1), QTime(23, 59, 59)))});
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

    void restartKeepsSessionsAndDropsConnections()
    {
        TestHome home;
        {
            Database db;
            QVERIFY(db.open(home.file("server.db")));
            db.run("INSERT INTO online (name, ip, id) VALUES ('PC1', '127.0.0.11', 3)");
            db.run("INSERT INTO online (name, ip, id) VALUES ('VK Server', '10.0.0.1', 0)");
            db.run("INSERT INTO terminals (terminal, ip, cid, sstart, user) VALUES "
                   "('PC2', '127.0.0.12', 4, '2026-01-01 10:00:00', 'Normal')");
        }
        Database db;
        MessageLog log;
        ConsoleCore core(db, log);
        QStringList woken;
        QVERIFY(core.startUp(home.file("server.db"), quietHooks(&woken)));
        QCOMPARE(woken, (QStringList{"127.0.0.11", "127.0.0.12"}));
        QVERIFY(log.lines().contains("Improper Servar Restart found, Wakening up all Client"));
        QCOMPARE(log.lines().last(), QString("Listening for client connection.."));
        const auto online = db.rows("SELECT name, ip, id FROM online");
        QCOMPARE(online.size(), 1);
        QCOMPARE(online[0].value(0).toString(), QString("VK Server"));
        QCOMPARE(online[0].value(1).toString(), QString("10.0.0.1"));
        QCOMPARE(online[0].value(2).toInt(), 0);
        QCOMPARE(db.scalar("SELECT count(*) FROM terminals").toInt(), 1);

        core.shutDown();
        QVERIFY(!db.isOpen());
        Database again;
        QVERIFY(again.open(home.file("server.db")));
        QCOMPARE(again.scalar("SELECT count(*) FROM online").toInt(), 0);
        QCOMPARE(again.scalar("SELECT count(*) FROM terminals").toInt(), 1);
    }

    void consoleRowIsLeftOutWhileItsOwnSessionRuns()
    {
        TestHome home;
        {
            Database db;
            QVERIFY(db.open(home.file("server.db")));
            db.run("INSERT INTO terminals (terminal, ip, cid, sstart, user) VALUES "
                   "('VK Server', '10.0.0.1', 0, '2026-01-01 10:00:00', 'Normal')");
        }
        Database db;
        MessageLog log;
        ConsoleCore core(db, log);
        QStringList woken;
        QVERIFY(core.startUp(home.file("server.db"), quietHooks(&woken)));
        QVERIFY(woken.isEmpty()); // the console's own session (index 0) wakes nobody
        QVERIFY(!log.lines().contains("Improper Servar Restart found, Wakening up all Client"));
        QCOMPARE(db.scalar("SELECT count(*) FROM online").toInt(), 0);
    }

    void unopenableDatabaseStillStartsTheConsole()
    {
        TestHome home;
        Database db;
        MessageLog log;
        ConsoleCore core(db, log);
        bool listened = false;
        auto hooks = quietHooks();
        hooks.listen = [&](quint16) { return listened = true; };
        QVERIFY(!core.startUp(home.file("no/such/folder/server.db"), hooks));
        QVERIFY(listened);
        QVERIFY(home.errorLog().contains("Calling Form: Systryfrom load"));
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
        TestHome home;
        SettingsStore store;
        store.createKey(RegKey::Options);
        store.writeValue(RegKey::Options, "linkkey", key);
        ScriptedPrompt prompt;
        Database db;
        MessageLog log;
        ConsoleCore core(db, log);
        QVERIFY(core.startUp(home.file("server.db"), quietHooks()));
        const QString text = "The link key is refused";
        QCOMPARE(log.lines().filter(text).size(), refused ? 1 : 0);
        QCOMPARE(prompt.texts().filter(text).size(), refused ? 1 : 0);
        QCOMPARE(home.errorLog().contains(text), refused);
        if (refused) {
            QCOMPARE(prompt.asked().first().icon, Prompt::Icon::Critical);
        }
    }
};

QTEST_GUILESS_MAIN(TestDatabase)
#include "tst_database.moc"
