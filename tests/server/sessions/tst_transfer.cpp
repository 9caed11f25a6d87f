// SPDX-License-Identifier: Apache-2.0
// Moving a running session to another workstation.

#include "common/clock.h"
#include "common/protocol.h"
#include "server/core/database.h"
#include "server/sessions/sessionservice.h"
#include "server/sessions/ui/frmsessiontran.h"
#include "support/consolefixture.h"
#include "support/loopbackagentlink.h"

#include <QComboBox>
#include <QLabel>
#include <QPushButton>
#include <QSqlRecord>
#include <QtTest>

namespace {

const QDateTime Start(QDate(2026, 7, 1), QTime(10, 15, 20));

} // namespace

class TestTransfer : public QObject, public ConsoleFixture
{
    Q_OBJECT

private:
    void addOnline(const QString& name, qint64 id)
    {
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO online (name, ip, id) VALUES (?, ?, ?)"),
                          {name, QStringLiteral("10.0.1.%1").arg(id), id}));
    }
    void start(const QString& name, int minutes = 0, bool maintenance = false, bool byUser = false)
    {
        Clock::setFixed(Start);
        StartRequest req;
        req.terminal = name;
        req.category = QStringLiteral("Std");
        req.amountReceived = QStringLiteral("15");
        req.memberId = QStringLiteral("M1");
        req.memberPassword = QStringLiteral("pw");
        req.typedPassword = QStringLiteral("pw");
        req.autoLogout = minutes > 0;
        req.autoLogoutMinutes = QString::number(minutes);
        req.closeAction = CloseAction::Restart;
        req.maintenance = maintenance;
        req.passwordByUser = byUser;
        req.optionsInClient = byUser;
        QVERIFY(SessionService(*m_db).start(req).ok);
    }
    void choose(FrmSessionTran& w, const QString& from, const QString& to)
    {
        w.findChild<QComboBox*>(QStringLiteral("cmbterminal"))->setEditText(from);
        w.pickSource();
        w.findChild<QComboBox*>(QStringLiteral("cmbonline"))->setEditText(to);
        w.pickDestination();
    }
    QString label(FrmSessionTran& w, int i)
    {
        return w.findChild<QLabel*>(QStringLiteral("lbltype(%1)").arg(i))->text();
    }

private Q_SLOTS:
    void init()
    {
        openConsole();
        QVERIFY(m_db->run(QStringLiteral("INSERT INTO user_category (\"user\") VALUES ('Std')")));
        QVERIFY(m_db->run(QStringLiteral(
            "INSERT INTO members (memberid, Password, category) VALUES ('M1', 'pw', 'Std')")));
        m_link = std::make_unique<LoopbackAgentLink>();
    }
    void cleanup()
    {
        m_link.reset();
        closeConsole();
    }

    void rowsSwappedMessagesInOrder_data()
    {
        QTest::addColumn<int>("minutes");
        QTest::addColumn<bool>("byUser");
        QTest::addColumn<QByteArrayList>("toDestination"); // one send each, in order
        const QByteArray time = "|SET_DATE_TIME:|2026-07-01 10:15:20|<TIME|";
        const QByteArray logout = "|AUTOLOGOUT_MIN| 30|<LOGOUTTIME|";
        QTest::newRow("automatic logout 30")
            << 30 << false << QByteArrayList{time, Proto::StartSession, logout};
        QTest::newRow("no automatic logout")
            << 0 << false << QByteArrayList{time, Proto::StartSession};
        // A session whose password was never given is not opened by moving it.
        QTest::newRow("password still awaited at the workstation")
            << 30 << true << QByteArrayList{time, logout, Proto::ShowOptionsWithPassword};
    }
    void rowsSwappedMessagesInOrder()
    {
        QFETCH(int, minutes);
        QFETCH(bool, byUser);
        QFETCH(QByteArrayList, toDestination);
        const qint64 a = m_link->connectAgent();
        const qint64 b = m_link->connectAgent();
        addOnline(QStringLiteral("pc1"), a);
        addOnline(QStringLiteral("PC2"), b);
        start(QStringLiteral("pc1"), minutes, false, byUser);

        Clock::setFixed(QDateTime(Start.date(), QTime(11, 20, 5)));
        FrmSessionTran w(*m_db);
        choose(w, QStringLiteral("pc1 "), QStringLiteral("PC2"));
        QCOMPARE(label(w, 4), QStringLiteral(" 1: 4: 45"));

        m_prompt->answerNext(Prompt::Answer::Yes);
        w.findChild<QPushButton*>(QStringLiteral("cmdtransfer"))->click();
        QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("Transfer ?")});
        QCOMPARE(w.result(), int(QDialog::Accepted));

        QList<QPair<qint64, QByteArray>> expected;
        for (const QByteArray& m : toDestination) {
            expected.append({b, m});
        }
        expected.append({a, Proto::EndSession});
        QCOMPARE(m_link->sent(), expected);
        QCOMPARE(m_link->received(b, int(toDestination.join().size())), toDestination.join());
        QCOMPARE(m_link->received(a, int(Proto::EndSession.size())), Proto::EndSession);

        const auto s = m_db->firstRow(QStringLiteral("SELECT * FROM terminals"));
        QVERIFY(s);
        QCOMPARE(s->value(QStringLiteral("terminal")).toString(), QStringLiteral("PC2"));
        QCOMPARE(s->value(QStringLiteral("ip")).toString(), QStringLiteral("10.0.1.2"));
        QCOMPARE(s->value(QStringLiteral("cid")).toLongLong(), b);
        QCOMPARE(Database::parseTime(s->value(QStringLiteral("sstart"))), Start);
        QCOMPARE(s->value(QStringLiteral("user")).toString(), QStringLiteral("Std"));
        QCOMPARE(Money::fromVariant(s->value(QStringLiteral("amtreceived"))), Money::fromWhole(15));
        QCOMPARE(s->value(QStringLiteral("memberid")).toString(), QStringLiteral("M1"));
        QCOMPARE(s->value(QStringLiteral("Password")).toString(), QStringLiteral("pw"));
        QCOMPARE(int(s->value(QStringLiteral("logouttime")).toDouble()), minutes);
        QCOMPARE(s->value(QStringLiteral("logouttype")).toInt(), 3);
        QCOMPARE(s->value(QStringLiteral("passwordwait")).toInt(), byUser ? 1 : 0);
        const auto o = m_db->rows(QStringLiteral("SELECT name, ip, id FROM online"));
        QCOMPARE(o.size(), 1);
        QCOMPARE(o[0].value(0).toString(), QStringLiteral("pc1"));
        QCOMPARE(o[0].value(2).toLongLong(), a);
    }

    void keyboardAlone()
    {
        const qint64 a = m_link->connectAgent();
        const qint64 b = m_link->connectAgent();
        addOnline(QStringLiteral("pc1"), a);
        addOnline(QStringLiteral("PC2"), b);
        start(QStringLiteral("pc1"));
        FrmSessionTran w(*m_db);
        w.show();
        QVERIFY(QTest::qWaitForWindowActive(&w));
        typeKeys(QStringLiteral("pc1"));
        pressKey(Qt::Key_Return);
        typeKeys(QStringLiteral("PC2"));
        pressKey(Qt::Key_Return);
        m_prompt->answerNext(Prompt::Answer::Yes);
        pressKey(Qt::Key_Return);
        QCOMPARE(m_prompt->texts(), QStringList{QStringLiteral("Transfer ?")});
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT terminal FROM terminals")).toString(),
                 QStringLiteral("PC2"));
    }

    void consoleOwnRowHearsNothing()
    {
        const qint64 a = m_link->connectAgent();
        addOnline(QStringLiteral("VK Server"), 0);
        addOnline(QStringLiteral("PC1"), a);
        start(QStringLiteral("PC1"), 30);
        const qint64 before = m_link->sent().size();

        FrmSessionTran w(*m_db);
        choose(w, QStringLiteral("PC1"), QStringLiteral("VK Server"));
        m_prompt->answerNext(Prompt::Answer::Yes);
        w.findChild<QPushButton*>(QStringLiteral("cmdtransfer"))->click();
        QCOMPARE(m_link->sent().mid(before),
                 (QList<QPair<qint64, QByteArray>>{{a, Proto::EndSession}}));

        // And back again: nothing goes to the console's own computer as the source.
        const qint64 mark = m_link->sent().size();
        FrmSessionTran back(*m_db);
        choose(back, QStringLiteral("VK Server"), QStringLiteral("PC1"));
        m_prompt->answerNext(Prompt::Answer::Yes);
        back.findChild<QPushButton*>(QStringLiteral("cmdtransfer"))->click();
        const auto sent = m_link->sent().mid(mark);
        QCOMPARE(sent.size(), 3);
        for (const auto& [index, bytes] : sent) {
            QCOMPARE(index, a);
        }
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT id FROM online")).toLongLong(), 0);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT cid FROM terminals")).toLongLong(), a);
    }

    void maintenanceIsRefused()
    {
        addOnline(QStringLiteral("PC1"), 1);
        addOnline(QStringLiteral("PC2"), 2);
        start(QStringLiteral("PC1"), 0, true);
        FrmSessionTran w(*m_db);
        auto* from = w.findChild<QComboBox*>(QStringLiteral("cmbterminal"));
        from->setEditText(QStringLiteral("PC1"));
        w.pickSource();
        QCOMPARE(m_prompt->texts(),
                 QStringList{QStringLiteral("Can't be Transfered while Maintain the Client")});
        QCOMPARE(from->currentText(), QString());

        // The service refuses it as well, whoever calls it.
        SessionService service(*m_db);
        const auto row = service.findSession(QStringLiteral("PC1"));
        QVERIFY(row);
        const TransferResult r = service.transfer(row->rowid, QStringLiteral("PC2"));
        QVERIFY(!r.ok);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT terminal FROM terminals")).toString(),
                 QStringLiteral("PC1"));
        QCOMPARE(count(QStringLiteral("online")), 1);
    }

    void guards()
    {
        addOnline(QStringLiteral("PC1"), 1);
        addOnline(QStringLiteral("PC2"), 2);
        start(QStringLiteral("PC1"));
        FrmSessionTran w(*m_db);
        w.transferClicked();
        w.findChild<QComboBox*>(QStringLiteral("cmbterminal"))->setEditText(QStringLiteral("PC1"));
        w.transferClicked();
        w.findChild<QComboBox*>(QStringLiteral("cmbonline"))->setEditText(QStringLiteral("PC2"));
        m_prompt->answerNext(Prompt::Answer::No);
        w.transferClicked();
        QCOMPARE(m_prompt->texts(),
                 (QStringList{QStringLiteral("Select Working Terminal First"),
                              QStringLiteral("Select Destination terminal to start"),
                              QStringLiteral("Transfer ?")}));
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT terminal FROM terminals")).toString(),
                 QStringLiteral("PC1"));
    }

    void lostDestinationStillMovesTheSession()
    {
        // The tables are changed before the messages go out; a failed send is logged only.
        addOnline(QStringLiteral("PC1"), 7);
        addOnline(QStringLiteral("PC2"), 8);
        start(QStringLiteral("PC1"));
        FrmSessionTran w(*m_db);
        choose(w, QStringLiteral("PC1"), QStringLiteral("PC2"));
        m_prompt->answerNext(Prompt::Answer::Yes);
        w.findChild<QPushButton*>(QStringLiteral("cmdtransfer"))->click();
        QCOMPARE(w.result(), int(QDialog::Accepted));
        QCOMPARE(m_link->sent().size(), 3);
        QCOMPARE(m_db->scalar(QStringLiteral("SELECT terminal FROM terminals")).toString(),
                 QStringLiteral("PC2"));
        QVERIFY(m_home->errorLog().contains(SessionService::TransferLabel));
    }

private:
    std::unique_ptr<LoopbackAgentLink> m_link;
};

QTEST_MAIN(TestTransfer)

#include "tst_transfer.moc"
