// SPDX-License-Identifier: Apache-2.0
// Starting a session from the window: its guards, the row it writes and what the agent hears.

#include "common/clock.h"
#include "common/protocol.h"
#include "server/core/database.h"
#include "server/sessions/sessionservice.h"
#include "server/sessions/ui/frmsessionstart.h"
#include "support/consolefixture.h"
#include "support/datarow.h"
#include "support/loopbackagentlink.h"
#include "support/shownbox.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QPushButton>
#include <QRadioButton>
#include <QSqlRecord>
#include <QtTest>

namespace {

const QDateTime T0(QDate(2026, 5, 2), QTime(18, 30, 5));

} // namespace

class TestSessionStart : public QObject, public ConsoleFixture
{
    Q_OBJECT

    // Types into the boxes without Enter; an empty member is a walk-in.
    static void fill(FrmSessionStart& w, const QString& terminal,
                     const QString& category = QStringLiteral("Std"),
                     const QString& member = QString())
    {
        child<QComboBox>(w, "cmbonline")->setEditText(terminal);
        child<QComboBox>(w, "cmbmemberid")->setEditText(member);
        child<QComboBox>(w, "cmbcategory")->setEditText(category);
    }
    static void autoLogout(FrmSessionStart& w, const QString& minutes)
    {
        child<QCheckBox>(w, "chkautologout")->setChecked(true);
        child<QLineEdit>(w, "txtautologout")->setText(minutes);
    }
    // Start pressed and its question, if it comes to one, answered.
    void start(FrmSessionStart& w, Prompt::Answer answer = Prompt::Answer::Yes)
    {
        m_prompt->answerNext(answer);
        child<QPushButton>(w, "cmdstart")->click();
    }
    void startAsked(FrmSessionStart& w, const QString& text)
    {
        m_prompt->clear();
        start(w);
        QCOMPARE(m_prompt->texts(), QStringList{text});
    }

private Q_SLOTS:
    void init()
    {
        openConsole();
        m_link = std::make_unique<LoopbackAgentLink>();
        m_agent = m_link->connectAgent();
        QVERIFY(m_agent > 0);
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES "
                                         "('VK Server', '10.0.0.100', 0), ('PC1', '10.0.0.1', ?)"),
                          {m_agent}));
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO user_category (\"user\") VALUES ('Std'), "
                                         "('Night')")));
        QVERIFY(
            m_db->run(QStringLiteral("INSERT INTO members (memberid, Password, category) VALUES "
                                     "('M1', 'Secret', 'Night'), ('M2', '', 'Std')")));
        Clock::setFixed(T0);
    }
    void cleanup()
    {
        m_link.reset();
        closeConsole();
    }

    // Refused or answered No: nothing starts and the agent hears nothing.
    void guardsInOrder_data()
    {
        QTest::addColumn<QString>("terminal");
        QTest::addColumn<QString>("category");
        QTest::addColumn<QString>("member");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QString>("message");
        dataRow("nothing chosen", "", "", "M1", "wrong", "0",
                "Select the Ready Computer to Start Session");
        dataRow("workstation no longer ready", "PC9", "Std", "", "", "",
                "Select the Ready Computer to Start Session");
        dataRow("no category", " PC1 ", "", "M1", "wrong", "0",
                "Select the Usage Category List to Start Session");
        dataRow("wrong password", "PC1", "Std", "M1", "secret", "0", "Password Missmatch");
        dataRow("logout without minutes", "PC1", "Std", "M1", "Secret", "0",
                "Please Enter the Autolog Out Time in Minute");
        // M2 is in a session on PC7: a second one would deduct from the same balance.
        dataRow("member already in a session", "PC1", "Std", "M2", "", "",
                "This member already has a running session.");
        dataRow("answered No", "PC1", "Std", "", "", "", "Start New session & Unlock System : PC1");
    }
    void guardsInOrder()
    {
        QFETCH(QString, terminal);
        QFETCH(QString, category);
        QFETCH(QString, member);
        QFETCH(QString, password);
        QFETCH(QString, minutes);
        QFETCH(QString, message);
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO terminals (terminal, memberid, prepaid) "
                                         "VALUES ('PC7', 'M2', 2)")));
        FrmSessionStart w(*m_db);
        fill(w, terminal, QString(), member);
        w.pickOnline();
        w.memberEntered();
        child<QComboBox>(w, "cmbcategory")->setEditText(category);
        child<QLineEdit>(w, "txtPassword")->setText(password);
        if (!minutes.isEmpty()) {
            autoLogout(w, minutes);
        }
        m_prompt->clear();
        start(w, Prompt::Answer::No);
        QCOMPARE(m_prompt->texts(), QStringList{message});
        QCOMPARE(count(QStringLiteral("terminals")), 1);
        QVERIFY(m_link->sent().isEmpty());
        QVERIFY(w.result() != QDialog::Accepted);
    }

    void keyboardAlone()
    {
        FrmSessionStart w(*m_db);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        // Enter in a box to fill in takes what was typed and moves on; then it starts.
        typeKeys(QStringLiteral("PC1"));
        pressKey(Qt::Key_Return);
        typeKeys(QStringLiteral("Std"));
        pressKey(Qt::Key_Return);
        pressKey(Qt::Key_Return);
        m_prompt->answerNext(Prompt::Answer::Yes);
        pressKey(Qt::Key_Return);
        QCOMPARE(m_prompt->texts(),
                 QStringList{QStringLiteral("Start New session & Unlock System : PC1")});
        const auto row = m_db->firstRow(QStringLiteral("SELECT terminal, \"user\" FROM terminals"));
        QVERIFY(row);
        QCOMPARE(row->value(0).toString(), QStringLiteral("PC1"));
        QCOMPARE(row->value(1).toString(), QStringLiteral("Std"));
    }

    void reportedNameIsShownLiterally()
    {
        // The question names the workstation as it reported itself; markup in it stays text.
        const QString name = QStringLiteral("<font color=red>SYSTEM: press OK</font>");
        QVERIFY(
            m_db->run(QStringLiteral("UPDATE online SET name = ? WHERE ip = '10.0.0.1'"), {name}));
        FrmSessionStart w(*m_db);
        fill(w, name);
        const ShownBox box =
            ShownBox::during([&] { child<QPushButton>(w, "cmdstart")->click(); }, m_prompt.get());
        QCOMPARE(box.format, Qt::PlainText);
        QCOMPARE(box.text, QStringLiteral("Start New session & Unlock System : ") + name);
        QCOMPARE(count(QStringLiteral("terminals")), 0);
    }

    void startMessagesInOrder_data()
    {
        QTest::addColumn<QString>("member");
        QTest::addColumn<bool>("byUser");
        QTest::addColumn<bool>("options");
        QTest::addColumn<QString>("minutes");
        QTest::addColumn<QByteArray>("expected");
        dataRow("plain", "", false, false, "", (Proto::SetTime + Proto::StartSession));
        dataRow("logout typed 0045", "", false, false, "0045",
                (Proto::SetTime + "|AUTOLOGOUT_MIN| 45|<LOGOUTTIME|" + Proto::StartSession));
        dataRow("options", "", false, true, "", (Proto::SetTime + Proto::ShowOptions));
        dataRow(
            "password by user, logout 30", "M1", true, false, "30",
            (Proto::SetTime + "|AUTOLOGOUT_MIN| 30|<LOGOUTTIME|" + Proto::ShowOptionsWithPassword));
    }
    void startMessagesInOrder()
    {
        QFETCH(QString, member);
        QFETCH(bool, byUser);
        QFETCH(bool, options);
        QFETCH(QString, minutes);
        QFETCH(QByteArray, expected);
        FrmSessionStart w(*m_db);
        fill(w, QStringLiteral("PC1"), QString(), member);
        w.pickOnline();
        w.memberEntered();
        if (member.isEmpty()) {
            child<QComboBox>(w, "cmbcategory")->setEditText(QStringLiteral("Std"));
        }
        auto* inClient = child<QCheckBox>(w, "chkoptionsinclient");
        if (byUser) {
            child<QCheckBox>(w, "chkpassword")->setChecked(true);
            QVERIFY(inClient->isChecked());
        }
        if (options) {
            inClient->setChecked(true);
        }
        if (!minutes.isEmpty()) {
            autoLogout(w, minutes);
        }
        start(w);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        // One send per message, in order, on the workstation's own connection.
        QByteArray joined;
        for (const auto& [index, bytes] : m_link->sent()) {
            QCOMPARE(index, m_agent);
            joined += bytes;
        }
        QCOMPARE(joined, expected);
        QCOMPARE(m_link->received(m_agent, int(expected.size())), expected);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM online WHERE name = 'PC1'"))
                     .toLongLong(),
                 0);
    }

    void normalRow()
    {
        FrmSessionStart w(*m_db);
        fill(w, QStringLiteral("PC1"), QString(), QStringLiteral("M1"));
        w.pickOnline();
        w.memberEntered();
        QCOMPARE(child<QComboBox>(w, "cmbcategory")->currentText(), QStringLiteral("Night"));
        child<QLineEdit>(w, "txtPassword")->setText(QStringLiteral("Secret"));
        child<QLineEdit>(w, "txtamtr")->setText(QStringLiteral("12.5"));
        autoLogout(w, QStringLiteral("30"));
        child<QRadioButton>(w, "chkshutdown")->setChecked(true);
        start(w);

        const auto r = m_db->firstRow(QStringLiteral("SELECT * FROM terminals"));
        QVERIFY(r);
        QCOMPARE(Database::parseTime(r->value(QStringLiteral("sstart"))), T0);
        QCOMPARE(r->value(QStringLiteral("terminal")).toString(), QStringLiteral("PC1"));
        QCOMPARE(r->value(QStringLiteral("ip")).toString(), QStringLiteral("10.0.0.1"));
        QCOMPARE(r->value(QStringLiteral("cid")).toLongLong(), m_agent);
        QCOMPARE(r->value(QStringLiteral("maintains")).toInt(), 0);
        QCOMPARE(r->value(QStringLiteral("user")).toString(), QStringLiteral("Night"));
        QCOMPARE(Money::fromVariant(r->value(QStringLiteral("amtreceived"))).toString(),
                 QStringLiteral("12.5"));
        QCOMPARE(r->value(QStringLiteral("logout")).toInt(), 1);
        QCOMPARE(Money::fromVariant(r->value(QStringLiteral("logouttime"))), Money::fromWhole(30));
        QCOMPARE(r->value(QStringLiteral("logouttype")).toInt(), 2);
        QCOMPARE(r->value(QStringLiteral("memberid")).toString(), QStringLiteral("M1"));
        QCOMPARE(r->value(QStringLiteral("Password")).toString(), QStringLiteral("Secret"));
        QVERIFY(r->value(QStringLiteral("send")).isNull());
        QCOMPARE(r->value(QStringLiteral("AUTOLOGOUT")).toInt(), 0);
    }

    void maintenanceRow()
    {
        FrmSessionStart w(*m_db);
        child<QComboBox>(w, "cmbonline")->setEditText(QStringLiteral("PC1"));
        child<QCheckBox>(w, "chkautologout")->setChecked(true);
        child<QCheckBox>(w, "chkMaintains")->setChecked(true);
        child<QLineEdit>(w, "txtamtr")->setText(QStringLiteral("9"));
        start(w);
        const auto r = m_db->firstRow(QStringLiteral("SELECT * FROM terminals"));
        QVERIFY(r);
        QCOMPARE(r->value(QStringLiteral("user")).toString(), QStringLiteral("System Maintaining"));
        QCOMPARE(r->value(QStringLiteral("maintains")).toInt(), 1);
        QCOMPARE(Money::fromVariant(r->value(QStringLiteral("amtreceived"))), Money());
        QVERIFY(r->value(QStringLiteral("memberid")).isNull());
        QCOMPARE(r->value(QStringLiteral("logout")).toInt(), 0);
        const QByteArray started = Proto::SetTime + Proto::StartSession;
        QCOMPARE(m_link->received(m_agent, int(started.size())), started);
    }

    void memberPasswordRules()
    {
        FrmSessionStart w(*m_db);
        auto* member = child<QComboBox>(w, "cmbmemberid");
        auto* password = child<QLineEdit>(w, "txtPassword");
        auto* byUser = child<QCheckBox>(w, "chkpassword");
        const auto enter = [&](const QString& id) {
            member->setEditText(id);
            w.memberEntered();
        };

        enter(QStringLiteral("M1"));
        password->setText(QStringLiteral(" Secret "));
        w.passwordLeft(); // trimmed for this check
        QVERIFY(m_prompt->asked().isEmpty());
        password->setText(QStringLiteral("secret"));
        w.passwordLeft();
        QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("Invalid Password")});

        // Enter on an unknown id empties the box, and says so.
        m_prompt->clear();
        enter(QStringLiteral("NOBODY"));
        QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("Customer ID Not Found")});
        QCOMPARE(member->currentText(), QString());
        QCOMPARE(password->text(), QString());

        byUser->setEnabled(true);
        byUser->setChecked(true);
        enter(QString());
        QVERIFY(!byUser->isChecked());

        // The untrimmed comparison at Start is exact.
        child<QComboBox>(w, "cmbonline")->setEditText(QStringLiteral("PC1"));
        enter(QStringLiteral("M1"));
        password->setText(QStringLiteral("Secret "));
        startAsked(w, QStringLiteral("Password Missmatch"));
    }

    void memberTypedWithoutEnterIsLookedUp()
    {
        FrmSessionStart w(*m_db);
        auto* member = child<QComboBox>(w, "cmbmemberid");

        // A member with a password, typed and never entered: the password is still asked for.
        fill(w, QStringLiteral("PC1"), QStringLiteral("Std"), QStringLiteral("M1"));
        startAsked(w, QStringLiteral("Password Missmatch"));
        QCOMPARE(count(QStringLiteral("terminals")), 0);
        QCOMPARE(child<QComboBox>(w, "cmbcategory")->currentText(), QStringLiteral("Std"));

        // A mistyped id is refused, not started as a walk-in, and stays for correcting; the
        // service refuses it too. A missing workstation is still said first.
        member->setEditText(QStringLiteral("NOBODY"));
        startAsked(w, QStringLiteral("Customer ID Not Found"));
        QCOMPARE(member->currentText(), QStringLiteral("NOBODY"));
        QVERIFY(!SessionService(*m_db).start(w.request()).ok);
        QCOMPARE(count(QStringLiteral("terminals")), 0);
        QVERIFY(m_link->sent().isEmpty());
        auto* online = child<QComboBox>(w, "cmbonline");
        online->setEditText(QString());
        startAsked(w, QStringLiteral("Select the Ready Computer to Start Session"));

        // An empty id is a walk-in.
        online->setEditText(QStringLiteral("PC1"));
        member->setEditText(QString());
        startAsked(w, QStringLiteral("Start New session & Unlock System : PC1"));
        const auto r =
            m_db->firstRow(QStringLiteral("SELECT memberid, Password, \"user\" FROM terminals"));
        QVERIFY(r);
        QVERIFY(r->value(0).isNull());
        QVERIFY(r->value(1).isNull());
        QCOMPARE(r->value(2).toString(), QStringLiteral("Std"));
    }

    void consoleOwnRowSendsNothing()
    {
        FrmSessionStart w(*m_db);
        fill(w, QStringLiteral("VK Server"), QStringLiteral(" std "));
        autoLogout(w, QStringLiteral("30"));
        start(w);
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QVERIFY(m_link->sent().isEmpty());
        const auto r =
            m_db->firstRow(QStringLiteral("SELECT cid, terminal, \"user\" FROM terminals"));
        QVERIFY(r);
        QCOMPARE(r->value(0).toLongLong(), 0);
        QCOMPARE(r->value(1).toString(), QStringLiteral("VK Server"));
        // Stored as the tariff spells it, so the settlement finds its rates.
        QCOMPARE(r->value(2).toString(), QStringLiteral("Std"));
    }

    void lostConnectionKeepsTheSession()
    {
        m_link->dropAgent(m_agent);
        FrmSessionStart w(*m_db);
        fill(w, QStringLiteral("PC1"));
        start(w);
        QCOMPARE(m_prompt->lastText(), QStringLiteral("Request Computer Connection Not Found"));
        QVERIFY(w.result() != QDialog::Accepted);
        QCOMPARE(count(QStringLiteral("terminals")), 1);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT count(*) FROM online WHERE id = ?"), {m_agent})
                     .toLongLong(),
                 0);
        QVERIFY(!m_home->errorLog().isEmpty());
    }

private:
    std::unique_ptr<LoopbackAgentLink> m_link;
    qint64 m_agent = 0;
};

QTEST_MAIN(TestSessionStart)

#include "tst_sessionstart.moc"
