// SPDX-License-Identifier: Apache-2.0
#include "common/settingsstore.h"
#include "platform/autostart.h"
#include "server/accounts/consolesettings.h"
#include "server/accounts/optionsmodel.h"
#include "server/accounts/ui/frmoptions.h"
#include "server/accounts/weboptions.h"
#include "server/core/database.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QCheckBox>
#include <QFile>
#include <QLineEdit>
#include <QListWidget>
#include <QPushButton>
#include <QTabBar>
#include <QTabWidget>
#include <QtTest>

#include <memory>

class TestOptions : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    QByteArray m_oldXdg;

    QString option(const QString& name) { return SettingsStore().readValue(RegKey::Options, name); }
    template <typename T> T* child(QWidget* w, const QString& name)
    {
        T* c = w->findChild<T*>(name);
        if (c == nullptr) {
            qFatal("no control %s", qPrintable(name));
        }
        return c;
    }
    // On the box: a check box takes clicks on its box and caption only, and the window is
    // wider than the caption.
    static void tick(QCheckBox* box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    qlonglong billno()
    {
        return m_db->scalar(QStringLiteral("SELECT billno FROM defalt")).toLongLong();
    }

private Q_SLOTS:
    void init()
    {
        openConsole();
        m_oldXdg = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_home->path().toLocal8Bit());
        QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET billno = 12")));
        for (int n : {3, 7, 11}) {
            QVERIFY(m_db->run(QStringLiteral("INSERT INTO history (billno) VALUES (?)"), {n}));
        }
    }
    void cleanup()
    {
        closeConsole();
        qputenv("XDG_CONFIG_HOME", m_oldXdg);
    }

    void theWindowShowsTheSettings()
    {
        const QString cafe = QStringLiteral("Sunrise Cyber Cafe and Browsing Centre, Main Road");
        ConsoleSettings().setCafeName(cafe);
        FrmOptions w(*m_db);
        w.show();
        QVERIFY(QTest::qWaitForWindowExposed(&w));
        QCOMPARE(w.windowTitle(), QStringLiteral("Defaults Settings"));
        auto* tabs = child<QTabWidget>(&w, QStringLiteral("SSTab1"));
        QCOMPARE(tabs->count(), 6);
        QCOMPARE(tabs->tabText(1), QStringLiteral(" Currency Setting"));
        QCOMPARE(child<QLineEdit>(&w, QStringLiteral("txtbillno"))->text(), QStringLiteral("12"));
        QCOMPARE(child<QLineEdit>(&w, QStringLiteral("txtport"))->text(), QStringLiteral("2701"));
        QVERIFY(!child<QPushButton>(&w, QStringLiteral("cmdsave"))->isEnabled());
        // Every tab is in sight (none behind scroll arrows), the cafe's name is whole.
        QVERIFY2(tabs->tabBar()->sizeHint().width() <= tabs->tabBar()->width(),
                 qPrintable(QStringLiteral("%1 > %2")
                                .arg(tabs->tabBar()->sizeHint().width())
                                .arg(tabs->tabBar()->width())));
        tabs->setCurrentIndex(2);
        auto* name = child<QLineEdit>(&w, QStringLiteral("txtcafename"));
        QCOMPARE(name->text(), cafe);
        QVERIFY(name->fontMetrics().horizontalAdvance(cafe) < name->contentsRect().width());
        auto* regional = child<QListWidget>(&w, QStringLiteral("lstregional"));
        QCOMPARE(regional->count(), 5 + 10);
        QVERIFY(regional->item(0)->text().startsWith(QStringLiteral(" Local curency symbol: ")));
        QVERIFY(regional->item(5)->text().startsWith(QStringLiteral(" First day of the week: ")));
        for (int i = 0; i < regional->count(); ++i) {
            QVERIFY(!regional->item(i)->text().contains(QStringLiteral("LOCALE_")));
        }
        QVERIFY(!child<QLineEdit>(&w, QStringLiteral("txtPassword_1"))->isEnabled());
        QVERIFY(!child<QLineEdit>(&w, QStringLiteral("txtupassword_2"))->isEnabled());
    }

    void webPageSettingsAreCheckedAndStored_data()
    {
        QTest::addColumn<QString>("addresses");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("retyped");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("message");
        const QString saved = QStringLiteral("Web Page Settings Saved");
        const QString noAddress = QStringLiteral("Enter the Addresses the Page is Served on");
        dataRow("stored", "127.0.0.1, 192.168.1.5", "8470", "pa$$ word", "pa$$ word", "", saved);
        dataRow("no address", "", "8470", "pw", "pw", "", noAddress);
        dataRow("not an address", "192.168.1.300", "8470", "pw", "pw", "", noAddress);
        dataRow("port out of range", "127.0.0.1", "70000", "pw", "pw", "",
                "Enter a Valid Port Number");
        dataRow("passwords differ", "127.0.0.1", "8470", "pw", "px", "", "Password Miss match");
        dataRow("no password", "127.0.0.1", "8470", "", "", "", "Enter a Password for the Page");
        dataRow("key without certificate", "127.0.0.1", "8470", "pw", "pw", "/etc/hostname",
                "Enter both the Certificate and the Key File, or neither");
    }
    void webPageSettingsAreCheckedAndStored()
    {
        QFETCH(QString, addresses);
        QFETCH(QString, port);
        QFETCH(QString, password);
        QFETCH(QString, retyped);
        QFETCH(QString, key);
        QFETCH(QString, message);
        FrmOptions w(*m_db);
        QSignalSpy applied(&w, &FrmOptions::webOptionsSaved);
        child<QCheckBox>(&w, QStringLiteral("chkweb"))->setChecked(true);
        child<QLineEdit>(&w, QStringLiteral("txtwebaddress"))->setText(addresses);
        child<QLineEdit>(&w, QStringLiteral("txtwebport"))->setText(port);
        child<QLineEdit>(&w, QStringLiteral("txtwebpassword_0"))->setText(password);
        child<QLineEdit>(&w, QStringLiteral("txtwebpassword_1"))->setText(retyped);
        child<QLineEdit>(&w, QStringLiteral("txtwebkey"))->setText(key);
        child<QPushButton>(&w, QStringLiteral("cmdwebapply"))->click();
        QCOMPARE(m_prompt->lastText(), message);
        QVERIFY(child<QLineEdit>(&w, QStringLiteral("txtwebpassword_0"))->text().isEmpty());
        const bool stored = applied.count() == 1;
        QCOMPARE(stored, message == QStringLiteral("Web Page Settings Saved"));
        const WebOptions::Values v = WebOptions().values();
        QCOMPARE(v.enabled, stored);
        QCOMPARE(v.addresses.join(QLatin1Char(',')),
                 stored ? QStringLiteral("127.0.0.1,192.168.1.5") : QString());
        QCOMPARE(WebOptions().checkPassword(password), stored);
        QVERIFY(!option(WebOptions::PasswordValue).contains(QStringLiteral("word")));
    }

    void aUsedBillNumberIsRefusedOnEnter_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("shown");
        QTest::addColumn<bool>("refused");
        dataRow("billed", "7", "12", true);
        dataRow("later ones billed", "5", "12", true);
        dataRow("not a number", "abc", "12", true);
        dataRow("free", "20", "20", false);
    }
    void aUsedBillNumberIsRefusedOnEnter()
    {
        QFETCH(QString, typed);
        QFETCH(QString, shown);
        QFETCH(bool, refused);
        FrmOptions w(*m_db);
        w.show();
        auto* box = child<QLineEdit>(&w, QStringLiteral("txtbillno"));
        box->setFocus();
        box->selectAll();
        QTest::keyClicks(box, typed);
        QVERIFY(child<QPushButton>(&w, QStringLiteral("cmdsave"))->isEnabled());
        QTest::keyClick(box, Qt::Key_Return);
        QCOMPARE(box->text(), shown);
        if (refused) {
            QCOMPARE(m_prompt->asked().size(), 1);
            QCOMPARE(m_prompt->asked().first().title, QStringLiteral("Verify History Details"));
        } else {
            QVERIFY(m_prompt->asked().isEmpty());
        }
        QCOMPARE(billno(), 12); // nothing is stored before Save
    }

    void saveChecksTheBillNumberAgain()
    {
        OptionsModel options(*m_db);
        OptionsModel::Defaults d;
        d.billNumber = QStringLiteral("11");
        d.printBill = true;
        QVERIFY(!options.save(d));
        QVERIFY(m_prompt->texts().contains(
            QStringLiteral("Enterd Bill Number Found in History Details")));
        QCOMPARE(billno(), 12);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT printbill FROM defalt")).toInt(), 0);

        d.billNumber = QStringLiteral("40");
        QVERIFY(options.save(d));
        QCOMPARE(billno(), 40);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT printbill FROM defalt")).toInt(), 1);

        // A No to the question stores nothing.
        m_prompt->answerNext(Prompt::Answer::No);
        d.billNumber = QStringLiteral("50");
        QVERIFY(!options.save(d));
        QCOMPARE(billno(), 40);
    }

    void anUnchangedBoxKeepsBillsSettledMeanwhile()
    {
        FrmOptions w(*m_db);
        w.show();
        // The session end settles two bills while the window is open.
        QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET billno = 14")));
        tick(child<QCheckBox>(&w, QStringLiteral("chkbill")));
        child<QLineEdit>(&w, QStringLiteral("txtcafename"))->setText(QStringLiteral("Net Point"));
        QTest::mouseClick(child<QPushButton>(&w, QStringLiteral("cmdsave")), Qt::LeftButton);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Save Modified Defaults Settings"));
        QCOMPARE(billno(), 14);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT printbill FROM defalt")).toInt(), 1);
        QCOMPARE(ConsoleSettings().cafeName(), QStringLiteral("Net Point"));
        QVERIFY(!child<QPushButton>(&w, QStringLiteral("cmdsave"))->isEnabled());
    }

    void thePortIsWrittenAtOnce()
    {
        FrmOptions w(*m_db);
        w.show();
        auto* port = child<QLineEdit>(&w, QStringLiteral("txtport"));
        port->setFocus();
        port->setText(QStringLiteral("abc"));
        QTest::keyClick(port, Qt::Key_Return);
        QCOMPARE(port->text(), QStringLiteral("2701"));
        QCOMPARE(option(QStringLiteral("port")), SettingsStore::Error);
        port->setText(QStringLiteral("2702"));
        QTest::keyClick(port, Qt::Key_Return);
        QCOMPARE(option(QStringLiteral("port")), QStringLiteral("2702"));
        port->setText(QStringLiteral("70000"));
        QTest::keyClick(port, Qt::Key_Return);
        QCOMPARE(port->text(), QStringLiteral("2702"));
        QCOMPARE(option(QStringLiteral("port")), QStringLiteral("2702"));
        QCOMPARE(OptionsModel(*m_db).portText(), QStringLiteral("2702"));
    }

    void checkBoxesAreWrittenAtOnce()
    {
        FrmOptions w(*m_db);
        w.show();
        auto* dt = child<QCheckBox>(&w, QStringLiteral("chkdt"));
        auto* tray = child<QCheckBox>(&w, QStringLiteral("chkrunmin"));
        auto* start = child<QCheckBox>(&w, QStringLiteral("chkrunstart"));
        QVERIFY(!dt->isChecked() && !tray->isChecked() && !start->isChecked());
        tick(dt);
        QCOMPARE(option(QStringLiteral("lockdatetime")), QStringLiteral("1"));
        tick(tray);
        QCOMPARE(option(QStringLiteral("RunMinimized")), QStringLiteral("1"));
        tick(dt);
        QCOMPARE(option(QStringLiteral("lockdatetime")), QStringLiteral("0"));

        tick(start);
        QVERIFY(Autostart::isEnabled(OptionsModel::AutostartName));
        const QString entry = Autostart::entryFile(OptionsModel::AutostartName);
        QVERIFY(entry.startsWith(m_home->path()));
        tick(start);
        QVERIFY(!Autostart::isEnabled(OptionsModel::AutostartName));
        QVERIFY(QFile::exists(entry));

        FrmOptions again(*m_db);
        QVERIFY(child<QCheckBox>(&again, QStringLiteral("chkrunmin"))->isChecked());
        QVERIFY(!child<QCheckBox>(&again, QStringLiteral("chkdt"))->isChecked());
        QVERIFY(!child<QCheckBox>(&again, QStringLiteral("chkrunstart"))->isChecked());
    }

    void oldPasswordIgnoresSurroundingBlanks()
    {
        QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET admin = 'Boss1'")));
        OptionsModel options(*m_db);
        using R = OptionsModel::Role;
        QCOMPARE(options.checkOldPassword(R::Administrator, QStringLiteral("Boss1 ")),
                 OptionsModel::OldPassword::Accepted);
        QCOMPARE(options.checkOldPassword(R::Administrator, QString()),
                 OptionsModel::OldPassword::Empty);
        QCOMPARE(options.checkOldPassword(R::Administrator, QStringLiteral("boss1")),
                 OptionsModel::OldPassword::Wrong);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Invalid Old Password"));
        QCOMPARE(m_prompt->asked().last().title, QStringLiteral("Retype Password"));
        // Without an accepted old password nothing is changed.
        QVERIFY(
            !options.changePassword(R::Administrator, QStringLiteral("x"), QStringLiteral("x")));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT admin FROM defalt")).toString(),
                 QStringLiteral("Boss1"));
        // A never-set password takes any old one.
        QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET \"user\" = NULL")));
        QCOMPARE(options.checkOldPassword(R::Staff, QStringLiteral("anything")),
                 OptionsModel::OldPassword::Accepted);
        // So does the empty one a new database starts with: the first password can be given.
        QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET \"user\" = ''")));
        QCOMPARE(options.checkOldPassword(R::Staff, QStringLiteral("x")),
                 OptionsModel::OldPassword::Accepted);
        QVERIFY(options.changePassword(R::Staff, QStringLiteral("Desk7"), QStringLiteral("Desk7")));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT \"user\" FROM defalt")).toString(),
                 QStringLiteral("Desk7"));
    }

    void changingThePasswordThroughTheTab_data()
    {
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<QString>("column");
        QTest::addColumn<QString>("done");
        dataRow("admin", "txtPassword_", "admin", "Admin Password Changed");
        dataRow("staff", "txtupassword_", "\"user\"", "Staff Password Changed");
    }
    void changingThePasswordThroughTheTab()
    {
        QFETCH(QString, prefix);
        QFETCH(QString, column);
        QFETCH(QString, done);
        QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET admin = 'old', \"user\" = 'old'")));
        FrmOptions w(*m_db);
        w.show();
        QLineEdit* box[3];
        for (int i = 0; i < 3; ++i) {
            box[i] = child<QLineEdit>(&w, prefix + QString::number(i));
        }
        box[0]->setText(QStringLiteral("wrong"));
        QTest::keyClick(box[0], Qt::Key_Return);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Invalid Old Password"));
        QCOMPARE(box[0]->text(), QString());
        QVERIFY(!box[1]->isEnabled());

        box[0]->setText(QStringLiteral("old "));
        QTest::keyClick(box[0], Qt::Key_Return);
        QVERIFY(box[1]->isEnabled());
        box[1]->setText(QStringLiteral("abc"));
        QTest::keyClick(box[1], Qt::Key_Return);
        QVERIFY(box[2]->isEnabled());
        box[2]->setText(QStringLiteral("abd"));
        QTest::keyClick(box[2], Qt::Key_Return);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Password Miss match"));
        QCOMPARE(m_prompt->asked().last().title, QStringLiteral("Retype Password"));
        QCOMPARE(box[2]->text(), QString());
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT ") + column + QStringLiteral(" FROM defalt"))
                     .toString(),
                 QStringLiteral("old"));

        box[2]->setText(QStringLiteral("abc"));
        QTest::keyClick(box[2], Qt::Key_Return);
        QCOMPARE(m_prompt->lastText(), done);
        QCOMPARE(m_prompt->asked().last().icon, Prompt::Icon::Information);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT ") + column + QStringLiteral(" FROM defalt"))
                     .toString(),
                 QStringLiteral("abc"));
        QVERIFY(box[0]->text().isEmpty() && box[1]->text().isEmpty() && box[2]->text().isEmpty());
        QVERIFY(!box[1]->isEnabled() && !box[2]->isEnabled());
    }
};

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
