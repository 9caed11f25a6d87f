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
#include "support/testhome.h"
#include "tests/server/link/fakeagent.h"
#include "tests/server/link/linkconsole.h"

#include <QTest>

namespace {

const QByteArray Key = QByteArrayLiteral("9f3c2a7be41d08c6f5a2e9b17d03c4e8");

// The value between a valued message's opening token and its closing marker.
QByteArray valueOf(const QByteArray& data, const QByteArray& open, const QByteArray& close)
{
    const qsizetype a = data.indexOf(open);
    const qsizetype b = data.indexOf(close, a);
    return a < 0 || b < 0 ? QByteArray() : data.mid(a + open.size(), b - a - open.size());
}

// An agent that knows a key (maybe the wrong one) and proves it the way the real agent does.
struct KeyedAgent : FakeAgent
{
    QByteArray consoleNonce;
    QByteArray agentNonce;
    QByteArray proofSent;

    // The ends of this connection as the agent sees them.
    LinkAuth::Ends ends() const
    {
        return {socket.localAddress().toString(), socket.peerAddress().toString()};
    }

    bool prove(const QByteArray& key) { return prove(key, ends()); }
    bool prove(const QByteArray& key, const LinkAuth::Ends& ends)
    {
        if (!waitFor(Proto::LinkChallengeEnd)) {
            return false;
        }
        consoleNonce = valueOf(received, Proto::LinkChallenge, Proto::LinkChallengeEnd);
        agentNonce = LinkAuth::newNonce();
        proofSent =
            Proto::linkProof(agentNonce, LinkAuth::agentProof(key, consoleNonce, agentNonce, ends));
        received.clear();
        write(proofSent);
        return true;
    }
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
    void silentPeerIsSentAwayInTime();
    void recordedProofIsRefusedOnANewConnection();
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
    QVERIFY(a.connectFrom(QStringLiteral("127.0.0.2"), c.port()));
    QVERIFY(a.prove(Key));
    QVERIFY(a.waitFor(Proto::CName));
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
    QVERIFY(a.connectFrom(QStringLiteral("127.0.0.3"), c.port()));
    QVERIFY(a.waitFor(Proto::LinkChallengeEnd));
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
    QTest::addColumn<QByteArray>("sent");
    const QByteArray nonce = LinkAuth::newNonce();
    // Empty: a proof made by the test from the challenge, with another key or for other ends.
    QTest::newRow("wrong key") << QByteArray();
    QTest::newRow("right key, proof made for a relay's connection") << QByteArray();
    QTest::newRow("no key: talks as an open agent would")
        << (Proto::cnameReply(QStringLiteral("LAPTOP")) +
            Proto::checkPassword(QStringLiteral("x")) + Proto::Autologout);
    QTest::newRow("proof of the wrong form")
        << Proto::linkProof(nonce, QByteArrayLiteral("not-hex"));
    QTest::newRow("proof without its end marker")
        << (Proto::LinkProof + nonce + QByteArray(5000, 'a'));
}

void TstLinkKey::peerWithoutTheKeyGetsNothing()
{
    QFETCH(QByteArray, sent);
    LinkConsole c(Key);
    // A workstation in session at the laptop's address, its agent connected: nothing may touch
    // it, and the unproven connection does not take the address over.
    c.addSession(QStringLiteral("127.0.0.4"), 77, 0, 1, QStringLiteral("x"));
    KeyedAgent agent;
    QVERIFY(agent.connectFrom(QStringLiteral("127.0.0.4"), c.port()));
    QVERIFY(agent.prove(Key));
    QVERIFY(agent.waitFor(Proto::StartSession));
    const qint64 agentIndex = c.server.lastIndex();
    c.log.clear();
    KeyedAgent laptop;
    QVERIFY(laptop.connectFrom(QStringLiteral("127.0.0.4"), c.port()));
    if (sent.isEmpty() && QByteArray(QTest::currentDataTag()).contains("relay")) {
        // The agent that dialled the relay at 127.0.0.50 proves the ends it sees.
        QVERIFY(laptop.prove(Key, {QStringLiteral("127.0.0.52"), QStringLiteral("127.0.0.50")}));
    } else if (sent.isEmpty()) {
        QVERIFY(laptop.prove("guessed-key"));
    } else {
        QVERIFY(laptop.waitFor(Proto::LinkChallengeEnd));
        laptop.received.clear();
        laptop.write(sent);
    }
    QVERIFY(laptop.closedByConsole());
    QCOMPARE(laptop.received, QByteArray());
    QCOMPARE(c.onlineRows(), 0);
    QCOMPARE(c.db.scalar(QStringLiteral("SELECT cid FROM terminals")).toLongLong(), agentIndex);
    QCOMPARE(c.db.scalar(QStringLiteral("SELECT AUTOLOGOUT FROM terminals")).toInt(), 0);
    QTRY_COMPARE(c.server.connectionCount(), 1);
    QVERIFY(c.server.isConnected(agentIndex));
    QCOMPARE(agent.socket.state(), QAbstractSocket::ConnectedState);
    QVERIFY(c.home.errorLog().contains(QStringLiteral("objTCP_Authentication")));
    QVERIFY(c.home.errorLog().contains(QStringLiteral("127.0.0.4")));
    QVERIFY(!c.log.isEmpty());
    QVERIFY(c.log.first().startsWith(QStringLiteral("Authentication Failed. IP -127.0.0.4")));
    // The log never claims a connection it did not have.
    QVERIFY(!c.log.join(QLatin1Char('\n')).contains(QStringLiteral("Client Connection Closed")));
}

void TstLinkKey::silentPeerIsSentAwayInTime()
{
    LinkConsole c(Key);
    c.server.setProofTimeout(300);
    KeyedAgent idle;
    QVERIFY(idle.connectFrom(QStringLiteral("127.0.0.5"), c.port()));
    QVERIFY(idle.waitFor(Proto::LinkChallengeEnd));
    QVERIFY(idle.closedByConsole());
    QCOMPARE(c.onlineRows(), 0);
    QTRY_COMPARE(c.server.connectionCount(), 0);
    QVERIFY(c.home.errorLog().contains(QStringLiteral("in time")));
}

void TstLinkKey::recordedProofIsRefusedOnANewConnection()
{
    LinkConsole c(Key);
    KeyedAgent genuine;
    QVERIFY(genuine.connectFrom(QStringLiteral("127.0.0.6"), c.port()));
    QVERIFY(genuine.prove(Key));
    QVERIFY(genuine.waitFor(Proto::CName));
    const QByteArray recorded = genuine.proofSent;
    genuine.socket.disconnectFromHost();
    QTRY_COMPARE(c.onlineRows(), 0);

    // The replayer sends the recorded proof on its own connection: the console's nonce is new.
    KeyedAgent replayer;
    QVERIFY(replayer.connectFrom(QStringLiteral("127.0.0.6"), c.port()));
    QVERIFY(replayer.waitFor(Proto::LinkChallengeEnd));
    const QByteArray nonce =
        valueOf(replayer.received, Proto::LinkChallenge, Proto::LinkChallengeEnd);
    QVERIFY(nonce != genuine.consoleNonce);
    replayer.received.clear();
    replayer.write(recorded);
    QVERIFY(replayer.closedByConsole());
    QCOMPARE(replayer.received, QByteArray());
    QCOMPARE(c.onlineRows(), 0);
    QVERIFY(c.home.errorLog().contains(QStringLiteral("wrong proof")));
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
    QTest::newRow("a word and a year") << QByteArray("cafe2024") << false;
    QTest::newRow("a phrase") << QByteArray("Cafe key 2026 is long enough?") << false;
    QTest::newRow("31 hex digits") << QByteArray("9f3c2a7be41d08c6f5a2e9b17d03c4e") << false;
    QTest::newRow("32 hex digits of a pattern") << QByteArray(32, 'a') << false;
    QTest::newRow("hex word repeated") << QByteArray("cafe").repeated(8) << false;
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
    QVERIFY(a.connectFrom(QStringLiteral("127.0.0.9"), c.port()));
    if (accepted) {
        QVERIFY(a.prove(key));
        QVERIFY(a.waitFor(Proto::CName));
    } else {
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
    auto connectAgent = [&](const QString& ip) {
        auto a = std::make_unique<FakeAgent>();
        if (!a->connectFrom(ip, c.port()) || !a->waitFor(Proto::StartSession)) {
            return std::unique_ptr<FakeAgent>();
        }
        a->received.clear();
        return a;
    };
    auto check = [](FakeAgent& a, const QString& password) {
        a.received.clear();
        a.write(Proto::checkPassword(password));
        const QDeadlineTimer deadline(5000);
        while (a.received.isEmpty() && !deadline.hasExpired()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        }
        return a.received;
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
