// SPDX-License-Identifier: Apache-2.0
// The setup of a new cafe: what it stores, when it is offered, what it refuses, and the
// console that offers it without being held up by it.
#include "server/accounts/backup.h"
#include "server/accounts/consolesettings.h"
#include "server/accounts/operatorlogin.h"
#include "server/app/console.h"
#include "server/app/firstrun.h"
#include "server/app/frmfirstrun.h"
#include "server/core/database.h"
#include "server/core/messagelog.h"
#include "server/core/ui/frmmain.h"
#include "server/sessions/charge.h"
#include "server/sessions/tariffstore.h"
#include "support/consoleconf.h"
#include "support/datarow.h"
#include "support/scriptedprompt.h"
#include "support/tariffrows.h"
#include "support/testdatabase.h"
#include "support/testhome.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QTest>

#include <memory>

class TestFirstRun : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> home;
    std::unique_ptr<Database> db;

    FirstRun::Answers good() const
    {
        FirstRun::Answers a;
        a.password = a.retyped = "s3cret";
        a.cafeName = "Corner Net";
        a.category = "Normal";
        a.rate30 = "15";
        a.rate45 = "20";
        a.rate60 = "25.50";
        a.exportFolder = home->file("exports");
        a.backupFolder = home->file("backups");
        return a;
    }

    qint64 count(const char* table)
    {
        return db->scalar(QString("SELECT count(*) FROM %1").arg(table)).toLongLong();
    }

private Q_SLOTS:
    void init()
    {
        home = std::make_unique<TestHome>();
        db = std::make_unique<Database>();
        QVERIFY(db->open(testDatabaseTarget(*home)));
    }
    void cleanup()
    {
        db.reset();
        home.reset();
    }

    // From nothing to priced time with what the setup stored.
    void setupStoresWhatPricesTheTime()
    {
        QCOMPARE(FirstRun(*db, 2).apply(good()), QString());

        QCOMPARE(OperatorLogin(*db).check("admin", "s3cret"), OperatorLogin::Result::Administrator);
        ConsoleSettings cafe;
        QCOMPARE(cafe.cafeName(), QString("Corner Net"));
        QCOMPARE(cafe.exportFolder(), home->file("exports"));
        QCOMPARE(Backup::folder(), home->file("backups"));

        const auto tariff = TariffStore(*db).find("Normal");
        QVERIFY(tariff);
        QCOMPARE(tariff->rows.size(), 3);
        QCOMPARE(tariff->rows[2].timeslice, m("60"));
        // The editor's computed columns: 15/30, 5/15, 5.5/15.
        QCOMPARE(tariff->rows[0].rpermin, m("0.5"));
        QCOMPARE(tariff->rows[1].rateslice, QString("5"));
        QCOMPARE(tariff->rows[1].rpermin, m("0.3333"));
        QCOMPARE(tariff->rows[2].rpermin, m("0.3667"));

        // Either side of each slice's end.
        const struct
        {
            int h, min;
            const char* charge;
        } spans[] = {{0, 30, "15"}, {0, 31, "20"}, {0, 46, "25.5"}, {1, 40, "45.5"}};
        for (const auto& s : spans) {
            QCOMPARE(calccharge(*db, "Normal", s.h, s.min, 0), m(s.charge));
        }
    }

    // A cafe that has numbered bills on is not new, whatever else it lacks.
    void anExistingCafeIsNeverOffered()
    {
        QVERIFY(db->run("UPDATE defalt SET billno = 120"));
        QVERIFY(!FirstRun(*db, 2).isDue());
        QVERIFY(!FirstRun(*db, 2).isMarkedDone());
    }

    void invalidAnswersAreRefused()
    {
        QFile file(home->file("afile"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.close();
        using A = FirstRun::Answers;
        const struct
        {
            QString A::*field;
            QString value;
            const char* message;
        } cases[] = {{&A::retyped, "s3creT", "do not match"},
                     {&A::rate45, "2O", "45 minutes must be a number"},
                     {&A::rate60, "19.99", "cannot be less"},
                     {&A::backupFolder, home->file("afile/sub"), "cannot be created"}};
        for (const auto& c : cases) {
            A a = good();
            a.*c.field = c.value;
            FirstRun setup(*db, 2);
            const QString got = setup.apply(a);
            QVERIFY2(got.contains(c.message), qPrintable(got));
            QVERIFY(setup.isDue());
        }
        // Refused means nothing stored.
        QCOMPARE(count("user_category"), 0);
        QCOMPARE(count("ratelist"), 0);
        QCOMPARE(db->scalar("SELECT admin FROM defalt").toString(), QString());
        QCOMPARE(ConsoleSettings().cafeName(), QString());
    }

    // The console on an empty home offers the setup over its window, focused and modal to it,
    // without holding up the start: it listens and its window is up while the setup waits.
    // Only saving or "Skip Setup" leaves it for good; a stray Escape only closes it for this
    // start, and then the log says how to log in and where a usage category is added.
    void consoleOffersTheSetupUntilItIsDone_data()
    {
        QTest::addColumn<QString>("how");
        QTest::addColumn<bool>("marked");
        QTest::addColumn<QString>("logged");
        dataRow("Finish", "finish", true, "New cafe setup saved.");
        dataRow("Skip Setup", "skip", true, "New cafe setup skipped.");
        dataRow("Escape", "escape", false, "opens again at the next start");
    }
    void consoleOffersTheSetupUntilItIsDone()
    {
        QFETCH(QString, how);
        QFETCH(bool, marked);
        QFETCH(QString, logged);
        db.reset();
        writeConsoleSettings(*home);
        ScriptedPrompt prompt;
        {
            Console console;
            console.start();
            QVERIFY(console.window().isVisible());
            QVERIFY(console.listeningPort() != 0);
            auto* wizard = qobject_cast<FrmFirstRun*>(console.firstRunWindow());
            QVERIFY(wizard);
            QCOMPARE(QApplication::activeModalWidget(), wizard);
            QTRY_COMPARE(QApplication::focusWidget(), wizard->field("txtpassword"));
            wizard->field("txtpassword")->setText("pw");
            if (how == "finish") {
                wizard->field("txtretype")->setText("pw");
                wizard->next();
                wizard->field("txtcafename")->setText("Corner Net");
                wizard->next();
                wizard->field("txtrate30")->setText("10");
                wizard->field("txtrate45")->setText("15");
                wizard->field("txtrate60")->setText("20");
                wizard->next();
                wizard->field("txtbackupfolder")->setText(home->file("bk"));
                wizard->button(QWizard::FinishButton)->click();
            } else if (how == "skip") {
                wizard->button(QWizard::CustomButton1)->click();
            } else {
                QTest::keyClick(QApplication::focusWidget(), Qt::Key_Escape);
            }
            QTRY_VERIFY(console.firstRunWindow() == nullptr);
            QVERIFY(QApplication::activeModalWidget() == nullptr);
            QCOMPARE(FirstRun(console.database(), 2).isMarkedDone(), marked);
            const QStringList log = console.messageLog().lines();
            if (how == "finish") {
                QVERIFY(log.contains(logged));
                QCOMPARE(calccharge(console.database(), "Normal", 0, 40, 0), m("15"));
            } else {
                QCOMPARE(console.database().scalar("SELECT count(*) FROM user_category").toInt(),
                         0);
                QCOMPARE(console.database().scalar("SELECT admin FROM defalt").toString(),
                         QString());
                QVERIFY(prompt.asked().isEmpty());
                QVERIFY2(log.value(log.size() - 3).contains(logged), qPrintable(log.join('\n')));
                QVERIFY(log.value(log.size() - 2).contains("Setings > Login"));
                QVERIFY(log.value(log.size() - 2).contains("user name admin"));
                QVERIFY(log.value(log.size() - 1).contains("Setings > Usage and Charge Details"));
            }
            console.shutDown();
        }
        Console console;
        console.start();
        QCOMPARE(console.firstRunWindow() == nullptr, marked);
        console.shutDown();
    }
};

QTEST_MAIN(TestFirstRun)
#include "tst_firstrun.moc"
