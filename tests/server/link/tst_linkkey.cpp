// SPDX-License-Identifier: Apache-2.0
// The console's side of the link key: who gets a row in `online`, who is told anything, and
// the per-workstation hold on session-password guessing.
#include "common/clock.h"
#include "common/linkauth.h"
#include "common/protocol.h"
#include "platform/socketoptions.h"
#include "server/core/database.h"
#include "server/link/connectionmanager.h"
#include "server/link/linkserver.h"
#include "support/datarow.h"
#include "support/testhome.h"
#include "tests/server/link/linkconsole.h"

#include <QTest>

namespace {

const QByteArray Key = QByteArrayLiteral("9f3c2a7be41d08c6f5a2e9b17d03c4e8");

// How a peer without the key tries its luck.
enum class Try
{
    WrongKey,
    RelayEnds, // the right key, proving the ends of another connection
    Sends,     // the bytes of the row
    Silent,
    Replays, // the proof the workstation's agent sent
};

} // namespace

class TstLinkKey : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void rightKeyIsProvenBothWaysThenLinkIsAsBefore();
    void sessionIsResumedOnlyAfterTheProof();
    void peerWithoutTheKeyGetsNothing_data();
    void peerWithoutTheKeyGetsNothing();
    void proofsNameTheirSide();
    void onlyKeysBeyondGuessingOpenTheLink_data();
    void onlyKeysBeyondGuessingOpenTheLink();
    void passwordGuessingIsHeldBackPerWorkstation();
    void cleanup() { Clock::reset(); }
};

void TstLinkKey::rightKeyIsProvenBothWaysThenLinkIsAsBefore()
{
    LinkConsole c(Key);
    KeyedAgent a;
    QVERIFY(a.linked(QStringLiteral("127.0.0.2"), c.port(), Key, Proto::CName));
    // First the console's proof over both nonces, then what an open link would have sent.
    const QByteArray answer = valueOf(a.received, Proto::LinkAnswer, Proto::LinkAnswerEnd);
    QVERIFY(LinkAuth::sameProof(
        answer, LinkAuth::consoleProof(Key, a.consoleNonce, a.agentNonce, a.ends())));
    // The accepted socket probes a peer that goes quiet, so a dead workstation is noticed.
    QCOMPARE(SocketOptions::keepAlive(c.server.socketDescriptor(c.server.lastIndex())),
             SocketOptions::KeepAlive{});
    QVERIFY(a.received.endsWith(Proto::Lock + Proto::CName));
    QCOMPARE(c.onlineRows(), 1);
    QVERIFY(c.log.contains(QStringLiteral("Authentication Sucess.")));
    a.write(Proto::cnameReply(QStringLiteral("PC-02")));
    QTRY_COMPARE(c.db.scalar(QStringLiteral("SELECT name FROM online")).toString(),
                 QStringLiteral("PC-02"));
    QVERIFY(c.home.errorLog().isEmpty());
}

void TstLinkKey::sessionIsResumedOnlyAfterTheProof()
{
    LinkConsole c(Key);
    c.addSession(QStringLiteral("127.0.0.3"), 77, 0, 1, QString());
    KeyedAgent a;
    QVERIFY(a.greeted(QStringLiteral("127.0.0.3"), c.port(), Proto::LinkChallengeEnd));
    FakeAgent::settle(200);
    // Before the proof the session is neither resumed nor moved to this connection.
    QVERIFY(!a.received.contains(Proto::StartSession));
    QCOMPARE(c.db.scalar(QStringLiteral("SELECT cid FROM terminals")).toLongLong(), 77);
    QVERIFY(!c.server.isConnected(c.server.lastIndex()));
    QVERIFY(!c.server.send(c.server.lastIndex(), Proto::Unlock));
    QVERIFY(a.prove(Key));
    QVERIFY(a.waitFor(Proto::StartSession));
    QCOMPARE(c.db.scalar(QStringLiteral("SELECT cid FROM terminals")).toLongLong(),
             c.server.lastIndex());
}

void TstLinkKey::peerWithoutTheKeyGetsNothing_data()
{
    QTest::addColumn<Try>("how");
    QTest::addColumn<QByteArray>("sent");
    QTest::addColumn<QString>("logged"); // why the error log says it was refused
    const QByteArray nonce = LinkAuth::newNonce();
    const QString any;
    dataRow("wrong key", Try::WrongKey, QByteArray(), any);
    dataRow("right key, proof made for a relay's connection", Try::RelayEnds, QByteArray(), any);
    dataRow("no key: talks as an open agent would", Try::Sends,
            Proto::cnameReply(QStringLiteral("LAPTOP")) +
                Proto::checkPassword(QStringLiteral("x")) + Proto::Autologout,
            any);
    dataRow("proof of the wrong form", Try::Sends,
            Proto::linkProof(nonce, QByteArrayLiteral("not-hex")), any);
    dataRow("proof without its end marker", Try::Sends,
            Proto::LinkProof + nonce + QByteArray(5000, 'a'), any);
    dataRow("silent until sent away", Try::Silent, QByteArray(), QStringLiteral("in time"));
    dataRow("the agent's proof replayed on a new connection", Try::Replays, QByteArray(),
            QStringLiteral("wrong proof"));
}

void TstLinkKey::peerWithoutTheKeyGetsNothing()
{
    QFETCH(Try, how);
    QFETCH(QByteArray, sent);
    QFETCH(QString, logged);
    LinkConsole c(Key);
    // A workstation in session at the laptop's address, its agent connected: nothing may touch
    // it, and the unproven connection does not take the address over.
    c.addSession(QStringLiteral("127.0.0.4"), 77, 0, 1, QStringLiteral("x"));
    KeyedAgent agent;
    QVERIFY(agent.linked(QStringLiteral("127.0.0.4"), c.port(), Key, Proto::StartSession));
    const qint64 agentIndex = c.server.lastIndex();
    c.log.clear();
    if (how == Try::Silent) {
        c.server.setProofTimeout(300);
    }
    KeyedAgent laptop;
    QVERIFY(laptop.greeted(QStringLiteral("127.0.0.4"), c.port(), Proto::LinkChallengeEnd));
    switch (how) {
    case Try::WrongKey:
        QVERIFY(laptop.prove("guessed-key"));
        break;
    case Try::RelayEnds:
        // The agent that dialled the relay at 127.0.0.50 proves the ends it sees.
        QVERIFY(laptop.prove(Key, {QStringLiteral("127.0.0.52"), QStringLiteral("127.0.0.50")}));
        break;
    case Try::Replays:
        // The console's nonce is new on every connection.
        QVERIFY(valueOf(laptop.received, Proto::LinkChallenge, Proto::LinkChallengeEnd) !=
                agent.consoleNonce);
        sent = agent.proofSent;
        [[fallthrough]];
    case Try::Sends:
    case Try::Silent:
        laptop.received.clear();
        laptop.write(sent);
        break;
    }
    QVERIFY(laptop.closedByConsole());
    QCOMPARE(laptop.received, QByteArray());
    QCOMPARE(c.onlineRows(), 0);
    QCOMPARE(c.db.scalar(QStringLiteral("SELECT cid FROM terminals")).toLongLong(), agentIndex);
    QCOMPARE(c.db.scalar(QStringLiteral("SELECT AUTOLOGOUT FROM terminals")).toInt(), 0);
    QTRY_COMPARE(c.server.connectionCount(), 1);
    QVERIFY(c.server.isConnected(agentIndex));
    QCOMPARE(agent.socket.state(), QAbstractSocket::ConnectedState);
    const QString log = c.home.errorLog();
    QVERIFY2(log.contains(QStringLiteral("objTCP_Authentication")) &&
                 log.contains(QStringLiteral("127.0.0.4")) && log.contains(logged),
             qPrintable(log));
    QVERIFY(!c.log.isEmpty());
    QVERIFY(c.log.first().startsWith(QStringLiteral("Authentication Failed. IP -127.0.0.4")));
    // The log never claims a connection it did not have.
    QVERIFY(!c.log.join(QLatin1Char('\n')).contains(QStringLiteral("Client Connection Closed")));
}

void TstLinkKey::proofsNameTheirSide()
{
    // The console's proof can never be passed off as an agent's (or the other way round), and
    // each proof depends on both nonces and on the key.
    const QByteArray n1 = LinkAuth::newNonce();
    const QByteArray n2 = LinkAuth::newNonce();
    QVERIFY(n1 != n2);
    QVERIFY(LinkAuth::isNonce(n1));
    const LinkAuth::Ends e{QStringLiteral("10.0.0.7"), QStringLiteral("10.0.0.1")};
    const QByteArray proof = LinkAuth::agentProof(Key, n1, n2, e);
    QVERIFY(proof != LinkAuth::consoleProof(Key, n1, n2, e));
    QVERIFY(proof != LinkAuth::agentProof(Key, n2, n1, e));
    QVERIFY(proof != LinkAuth::agentProof("other", n1, n2, e));
    QVERIFY(proof != LinkAuth::agentProof(Key, n1, n2, {e.console, e.agent}));
    QVERIFY(proof != LinkAuth::agentProof(Key, n1, n2, {QStringLiteral("10.0.0.70"), e.console}));
    QVERIFY(LinkAuth::sameProof(proof, LinkAuth::agentProof(Key, n1, n2, e)));
    QVERIFY(!LinkAuth::sameProof(QByteArray(), QByteArray()));
    // A key set as blanks, or not set at all, is no key; blanks around a key do not count.
    QVERIFY(LinkAuth::keyFromSetting(QStringLiteral("Error")).isEmpty());
    QVERIFY(LinkAuth::keyFromSetting(QStringLiteral("   ")).isEmpty());
    QCOMPARE(LinkAuth::keyFromSetting(QStringLiteral(" ") + QString::fromLatin1(Key) + u' '), Key);
}

void TstLinkKey::onlyKeysBeyondGuessingOpenTheLink_data()
{
    QTest::addColumn<QByteArray>("key");
    QTest::addColumn<bool>("accepted");
    QTest::newRow("a phrase") << QByteArray("Cafe key 2026 is long enough?") << false;
    QTest::newRow("31 hex digits") << QByteArray("9f3c2a7be41d08c6f5a2e9b17d03c4e") << false;
    QTest::newRow("32 hex digits of a pattern") << QByteArray(32, 'a') << false;
    QTest::newRow("32 hex digits") << Key << true;
    QTest::newRow("64 generated hex digits") << LinkAuth::generateKey() << true;
    QTest::newRow("upper-case hex") << Key.toUpper() << true;
    QTest::newRow("26 base32 letters") << QByteArray("MZXW6YTBOI2FK3LQNRSXE5DUPB") << true;
    QTest::newRow("22 base64 characters, padded") << QByteArray("n8Kq2w+Z7bT0yXv4LmR1dA==") << true;
    QTest::newRow("21 base64 characters") << QByteArray("n8Kq2w-Z7bT0yXv4LmR1d") << false;
}

void TstLinkKey::onlyKeysBeyondGuessingOpenTheLink()
{
    QFETCH(QByteArray, key);
    QFETCH(bool, accepted);
    QCOMPARE(LinkAuth::keyWeakness(key).isEmpty(), accepted);
    // A refused key is no reason to drop the key: every peer is refused, challenged by no one.
    LinkConsole c(key);
    KeyedAgent a;
    if (accepted) {
        QVERIFY(a.linked(QStringLiteral("127.0.0.9"), c.port(), key, Proto::CName));
    } else {
        QVERIFY(a.connectFrom(QStringLiteral("127.0.0.9"), c.port()));
        QVERIFY(a.closedByConsole());
        QCOMPARE(a.received, QByteArray());
        QCOMPARE(c.onlineRows(), 0);
        QVERIFY(c.home.errorLog().contains(QStringLiteral("link key set on this console")));
    }
}

void TstLinkKey::passwordGuessingIsHeldBackPerWorkstation()
{
    Clock::setFixed(QDateTime(QDate(2026, 12, 6), QTime(12, 0)));
    LinkConsole c; // the hold applies with or without a key
    c.addSession(QStringLiteral("127.0.0.7"), 77, 0, 1, QStringLiteral("right"));
    c.addSession(QStringLiteral("127.0.0.8"), 77, 0, 1, QStringLiteral("other"));
    c.db.run(QStringLiteral("UPDATE terminals SET cid = 78 WHERE ip = '127.0.0.8'"));
    const auto connectAgent = [&](const QString& ip) {
        auto a = std::make_unique<FakeAgent>();
        return a->greeted(ip, c.port(), Proto::StartSession) ? std::move(a) : nullptr;
    };
    const auto check = [](FakeAgent& a, const QString& password) {
        return a.ask(Proto::checkPassword(password));
    };
    auto a = connectAgent(QStringLiteral("127.0.0.7"));
    QVERIFY(a);
    // Wrong passwords below the limit cost nothing: the right one still opens.
    for (int i = 0; i < PasswordThrottle::FreeAttempts - 1; ++i) {
        QCOMPARE(check(*a, QStringLiteral("guess")), Proto::PasswordNotValid);
    }
    QCOMPARE(check(*a, QStringLiteral("right")), Proto::StartSession);
    // A right password starts the count afresh; the limit's wrong password shuts checks out.
    for (int i = 0; i < PasswordThrottle::FreeAttempts; ++i) {
        QCOMPARE(check(*a, QStringLiteral("guess")), Proto::PasswordNotValid);
    }
    QVERIFY(c.log.last().startsWith(
        QStringLiteral("Too many wrong session passwords from IP -127.0.0.7")));
    QCOMPARE(check(*a, QStringLiteral("right")), Proto::PasswordNotValid);
    // Reconnecting does not wipe the count.
    a.reset();
    QTRY_COMPARE(c.server.connectionCount(), 0);
    a = connectAgent(QStringLiteral("127.0.0.7"));
    QVERIFY(a);
    QCOMPARE(check(*a, QStringLiteral("right")), Proto::PasswordNotValid);
    // Another workstation is not held back by this one's guessing.
    auto b = connectAgent(QStringLiteral("127.0.0.8"));
    QVERIFY(b);
    QCOMPARE(check(*b, QStringLiteral("other")), Proto::StartSession);
    // After the delay the right password works.
    Clock::advance(PasswordThrottle::FirstDelaySeconds);
    QCOMPARE(check(*a, QStringLiteral("right")), Proto::StartSession);
    // Guessing on after the limit makes each delay twice as long as the one before.
    for (int i = 0; i < PasswordThrottle::FreeAttempts; ++i) {
        QCOMPARE(check(*a, QStringLiteral("guess")), Proto::PasswordNotValid);
    }
    Clock::advance(PasswordThrottle::FirstDelaySeconds);
    QCOMPARE(check(*a, QStringLiteral("guess")), Proto::PasswordNotValid);
    Clock::advance(PasswordThrottle::FirstDelaySeconds * 2 - 1);
    QCOMPARE(check(*a, QStringLiteral("right")), Proto::PasswordNotValid);
    Clock::advance(1);
    QCOMPARE(check(*a, QStringLiteral("right")), Proto::StartSession);
}

QTEST_GUILESS_MAIN(TstLinkKey)
#include "tst_linkkey.moc"
