// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/memberregister.h"
#include "server/accounts/ui/frmmember.h"
#include "server/core/database.h"
#include "support/consolefixture.h"
#include "support/datarow.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

#include <memory>

class TestMembers : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    void addMember(const QString& id, const QString& name, double ob = 0)
    {
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO members (memberid, name, ob) "
                                         "VALUES (?, ?, ?)"),
                          {id, name, ob}));
    }
    void addEntry(const QString& id, double credit, double debit)
    {
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO transactions (memberid, Date, part, "
                                         "credit, debit) VALUES (?, '2026-12-01 10:00:00', "
                                         "'x', ?, ?)"),
                          {id, credit, debit}));
    }
    qlonglong count(const QString& sql, const QVariantList& params = {})
    {
        return m_db->scalar(sql, params).toLongLong();
    }
    template <typename T> T* child(QWidget* w, const QString& name)
    {
        T* c = w->findChild<T*>(name);
        if (c == nullptr) {
            qFatal("no control %s", qPrintable(name));
        }
        return c;
    }

private Q_SLOTS:
    void init() { openConsole(); }
    void cleanup() { closeConsole(); }

    void idWithSurroundingBlanksFindsTheMember()
    {
        addMember(QStringLiteral("M1"), QStringLiteral("Asha"), 25);
        FrmMember w(*m_db);
        w.show();
        auto* ids = child<QComboBox>(&w, QStringLiteral("cmbfield_0"));
        ids->setEditText(QStringLiteral("M1  "));
        QTest::keyClick(ids, Qt::Key_Return);
        QCOMPARE(child<QLineEdit>(&w, QStringLiteral("txtfield_0"))->text(),
                 QStringLiteral("Asha"));
        QCOMPARE(child<QLineEdit>(&w, QStringLiteral("txtfield_4"))->text(), QStringLiteral("25"));
        QVERIFY(!w.memberRegister().isNewMode());
        QVERIFY(child<QPushButton>(&w, QStringLiteral("cmdbtn_1"))->isEnabled());

        // The password is masked until the operator asks to see it.
        auto* password = child<QLineEdit>(&w, QStringLiteral("txtfield_5"));
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        auto* reveal = child<QPushButton>(&w, QStringLiteral("cmdshowpassword"));
        QTest::mouseClick(reveal, Qt::LeftButton);
        QCOMPARE(password->echoMode(), QLineEdit::Normal);
        QTest::mouseClick(reveal, Qt::LeftButton);
        QCOMPARE(password->echoMode(), QLineEdit::Password);

        // Editing saves into that member, not into a new one.
        ScriptedPrompt prompt;
        child<QLineEdit>(&w, QStringLiteral("txtfield_1"))->setText(QStringLiteral("Main Road"));
        QTest::mouseClick(child<QPushButton>(&w, QStringLiteral("cmdbtn_2")), Qt::LeftButton);
        QCOMPARE(prompt.lastText(), QStringLiteral("Save Modified Member Information ID : M1  "));
        QCOMPARE(prompt.asked().last().title, QStringLiteral("Warning"));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM members")), 1);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT address1 FROM members WHERE memberid='M1'"))
                     .toString(),
                 QStringLiteral("Main Road"));
    }

    void openingBalanceIsTheLeadingNumber_data()
    {
        QTest::addColumn<QString>("typed");
        QTest::addColumn<QString>("stored");
        dataRow("a second point is not typed", "12.5.3", "12.53");
        dataRow("empty", "", "0");
        dataRow("letters dropped by the key filter", "4a0", "40");
        dataRow("four decimals", "0.1234", "0.1234");
    }
    void openingBalanceIsTheLeadingNumber()
    {
        QFETCH(QString, typed);
        QFETCH(QString, stored);
        FrmMember w(*m_db);
        w.show();
        auto* ids = child<QComboBox>(&w, QStringLiteral("cmbfield_0"));
        ids->setEditText(QStringLiteral("N1"));
        QTest::keyClick(ids, Qt::Key_Return);
        QVERIFY(w.memberRegister().isNewMode());
        child<QLineEdit>(&w, QStringLiteral("txtfield_0"))->setText(QStringLiteral("Ravi"));
        auto* ob = child<QLineEdit>(&w, QStringLiteral("txtfield_4"));
        QCOMPARE(ob->text(), QStringLiteral("0"));
        ob->clear();
        QTest::keyClicks(ob, typed);
        QTest::keyClick(ob, Qt::Key_Return); // swallowed, presses nothing
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM members")), 0);
        QTest::mouseClick(child<QPushButton>(&w, QStringLiteral("cmdbtn_2")), Qt::LeftButton);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Save New Member Information ID : N1"));
        QCOMPARE(m_prompt->asked().last().title, QStringLiteral("Message"));
        const auto row = m_db->firstRow(QStringLiteral("SELECT ob, name, createddate FROM "
                                                       "members WHERE memberid = 'N1'"));
        QVERIFY(row);
        QCOMPARE(Money::fromVariant(row->value(0)).toString(), stored);
        QVERIFY(!row->value(2).toString().isEmpty());
        // Ready for the next member.
        QCOMPARE(ids->currentText(), QString());
        QCOMPARE(child<QLineEdit>(&w, QStringLiteral("txtfield_0"))->text(), QString());
        QCOMPARE(ob->text(), QStringLiteral("0"));
        QVERIFY(!child<QPushButton>(&w, QStringLiteral("cmdbtn_2"))->isEnabled());
        QVERIFY(ids->findText(QStringLiteral("N1")) >= 0);
    }

    void saveTestsTheNameBox()
    {
        MemberRegister reg(*m_db);
        reg.chooseId(QStringLiteral("N2"));
        QVERIFY(!reg.save());
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Member Name Not found"));
        QCOMPARE(m_prompt->asked().last().title, QStringLiteral("Invalid Entry, Not Saved"));
        MemberRegister::Fields f;
        f.name = QStringLiteral("Meera");
        reg.setFields(f);
        QVERIFY(reg.save()); // an empty register takes its first member
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM members WHERE memberid='N2'")), 1);
    }

    void answeringNoKeepsMemberAndEntries_data()
    {
        QTest::addColumn<int>("yesAnswers");
        dataRow("no at the first question", 0);
        dataRow("no at the second question", 1);
    }
    void answeringNoKeepsMemberAndEntries()
    {
        QFETCH(int, yesAnswers);
        addMember(QStringLiteral("M1"), QStringLiteral("Asha"));
        addEntry(QStringLiteral("M1"), 50, 0);
        for (int i = 0; i < yesAnswers; ++i) {
            m_prompt->answerNext(Prompt::Answer::Yes);
        }
        m_prompt->answerNext(Prompt::Answer::No);
        MemberRegister reg(*m_db);
        reg.chooseId(QStringLiteral("M1"));
        QVERIFY(!reg.remove());
        QCOMPARE(m_prompt->asked().size(), yesAnswers + 1);
        QCOMPARE(m_prompt->asked().last().title, QStringLiteral("Warning"));
        QCOMPARE(m_prompt->asked().last().icon, Prompt::Icon::Critical);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM members")), 1);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM transactions")), 1);
    }

    void deletingRemovesTheMembersEntries()
    {
        addMember(QStringLiteral("M1"), QStringLiteral("Asha"));
        addMember(QStringLiteral("M2"), QStringLiteral("Ravi"));
        addEntry(QStringLiteral("M1"), 50, 0);
        addEntry(QStringLiteral("M1"), 0, 20);
        addEntry(QStringLiteral("M2"), 10, 0);
        FrmMember w(*m_db);
        w.show();
        auto* ids = child<QComboBox>(&w, QStringLiteral("cmbfield_0"));
        ids->setEditText(QStringLiteral("M1"));
        QTest::keyClick(ids, Qt::Key_Return);
        QSignalSpy changed(m_db.get(), &Database::tableChanged);
        QTest::mouseClick(child<QPushButton>(&w, QStringLiteral("cmdbtn_1")), Qt::LeftButton);
        QCOMPARE(m_prompt->texts(),
                 QStringList({QStringLiteral("Delete Member Information ID : M1"),
                              QStringLiteral("Deleting the Member Information Removed all "
                                             "Transactions of the Member  \r Still do you want "
                                             "to Delete the Account ID : M1")}));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM members")), 1);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM transactions WHERE memberid='M1'")), 0);
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM transactions WHERE memberid='M2'")), 1);
        QVERIFY(ids->findText(QStringLiteral("M1")) < 0);
        QVERIFY(w.memberRegister().isNewMode());
        QVERIFY(changed.count() >= 2);
    }

    void aTakenIdIsRefused()
    {
        MemberRegister reg(*m_db);
        reg.chooseId(QStringLiteral("M1"));
        QVERIFY(reg.isNewMode());
        // Someone else creates the id while this one is being typed in.
        addMember(QStringLiteral(" M1"), QStringLiteral("First"));
        MemberRegister::Fields f;
        f.name = QStringLiteral("Second");
        reg.setFields(f);
        QVERIFY(!reg.save());
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Member ID : M1 Already Exists"));
        QCOMPARE(count(QStringLiteral("SELECT count(*) FROM members")), 1);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT name FROM members")).toString(),
                 QStringLiteral("First"));
    }

    void newEmptiesTheWindow()
    {
        addMember(QStringLiteral("M1"), QStringLiteral("Asha"), 5);
        FrmMember w(*m_db);
        w.show();
        auto* ids = child<QComboBox>(&w, QStringLiteral("cmbfield_0"));
        ids->setEditText(QStringLiteral("M1"));
        QTest::keyClick(ids, Qt::Key_Return);
        QTest::mouseClick(child<QPushButton>(&w, QStringLiteral("cmdbtn_0")), Qt::LeftButton);
        QCOMPARE(ids->currentText(), QString());
        QCOMPARE(child<QLineEdit>(&w, QStringLiteral("txtfield_0"))->text(), QString());
        QCOMPARE(child<QLineEdit>(&w, QStringLiteral("txtfield_4"))->text(), QStringLiteral("0"));
        QVERIFY(!child<QPushButton>(&w, QStringLiteral("cmdbtn_1"))->isEnabled());
        QVERIFY(!child<QPushButton>(&w, QStringLiteral("cmdbtn_2"))->isEnabled());
    }
};

QTEST_MAIN(TestMembers)
#include "tst_members.moc"
