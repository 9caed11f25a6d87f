// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/operatorlogin.h"
#include "server/accounts/ui/frmlogin.h"
#include "server/core/database.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QLineEdit>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestLogin : public QObject, public ConsoleFixture
{
    Q_OBJECT

private Q_SLOTS:
    void init()
    {
        openConsole();
        QVERIFY(m_db->run(u"UPDATE defalt SET admin = 'Boss1', \"user\" = 'desk'"_s));
    }
    void cleanup() { closeConsole(); }

    void check_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("result");
        QTest::addColumn<QVariant>("stored"); // the administrator's password
        const int admin = int(OperatorLogin::Result::Administrator);
        const int staff = int(OperatorLogin::Result::Staff);
        const int wrong = int(OperatorLogin::Result::WrongPassword);
        const int unknown = int(OperatorLogin::Result::UnknownUser);
        const QVariant boss(u"Boss1"_s);
        dataRow("Admin mixed case", "Admin", "Boss1", admin, boss);
        dataRow("password case counts", "ADMIN", "boss1", wrong, boss);
        dataRow("staff", "user", "desk", staff, boss);
        dataRow("staff with admin password", "USER", "Boss1", wrong, boss);
        dataRow("name with blanks", " admin", "Boss1", unknown, boss);
        // An empty password matches only an empty one.
        dataRow("empty password", "admin", "", wrong, boss);
        dataRow("none set, none typed", "admin", "", admin, QVariant());
        dataRow("none set, one typed", "admin", "x", wrong, QVariant());
    }
    void check()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(int, result);
        QFETCH(QVariant, stored);
        QVERIFY(m_db->run(u"UPDATE defalt SET admin = ?"_s, {stored}));
        QCOMPARE(int(OperatorLogin(*m_db).check(user, password)), result);
        const bool wrongPassword = result == int(OperatorLogin::Result::WrongPassword);
        const bool refused = wrongPassword || result == int(OperatorLogin::Result::UnknownUser);
        QCOMPARE(m_prompt->asked().size(), refused ? 1 : 0);
        if (refused) {
            QCOMPARE(m_prompt->asked().first().title, u"Login"_s);
        }
        if (wrongPassword) {
            QCOMPARE(m_prompt->lastText(), u"Invalid Password, try again!"_s);
        }
    }

    // Enter in the name box logs in as OK does; a staff login takes the administrator's
    // commands away again; a refused name leaves the window open.
    void theWindowSwitchesTheRole_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("admin"); // -1: name refused, -2: password refused
        dataRow("administrator", "Admin", "Boss1", 1);
        dataRow("staff", "user", "desk", 0);
        dataRow("no such user", "boss", "Boss1", -1);
        dataRow("wrong password", "Admin", "boss1", -2);
    }
    void theWindowSwitchesTheRole()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(int, admin);
        FrmLogin w(*m_db);
        w.show();
        QSignalSpy changed(&w, &FrmLogin::adminChanged);
        child<QLineEdit>(w, u"txtPassword"_s)->setText(password);
        auto* name = child<QLineEdit>(w, u"txtUserName"_s);
        QTest::keyClicks(name, user);
        QTest::keyClick(name, Qt::Key_Return);
        QCOMPARE(changed.count(), admin < 0 ? 0 : 1);
        QCOMPARE(w.isVisible(), admin < 0);
        if (admin == -1) {
            // A name that is neither is told which two there are, and is selected for retyping.
            QVERIFY(m_prompt->lastText().startsWith(u"There is no user named \"boss\"."_s));
            QVERIFY(
                m_prompt->lastText().contains("admin for the administrator or user for the staff"));
            QCOMPARE(name->selectedText(), user);
        } else if (admin == -2) {
            QCOMPARE(m_prompt->lastText(), u"Invalid Password, try again!"_s);
            QCOMPARE(child<QLineEdit>(w, u"txtPassword"_s)->selectedText(), password);
        } else {
            QCOMPARE(changed.first().first().toBool(), admin == 1);
            QCOMPARE(w.result(), int(QDialog::Accepted));
        }
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
