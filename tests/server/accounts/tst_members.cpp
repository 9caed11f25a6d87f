// SPDX-License-Identifier: Apache-2.0
#include "server/accounts/memberregister.h"
#include "server/accounts/ui/frmmember.h"
#include "server/core/database.h"
#include "support/consolefixture.h"
#include "support/datarow.h"
#include "support/memberrows.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QtTest>

using namespace Qt::StringLiterals;

class TestMembers : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    void addEntry(const QString& id, const QString& credit, const QString& debit)
    {
        MemberRows::addEntry(*m_db, id, u"2026-12-01 10:00:00"_s, u"x"_s, credit, debit);
    }
    // The member window with `id` entered into its id list.
    QComboBox* enterId(FrmMember& w, const QString& id)
    {
        w.show();
        auto* ids = child<QComboBox>(w, u"cmbfield_0"_s);
        enterText(ids, id);
        return ids;
    }

private Q_SLOTS:
    void init() { openConsole(); }
    void cleanup() { closeConsole(); }

    void idWithSurroundingBlanksFindsTheMember()
    {
        MemberRows::addMember(*m_db, u"M1"_s, u"Asha"_s, u"25"_s);
        FrmMember w(*m_db);
        enterId(w, u"M1  "_s);
        QCOMPARE(child<QLineEdit>(w, u"txtfield_0"_s)->text(), u"Asha"_s);
        QCOMPARE(child<QLineEdit>(w, u"txtfield_4"_s)->text(), u"25"_s);
        // The password is masked until the operator asks to see it.
        auto* password = child<QLineEdit>(w, u"txtfield_5"_s);
        QCOMPARE(password->echoMode(), QLineEdit::Password);
        QTest::mouseClick(child<QPushButton>(w, u"cmdshowpassword"_s), Qt::LeftButton);
        QCOMPARE(password->echoMode(), QLineEdit::Normal);

        // Editing saves into that member, not into a new one.
        child<QLineEdit>(w, u"txtfield_1"_s)->setText(u"Main Road"_s);
        QTest::mouseClick(child<QPushButton>(w, u"cmdbtn_2"_s), Qt::LeftButton);
        QCOMPARE(m_prompt->lastText(), u"Save Modified Member Information ID : M1  "_s);
        QCOMPARE(m_prompt->asked().last().title, u"Warning"_s);
        QCOMPARE(count(u"members"_s), 1);
        QCOMPARE(m_db->scalar(u"SELECT address1 FROM members WHERE memberid='M1'"_s).toString(),
                 u"Main Road"_s);
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
        enterId(w, u"N1"_s);
        child<QLineEdit>(w, u"txtfield_0"_s)->setText(u"Ravi"_s);
        auto* ob = child<QLineEdit>(w, u"txtfield_4"_s);
        ob->clear();
        QTest::keyClicks(ob, typed);
        QTest::keyClick(ob, Qt::Key_Return); // swallowed, presses nothing
        QCOMPARE(count(u"members"_s), 0);
        QTest::mouseClick(child<QPushButton>(w, u"cmdbtn_2"_s), Qt::LeftButton);
        QCOMPARE(m_prompt->lastText(), u"Save New Member Information ID : N1"_s);
        QCOMPARE(m_prompt->asked().last().title, u"Message"_s);
        const auto row =
            m_db->firstRow(u"SELECT ob, createddate FROM members WHERE memberid = 'N1'"_s);
        QVERIFY(row);
        QCOMPARE(Money::fromVariant(row->value(0)).toString(), stored);
        QVERIFY(!row->value(1).toString().isEmpty());
    }

    // Both questions must be answered Yes; a No to either keeps member and entries.
    void deletingRemovesTheMembersEntries_data()
    {
        QTest::addColumn<int>("yesAnswers");
        dataRow("no at the first question", 0);
        dataRow("no at the second question", 1);
        dataRow("yes to both", 2);
    }
    void deletingRemovesTheMembersEntries()
    {
        QFETCH(int, yesAnswers);
        MemberRows::addMember(*m_db, u"M1"_s, u"Asha"_s);
        MemberRows::addMember(*m_db, u"M2"_s, u"Ravi"_s);
        addEntry(u"M1"_s, u"50"_s, u"0"_s);
        addEntry(u"M1"_s, u"0"_s, u"20"_s);
        addEntry(u"M2"_s, u"10"_s, u"0"_s);
        m_prompt->answerNext(Prompt::Answer::Yes, yesAnswers);
        m_prompt->answerNext(Prompt::Answer::No);
        FrmMember w(*m_db);
        enterId(w, u"M1"_s);
        QTest::mouseClick(child<QPushButton>(w, u"cmdbtn_1"_s), Qt::LeftButton);
        const QStringList questions{u"Delete Member Information ID : M1"_s,
                                    u"Deleting the Member Information Removed all "
                                    "Transactions of the Member  \r Still do you want "
                                    "to Delete the Account ID : M1"_s};
        QCOMPARE(m_prompt->texts(), questions.mid(0, qMin(yesAnswers + 1, 2)));
        const bool deleted = yesAnswers == 2;
        QCOMPARE(count(u"members"_s), deleted ? 1 : 2);
        QCOMPARE(count(u"transactions WHERE memberid='M1'"_s), deleted ? 0 : 2);
        QCOMPARE(count(u"transactions WHERE memberid='M2'"_s), 1);
    }

    void saveRefusesANamelessOrTakenId()
    {
        MemberRegister reg(*m_db);
        reg.chooseId(u"M1"_s);
        QVERIFY(!reg.save());
        QCOMPARE(m_prompt->lastText(), u"Member Name Not found"_s);
        QCOMPARE(m_prompt->asked().last().title, u"Invalid Entry, Not Saved"_s);
        MemberRegister::Fields blank;
        blank.name = u"   "_s; // blanks are no name either
        reg.setFields(blank);
        QVERIFY(!reg.save());
        QCOMPARE(m_prompt->lastText(), u"Member Name Not found"_s);
        QCOMPARE(count(u"members"_s), 0);
        // Someone else creates the id while this one is being typed in.
        MemberRows::addMember(*m_db, u" M1"_s, u"First"_s);
        MemberRegister::Fields f;
        f.name = u"Second"_s;
        reg.setFields(f);
        QVERIFY(!reg.save());
        QCOMPARE(m_prompt->lastText(), u"Member ID : M1 Already Exists"_s);
        QCOMPARE(count(u"members"_s), 1);
        QCOMPARE(m_db->scalar(u"SELECT name FROM members"_s).toString(), u"First"_s);
    }
};

QTEST_MAIN(TestMembers)
#include "tst_members.moc"
