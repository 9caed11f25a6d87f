#include "server/accounts/operatorlogin.h"
#include "server/accounts/ui/frmlogin.h"
#include "server/core/database.h"
#include "support/datarow.h"
#include "support/scriptedprompt.h"
#include "support/testhome.h"

#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

class TestLogin : public QObject
{
    Q_OBJECT

private:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<Database> m_db;

private Q_SLOTS:
    void init()
    {
        m_home = std::make_unique<TestHome>();
        m_db = std::make_unique<Database>();
        QVERIFY(m_db->open(m_home->file(QStringLiteral("server.db"))));
        QVERIFY(m_db->run(QStringLiteral("UPDATE defalt SET admin = 'Boss1', user = 'desk'")));
    }
    void cleanup()
    {
        m_db.reset();
        m_home.reset();
    }

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
    }
    void check()
    {
        QFETCH(QString, user);
        QFETCH(QString, password);
        QFETCH(int, result);
        ScriptedPrompt prompt;
        QCOMPARE(int(OperatorLogin(*m_db).check(user, password)), result);
        if (result == int(OperatorLogin::Result::WrongPassword)) {
            QCOMPARE(prompt.texts(), QStringList{QStringLiteral("Invalid Password, try again!")});
            QCOMPARE(prompt.asked().first().title, QStringLiteral("Login"));
            QCOMPARE(prompt.asked().first().buttons, Prompt::Buttons::Ok);
        } else {
            QVERIFY(prompt.asked().isEmpty());
        }
    }

    void anEmptyPasswordMatchesOnlyAnEmptyOne()
    {
        ScriptedPrompt prompt;
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
        ScriptedPrompt prompt;
        FrmLogin w(*m_db);
        w.show();
        QSignalSpy changed(&w, &FrmLogin::adminChanged);
        auto* user = w.findChild<QLineEdit*>(QStringLiteral("txtUserName"));
        auto* password = w.findChild<QLineEdit*>(QStringLiteral("txtPassword"));
        auto* ok = w.findChild<QPushButton*>(QStringLiteral("cmdOK"));
        QVERIFY(user && password && ok && w.findChild<QPushButton*>(QStringLiteral("cmdCancel")));

        // A wrong password changes nothing and leaves the text selected for retyping.
        QTest::keyClicks(user, QStringLiteral("Admin"));
        QTest::keyClicks(password, QStringLiteral("boss1"));
        QTest::mouseClick(ok, Qt::LeftButton);
        QCOMPARE(changed.count(), 0);
        QCOMPARE(prompt.lastText(), QStringLiteral("Invalid Password, try again!"));
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
