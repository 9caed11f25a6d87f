// SPDX-License-Identifier: Apache-2.0
// Prepaid time from the lock screen to the bill: the console's own logic runs in the test (its
// database in a real file, its link on loopback, its clock the settable one), the real agent
// on a real X server (Xvfb with openbox) takes the ticket's code or the member's id and
// password as typed keys, and the money left afterwards is checked to the cent.

#include "client/core/agentcontroller.h"
#include "client/core/agentsettings.h"
#include "common/clock.h"
#include "server/core/database.h"
#include "server/link/connectionmanager.h"
#include "server/link/linkserver.h"
#include "server/prepaid/membercredit.h"
#include "server/prepaid/prepaidlink.h"
#include "server/prepaid/prepaidservice.h"
#include "server/prepaid/prepaidwatch.h"
#include "server/prepaid/ticketcodes.h"
#include "server/prepaid/ticketstore.h"
#include "server/prepaid/timeleft.h"
#include "server/sessions/charge.h"
#include "server/sessions/tariffstore.h"
#include "support/systemwait.h"
#include "support/x11agent.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <functional>
#include <memory>

using namespace Qt::StringLiterals;

namespace {

constexpr int StepMs = X11Agent::StepMs;
constexpr int Digits = 2;
const QString Category = u"Browsing"_s;
const QString MemberId = u"M-007"_s;
const QString MemberPassword = u"pw7"_s;

bool waitUntil(const std::function<bool()>& condition, int timeoutMs = StepMs)
{
    return SystemTest::waitUntil(condition, timeoutMs);
}

Money money(const char* text)
{
    return Money::parse(QString::fromLatin1(text));
}

} // namespace

class TstPrepaidX11 : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        const QString skip = XvfbSession::missingPrograms();
        if (!skip.isEmpty()) {
            QSKIP(qPrintable(skip));
        }
        const QString now = QDateTime::currentDateTime().toString(u"yyyy-MM-dd HH:mm:ss"_s);
        Clock::setFixed(QDateTime::fromString(now, u"yyyy-MM-dd HH:mm:ss"_s));

        // The console as it runs at the cafe: 0.30 a minute, and a member with nothing on account.
        QVERIFY(m_db.open(m_dir.filePath(u"server.db"_s)));
        m_tariff.chargebyminute = true;
        m_rows = {{Money::fromWhole(1), money("0.30"), {}, {}, money("0.30")},
                  {Money::fromWhole(60), Money::fromWhole(18), {}, {}, money("0.30")}};
        QVERIFY(TariffStore(m_db).save(Category, QString(), true, m_rows, m_tariff));
        QVERIFY(m_db.run(QStringLiteral("INSERT INTO members (memberid, Password, category, ob) "
                                        "VALUES (?, ?, ?, 0)"),
                         {MemberId, MemberPassword, Category}));
        m_manager = std::make_unique<ConnectionManager>(m_db, m_link);
        m_service = std::make_unique<PrepaidService>(m_db, Digits);
        m_prepaidLink = std::make_unique<PrepaidLink>(*m_service, m_link);
        m_manager->setPrepaidHandler(m_prepaidLink.get());
        m_watch = std::make_unique<PrepaidWatch>(*m_service, m_link);
        m_watch->start();
        QVERIFY(m_link.listen(0, QHostAddress::LocalHost));

        const QString failed = m_a.start(u"PC-X11"_s, m_link.serverPort());
        QVERIFY2(failed.isEmpty(), qPrintable(failed));
        // Connected and named: a free workstation on the console.
        QVERIFY2(waitUntil([this] {
                     return scalar(u"SELECT count(*) FROM online WHERE name = ?"_s,
                                   {u"PC-X11"_s}) == 1;
                 }),
                 qPrintable(m_a.output()));
        QVERIFY(m_a.waitState(u"keysLocked"_s, true));
    }

    void cleanupTestCase() { Clock::reset(); }

    void logInSpendAndLock_data()
    {
        QTest::addColumn<bool>("member");
        QTest::addColumn<QString>("credit"); // the ticket's value, or the member's top-up
        QTest::addColumn<qint64>("minutes"); // ticket: what its value buys; member: minutes used
        QTest::addColumn<QString>("wrong");  // a wrong code, or a wrong password, typed first
        QTest::newRow("ticket to its time up")
            << false << "10.00" << qint64(33) << "ACDE-FGHJ-KLMN";
        QTest::newRow("member logs off") << true << "5.00" << qint64(7) << "pw8";
    }

    void logInSpendAndLock()
    {
        QFETCH(bool, member);
        QFETCH(QString, credit);
        QFETCH(qint64, minutes);
        QFETCH(QString, wrong);
        const Money paid = Money::parse(credit);
        QString account = MemberId;
        if (member) {
            QString error;
            QVERIFY2(MemberCredit(m_db).topUp(MemberId, paid, &error), qPrintable(error));
        } else {
            TicketSale sale;
            sale.category = Category;
            sale.amount = paid;
            const TicketSaleResult sold = TicketStore(m_db, Digits).sell(sale);
            QVERIFY2(sold.ok && sold.tickets.size() == 1, qPrintable(sold.error));
            account = TicketCodes::grouped(sold.tickets.first().code);
            QCOMPARE(minutesBought(m_rows, m_tariff, paid, Digits), minutes);
        }
        const Money before = MemberCredit(m_db).balance(MemberId);
        const qint64 bought = minutesBought(m_rows, m_tariff, member ? before : paid, Digits);
        QVERIFY(waitUntil([this] { return m_a.lockScreenActive(); }));

        // Refused with the one text that tells a guesser nothing; the lock stays.
        QVERIFY(caption() != PrepaidService::NotAccepted);
        QVERIFY(typeLogin(member, member ? account : wrong, wrong,
                          [this] { return caption() == PrepaidService::NotAccepted; }));
        m_a.verifyStillLocked();

        // Accepted: unlocked, the time the credit buys counting down on the agent.
        QVERIFY(typeLogin(member, account, MemberPassword,
                          [this] { return state().value(u"prepaid"_s).toBool(); }));
        QVERIFY(m_a.waitState(u"sessionWindow"_s, true));
        QJsonObject s = state();
        QCOMPARE(s.value(u"keysLocked"_s).toBool(), false);
        QCOMPARE(s.value(u"prepaidCredit"_s).toString(), credit);
        const qint64 left = s.value(u"prepaidSecondsLeft"_s).toInteger();
        QVERIFY2(left > bought * 60 - 10 && left <= bought * 60, qPrintable(QString::number(left)));
        QVERIFY(waitUntil([this] { return !m_a.lockScreenActive(); }));
        const QList<PrepaidSession> running = m_service->running();
        QCOMPARE(running.size(), 1);
        const int logoffs = s.value(u"prepaidLogoffsSent"_s).toInt();

        if (member) {
            Clock::advance(minutes * 60);
            clickLogOff();
        } else {
            // Only the console's clock decides: at the time up its watch ends the session.
            QCOMPARE(running.first().timeup, running.first().sstart.addSecs(bought * 60));
            Clock::setFixed(running.first().timeup);
        }
        QVERIFY(m_a.waitState(u"prepaid"_s, false));
        m_a.verifyStillLocked();
        QCOMPARE(state().value(u"prepaidLogoffsSent"_s).toInt(), logoffs + int(member));
        QVERIFY(waitUntil([this] { return scalar(u"SELECT count(*) FROM online"_s) == 1; }));
        QCOMPARE(scalar(u"SELECT count(*) FROM terminals"_s), 0);

        // One bill, the price of the time used, taken from the credit and nothing more.
        const Money charge =
            calccharge(m_rows, m_tariff, minutes / 60, int(minutes % 60), 0).rounded(Digits);
        const QString bills = member ? u"memberid = ?"_s : u"ticket = ?"_s;
        const QString code = member ? MemberId : TicketCodes::normalise(account);
        const QVariantList key = {code};
        QCOMPARE(scalar(u"SELECT count(*) FROM history WHERE "_s + bills, key), 1);
        QCOMPARE(
            Money::fromVariant(m_db.scalar(u"SELECT netamount FROM history WHERE "_s + bills, key)),
            charge);
        if (member) {
            QCOMPARE(MemberCredit(m_db).balance(MemberId), before - charge);
        } else {
            QCOMPARE(TicketStore(m_db, Digits).find(code)->credit, paid - charge);
        }
    }

private:
    QJsonObject state() { return m_a.state(); }
    QString caption() { return state().value(u"caption"_s).toString(); }
    // Types the login into the lock screen's Log in area and presses Enter, again should the
    // keys have come before the focus settled, until the agent shows the console's answer.
    bool typeLogin(bool member, const QString& account, const QString& password,
                   const std::function<bool()>& answered);
    void clickLogOff()
    {
        // The button across the bottom of the session window.
        QString id;
        QVERIFY(waitUntil([&] {
            id = m_a.xdotool({u"search"_s, u"--onlyvisible"_s, u"--name"_s,
                              u'^' + AgentSettings::AppTitle + u'$'})
                     .section(u'\n', 0, 0);
            return !id.isEmpty();
        }));
        QTest::qWait(500); // placed once its frame is there
        const QString geometry = m_a.xdotool({u"getwindowgeometry"_s, u"--shell"_s, id});
        const QRegularExpressionMatch size =
            QRegularExpression(u"WIDTH=(\\d+)\\s+HEIGHT=(\\d+)"_s).match(geometry);
        QVERIFY2(size.hasMatch(), qPrintable(geometry));
        m_a.xdotool({u"mousemove"_s, u"--window"_s, id,
                     QString::number(size.captured(1).toInt() / 2),
                     QString::number(size.captured(2).toInt() - 20), u"click"_s, u"1"_s});
    }

    qint64 scalar(const QString& sql, const QVariantList& params = {})
    {
        return m_db.scalar(sql, params).toLongLong();
    }

    // The agent (with its X server) outlives the console, which goes first.
    X11Agent m_a;
    QTemporaryDir m_dir;
    Database m_db;
    LinkServer m_link;
    std::unique_ptr<ConnectionManager> m_manager;
    std::unique_ptr<PrepaidService> m_service;
    std::unique_ptr<PrepaidLink> m_prepaidLink;
    std::unique_ptr<PrepaidWatch> m_watch;
    QList<RateRow> m_rows;
    TariffSettings m_tariff;
};

bool TstPrepaidX11::typeLogin(bool member, const QString& account, const QString& password,
                              const std::function<bool()>& answered)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (member) {
            m_a.keys(u"alt+m alt+i ctrl+a"_s);
            m_a.type(account);
            m_a.keys(u"alt+w ctrl+a"_s);
            m_a.type(password);
        } else {
            m_a.keys(u"alt+t alt+c ctrl+a"_s);
            m_a.type(account);
        }
        m_a.key(u"Return"_s);
        if (waitUntil(answered, 4000)) {
            return true;
        }
    }
    return false;
}

QTEST_MAIN(TstPrepaidX11)
#include "tst_prepaid_x11.moc"
