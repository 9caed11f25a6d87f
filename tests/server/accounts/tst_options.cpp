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
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestOptions : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    QByteArray m_oldXdg;

    QString option(const QString& name) { return SettingsStore().readValue(RegKey::Options, name); }
    // On the box: a check box takes clicks on its box and caption only, and the window is
    // wider than the caption.
    static void tick(QCheckBox* box)
    {
        QTest::mouseClick(box, Qt::LeftButton, {}, QPoint(6, box->height() / 2));
    }
    qlonglong billno() { return m_db->scalar(u"SELECT billno FROM defalt"_s).toLongLong(); }
    int printbill() { return m_db->scalar(u"SELECT printbill FROM defalt"_s).toInt(); }

private Q_SLOTS:
    void init()
    {
        openConsole();
        m_oldXdg = qgetenv("XDG_CONFIG_HOME");
        qputenv("XDG_CONFIG_HOME", m_home->path().toLocal8Bit());
        QVERIFY(m_db->run(u"UPDATE defalt SET billno = 12"_s));
        for (int n : {3, 7, 11}) {
            QVERIFY(m_db->run(u"INSERT INTO history (billno) VALUES (?)"_s, {n}));
        }
    }
    void cleanup()
    {
        closeConsole();
        qputenv("XDG_CONFIG_HOME", m_oldXdg);
    }

    void theWindowShowsAndStoresTheSettings()
    {
        ConsoleSettings().setCafeName(u"Sunrise Cyber Cafe"_s);
        FrmOptions w(*m_db);
        w.show();
        QCOMPARE(w.windowTitle(), u"Defaults Settings"_s);
        QCOMPARE(child<QLineEdit>(w, u"txtbillno"_s)->text(), u"12"_s);
        QCOMPARE(child<QLineEdit>(w, u"txtcafename"_s)->text(), u"Sunrise Cyber Cafe"_s);

        // The session end settles two bills while the window is open: saving with the bill
        // number box unchanged keeps them.
        QVERIFY(m_db->run(u"UPDATE defalt SET billno = 14"_s));
        tick(child<QCheckBox>(w, u"chkbill"_s));
        child<QLineEdit>(w, u"txtcafename"_s)->setText(u"Net Point"_s);
        QTest::mouseClick(child<QPushButton>(w, u"cmdsave"_s), Qt::LeftButton);
        QCOMPARE(m_prompt->lastText(), u"Save Modified Defaults Settings"_s);
        QCOMPARE(billno(), 14);
        QCOMPARE(printbill(), 1);
        QCOMPARE(ConsoleSettings().cafeName(), u"Net Point"_s);

        // The port and the check boxes are written at once.
        auto* port = child<QLineEdit>(w, u"txtport"_s);
        QCOMPARE(port->text(), u"2701"_s);
        port->setFocus();
        enterText(port, u"2702"_s);
        QCOMPARE(option(u"port"_s), u"2702"_s);
        enterText(port, u"70000"_s);
        QCOMPARE(port->text(), u"2702"_s);
        QCOMPARE(option(u"port"_s), u"2702"_s);
        tick(child<QCheckBox>(w, u"chkrunmin"_s));
        QCOMPARE(option(u"RunMinimized"_s), u"1"_s);
        auto* start = child<QCheckBox>(w, u"chkrunstart"_s);
        tick(start);
        QVERIFY(Autostart::isEnabled(OptionsModel::AutostartName));
        tick(start);
        QVERIFY(!Autostart::isEnabled(OptionsModel::AutostartName));

        // One role's password boxes; both roles' checks are the model's, below.
        QVERIFY(m_db->run(u"UPDATE defalt SET admin = 'old'"_s));
        QLineEdit* box[3];
        for (int i = 0; i < 3; ++i) {
            box[i] = child<QLineEdit>(w, u"txtPassword_"_s + QString::number(i));
        }
        enterText(box[0], u"old "_s);
        enterText(box[1], u"abc"_s);
        enterText(box[2], u"abd"_s);
        QCOMPARE(m_prompt->lastText(), u"Password Miss match"_s);
        const QString stored = u"SELECT admin FROM defalt"_s;
        QCOMPARE(m_db->scalar(stored).toString(), u"old"_s);
        enterText(box[2], u"abc"_s);
        QCOMPARE(m_prompt->lastText(), u"Admin Password Changed"_s);
        QCOMPARE(m_db->scalar(stored).toString(), u"abc"_s);
    }

    void webPageSettingsAreCheckedAndStored_data()
    {
        QTest::addColumn<QString>("addresses");
        QTest::addColumn<QString>("port");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("key");
        QTest::addColumn<QString>("message");
        const QString saved = u"Web Page Settings Saved"_s;
        const QString noAddress = u"Enter the Addresses the Page is Served on"_s;
        dataRow("stored", "127.0.0.1, 192.168.1.5", "8470", "pa$$ word", "", saved);
        dataRow("not an address", "192.168.1.300", "8470", "pw", "", noAddress);
        dataRow("port out of range", "127.0.0.1", "70000", "pw", "", "Enter a Valid Port Number");
        dataRow("no password", "127.0.0.1", "8470", "", "", "Enter a Password for the Page");
        dataRow("key without certificate", "127.0.0.1", "8470", "pw", "/etc/hostname",
                "Enter both the Certificate and the Key File, or neither");
    }
    void webPageSettingsAreCheckedAndStored()
    {
        QFETCH(QString, addresses);
        QFETCH(QString, port);
        QFETCH(QString, password);
        QFETCH(QString, key);
        QFETCH(QString, message);
        FrmOptions w(*m_db);
        QSignalSpy applied(&w, &FrmOptions::webOptionsSaved);
        child<QCheckBox>(w, u"chkweb"_s)->setChecked(true);
        child<QLineEdit>(w, u"txtwebaddress"_s)->setText(addresses);
        child<QLineEdit>(w, u"txtwebport"_s)->setText(port);
        child<QLineEdit>(w, u"txtwebpassword_0"_s)->setText(password);
        child<QLineEdit>(w, u"txtwebpassword_1"_s)->setText(password);
        child<QLineEdit>(w, u"txtwebkey"_s)->setText(key);
        child<QPushButton>(w, u"cmdwebapply"_s)->click();
        QCOMPARE(m_prompt->lastText(), message);
        const bool stored = applied.count() == 1;
        QCOMPARE(stored, message == u"Web Page Settings Saved"_s);
        const WebOptions::Values v = WebOptions().values();
        QCOMPARE(v.enabled, stored);
        QCOMPARE(v.addresses.join(QLatin1Char(',')),
                 stored ? u"127.0.0.1,192.168.1.5"_s : QString());
        QCOMPARE(WebOptions().checkPassword(password), stored);
        QVERIFY(!option(WebOptions::PasswordValue).contains(u"word"_s));
    }

    void saveChecksTheBillNumberAgain()
    {
        OptionsModel options(*m_db);
        OptionsModel::Defaults d;
        d.billNumber = u"11"_s;
        d.printBill = true;
        QVERIFY(!options.save(d));
        QVERIFY(m_prompt->texts().contains(u"Enterd Bill Number Found in History Details"_s));
        QCOMPARE(m_prompt->asked().last().title, u"Verify History Details"_s);
        QCOMPARE(billno(), 12);
        QCOMPARE(printbill(), 0);
        d.billNumber = u"abc"_s;
        QVERIFY(!options.save(d));
        QCOMPARE(billno(), 12);

        d.billNumber = u"40"_s;
        QVERIFY(options.save(d));
        QCOMPARE(billno(), 40);
        QCOMPARE(printbill(), 1);

        // A No to the question stores nothing.
        m_prompt->answerNext(Prompt::Answer::No);
        d.billNumber = u"50"_s;
        QVERIFY(!options.save(d));
        QCOMPARE(billno(), 40);
    }

    void oldPasswordIgnoresSurroundingBlanks()
    {
        QVERIFY(m_db->run(u"UPDATE defalt SET admin = 'Boss1'"_s));
        OptionsModel options(*m_db);
        using R = OptionsModel::Role;
        using P = OptionsModel::OldPassword;
        QCOMPARE(options.checkOldPassword(R::Administrator, u"Boss1 "_s), P::Accepted);
        QCOMPARE(options.checkOldPassword(R::Administrator, QString()), P::Empty);
        QCOMPARE(options.checkOldPassword(R::Administrator, u"boss1"_s), P::Wrong);
        QCOMPARE(m_prompt->lastText(), u"Invalid Old Password"_s);
        QCOMPARE(m_prompt->asked().last().title, u"Retype Password"_s);
        // Without an accepted old password nothing is changed.
        QVERIFY(!options.changePassword(R::Administrator, u"x"_s, u"x"_s));
        QCOMPARE(m_db->scalar(u"SELECT admin FROM defalt"_s).toString(), u"Boss1"_s);
        // A never-set password takes any old one.
        QVERIFY(m_db->run(u"UPDATE defalt SET \"user\" = NULL"_s));
        QCOMPARE(options.checkOldPassword(R::Staff, u"anything"_s), P::Accepted);
        // So does the empty one a new database starts with: the first password can be given.
        QVERIFY(m_db->run(u"UPDATE defalt SET \"user\" = ''"_s));
        QCOMPARE(options.checkOldPassword(R::Staff, u"x"_s), P::Accepted);
        QVERIFY(options.changePassword(R::Staff, u"Desk7"_s, u"Desk7"_s));
        QCOMPARE(m_prompt->lastText(), u"Staff Password Changed"_s);
        QCOMPARE(m_db->scalar(u"SELECT \"user\" FROM defalt"_s).toString(), u"Desk7"_s);
    }
};

QTEST_MAIN(TestOptions)
#include "tst_options.moc"
