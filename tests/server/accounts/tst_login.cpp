// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/operatorlogin.h"
#include "server/accounts/ui/frmlogin.h"
#include "server/core/database.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

class TestLogin : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
private Q_SLOTS:
    void init()
    {
        openConsole();
        QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET admin = 'Boss1', \"user\" = 'desk'")));
    }
    void cleanup() { closeConsole(); }

    void check_data()
    {
        QTest::addColumn<QString>("user");
        QTest::addColumn<QString>("password");
        QTest::addColumn<int>("result");
        const int admin = int(OperatorLogin::Result::Administrator);
        const int staff = int(OperatorLogin::Result::Staff);
        const int wrong = int(OperatorLogin::Result::WrongPassword);
        const int unknown = int(OperatorLogin::Result::UnknownUser);
        dataRow("admin lower case", "admin", "Boss1", admin);
        dataRow("Admin mixed case", "Admin", "Boss1", admin);
        dataRow("password case counts", "ADMIN", "boss1", wrong);
        dataRow("password blanks count", "ADMIN", "Boss1 ", wrong);
        dataRow("staff", "user", "desk", staff);
        dataRow("staff with admin password", "USER", "Boss1", wrong);
        dataRow("other name", "guest", "desk", unknown);
        dataRow("name with blanks", " admin", "Boss1", unknown);
        dataRow("no name", "", "Boss1", unknown);
    }
    void check()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(int, result);
        QCOMPARE(int(OperatorLogin(*m_db).check(user, password)), result);
        if (result == int(OperatorLogin::Result::WrongPassword)) {
            QCOMPARE(m_prompt->texts(),
                     QStringList{QStringLiteral("Invalid Password, try again!")});
            QCOMPARE(m_prompt->asked().first().title, QStringLiteral("Login"));
            QCOMPARE(m_prompt->asked().first().buttons, Prompt::Buttons::Ok);
        } else if (result == int(OperatorLogin::Result::UnknownUser)) {
            // A name that is neither is told which two there are.
            QCOMPARE(m_prompt->asked().size(), 1);
            QVERIFY2(m_prompt->lastText().contains("admin for the administrator or user for the "
                                                   "staff"),
                     qPrintable(m_prompt->lastText()));
            QCOMPARE(m_prompt->asked().first().title, QStringLiteral("Login"));
        } else {
            QVERIFY(m_prompt->asked().isEmpty());
        }
    }

    void anEmptyPasswordMatchesOnlyAnEmptyOne()
    {
        QCOMPARE(OperatorLogin(*m_db).check(QStringLiteral("admin"), QString()),
                 OperatorLogin::Result::WrongPassword);
        QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET admin = NULL")));
        QCOMPARE(OperatorLogin(*m_db).check(QStringLiteral("admin"), QString()),
                 OperatorLogin::Result::Administrator);
        QCOMPARE(OperatorLogin(*m_db).check(QStringLiteral("admin"), QStringLiteral("x")),
                 OperatorLogin::Result::WrongPassword);
    }

    void theWindowSwitchesTheRole()
    {
        FrmLogin w(*m_db);
        w.show();
        QSignalSpy changed(&w, &FrmLogin::adminChanged);
        auto* user = w.findChild<QLineEdit*>(QStringLiteral("txtUserName"));
        auto* password = w.findChild<QLineEdit*>(QStringLiteral("txtPassword"));
        auto* ok = w.findChild<QPushButton*>(QStringLiteral("cmdOK"));
        QVERIFY(user && password && ok && w.findChild<QPushButton*>(QStringLiteral("cmdCancel")));

        // The user name is typed or picked from the two there are; a wrong one is told so
        // and left selected for retyping.
        auto* names = w.findChild<QComboBox*>(QStringLiteral("cmbUserName"));
        QVERIFY(names && names->lineEdit() == user);
        QCOMPARE(names->count(), 2);
        QCOMPARE(names->itemText(0), QStringLiteral("admin"));
        QCOMPARE(names->itemText(1), QStringLiteral("user"));
        QCOMPARE(user->text(), QString());
        QTest::keyClicks(user, QStringLiteral("boss"));
        QTest::keyClick(user, Qt::Key_Return);
        QCOMPARE(changed.count(), 0);
        QVERIFY(
            m_prompt->lastText().startsWith(QStringLiteral("There is no user named \"boss\".")));
        QVERIFY(w.isVisible());
        QCOMPARE(user->selectedText(), QStringLiteral("boss"));
        user->clear();

        // A wrong password changes nothing and leaves the text selected for retyping.
        QTest::keyClicks(user, QStringLiteral("Admin"));
        QTest::keyClicks(password, QStringLiteral("boss1"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Invalid Password, try again!"));
        QVERIFY(w.isVisible());
        QCOMPARE(password->selectedText(), QStringLiteral("boss1"));

        password->setText(QStringLiteral("Boss1"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(changed.count(), 1);
        QCOMPARE(changed.takeFirst().first().toBool(), true);
        QCOMPARE(w.result(), int(QDialog::Accepted));

        // A staff login takes the administrator's commands away again.
        FrmLogin staff(*m_db);
        staff.show();
        QSignalSpy staffChanged(&staff, &FrmLogin::adminChanged);
        staff.findChild<QLineEdit*>(QStringLiteral("txtUserName"))->setText(QStringLiteral("user"));
        staff.findChild<QLineEdit*>(QStringLiteral("txtPassword"))->setText(QStringLiteral("desk"));
        QTest::mouseClick(staff.findChild<QPushButton*>(QStringLiteral("cmdOK")), Qt::LeftButton);
        QCOMPARE(staffChanged.count(), 1);
        QCOMPARE(staffChanged.takeFirst().first().toBool(), false);
    }

    void cancelChangesNothing()
    {
        FrmLogin w(*m_db);
        w.show();
        QSignalSpy changed(&w, &FrmLogin::adminChanged);
        QTest::mouseClick(w.findChild<QPushButton*>(QStringLiteral("cmdCancel")), Qt::LeftButton);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(w.result(), int(QDialog::Rejected));
    }
};

QTEST_MAIN(TestLogin)
#include "tst_login.moc"
