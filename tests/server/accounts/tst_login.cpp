// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/operatorlogin.h"
#include "server/accounts/ui/frmlogin.h"
#include "server/core/database.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QLineEdit>
#include <QPushButton>
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
        dataRow("admin lower case", "admin", "Boss1", admin, boss);
        dataRow("Admin mixed case", "Admin", "Boss1", admin, boss);
        dataRow("password case counts", "ADMIN", "boss1", wrong, boss);
        dataRow("password blanks count", "ADMIN", "Boss1 ", wrong, boss);
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
        if (result == int(OperatorLogin::Result::WrongPassword)) {
            QCOMPARE(m_prompt->texts(), QStringList{u"Invalid Password, try again!"_s});
            QCOMPARE(m_prompt->asked().first().title, u"Login"_s);
            QCOMPARE(m_prompt->asked().first().buttons, Prompt::Buttons::Ok);
        } else if (result == int(OperatorLogin::Result::UnknownUser)) {
            // A name that is neither is told which two there are.
            QCOMPARE(m_prompt->asked().size(), 1);
            QVERIFY2(m_prompt->lastText().contains("admin for the administrator or user for the "
                                                   "staff"),
                     qPrintable(m_prompt->lastText()));
            QCOMPARE(m_prompt->asked().first().title, u"Login"_s);
        } else {
            QVERIFY(m_prompt->asked().isEmpty());
        }
    }

    void theWindowSwitchesTheRole()
    {
        FrmLogin w(*m_db);
        w.show();
        QSignalSpy changed(&w, &FrmLogin::adminChanged);
        auto* user = child<QLineEdit>(w, u"txtUserName"_s);
        auto* password = child<QLineEdit>(w, u"txtPassword"_s);
        auto* ok = child<QPushButton>(w, u"cmdOK"_s);

        // A wrong name is refused from the Enter in the name box too.
        QTest::keyClicks(user, u"boss"_s);
        QTest::keyClick(user, Qt::Key_Return);
        QCOMPARE(changed.count(), 0);
        QVERIFY(m_prompt->lastText().startsWith(u"There is no user named \"boss\"."_s));
        QVERIFY(w.isVisible());
        user->clear();

        // A wrong password changes nothing.
        QTest::keyClicks(user, u"Admin"_s);
        QTest::keyClicks(password, u"boss1"_s);
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(changed.count(), 0);
        QVERIFY(w.isVisible());

        password->setText(u"Boss1"_s);
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.takeFirst().first().toBool(), true);
        QCOMPARE(w.result(), int(QDialog::Accepted));

        // A staff login takes the administrator's commands away again.
        FrmLogin staff(*m_db);
        staff.show();
        QSignalSpy staffChanged(&staff, &FrmLogin::adminChanged);
        child<QLineEdit>(staff, u"txtUserName"_s)->setText(u"user"_s);
        child<QLineEdit>(staff, u"txtPassword"_s)->setText(u"desk"_s);
        QTest::mouseClick(child<QPushButton>(staff, u"cmdOK"_s), Qt::LeftButton);
        QCOMPARE(staffChanged.count(), 1);
        QCOMPARE(staffChanged.takeFirst().first().toBool(), false);
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
