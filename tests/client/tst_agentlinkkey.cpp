// SPDX-License-Identifier: Apache-2.0
// The agent's side of the link key: a console that cannot prove the key gets no command obeyed
// and hears nothing from the workstation.
#include "client/core/agentcontroller.h"
#include "common/linkauth.h"
#include "common/protocol.h"
#include "platform/socketoptions.h"
#include "support/agentfixture.h"
#include "support/agentprocess.h"

#include <QtTest>

using namespace Qt::StringLiterals;

namespace {

const QByteArray Key = QByteArrayLiteral("9f3c2a7be41d08c6f5a2e9b17d03c4e8");
// Agent and test console both on 127.0.0.1: the ends a direct connection's proofs cover.
const LinkAuth::Ends Direct{u"127.0.0.1"_s, u"127.0.0.1"_s};

QByteArray valueOf(const QByteArray& data, const QByteArray& open, const QByteArray& close)
{
    const qsizetype a = data.indexOf(open);
    const qsizetype b = data.indexOf(close, a);
    return a < 0 || b < 0 ? QByteArray() : data.mid(a + open.size(), b - a - open.size());
}

// The agent's nonce and proof from what it sent.
bool agentProofOf(const QByteArray& received, QByteArray* nonce, QByteArray* proof)
{
    return LinkAuth::splitProof(
        QString::fromLatin1(valueOf(received, Proto::LinkProof, Proto::LinkProofEnd)), nonce,
        proof);
}

} // namespace

class TstAgentLinkKey : public QObject, public AgentFixture
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { keepPowerOff(); }
    void init()
    {
        openAgentHome();
        m_settings->write(RegKey::Server, u"linkkey"_s, QString::fromUtf8(Key));
        m_console = std::make_unique<AgentTestConsole>();
    }

    void cleanup()
    {
        m_console.reset();
        closeAgentHome();
    }

    void rightKeyOpensTheLinkWithTheFirstCommands()
    {
        auto c = startAgent();
        QVERIFY(c);
        QVERIFY(console().waitForAgent());
        // The console's proof and its session start in one arrival.
        QVERIFY(!handshake(Proto::SetTime + Proto::StartSession).isEmpty());
        QTRY_VERIFY(c->state().sessionWindowLoaded);
        QVERIFY(c->state().linkProven);
        QVERIFY(!c->state().keysLocked);
        // From now on the agent talks as on an open link.
        console().clearReceived();
        console().send(Proto::CName);
        QVERIFY(console().waitFor(Proto::CNameReplyEnd));
        QVERIFY(m_home->errorLog().isEmpty());
    }

    void fakeConsoleCannotUnlock_data()
    {
        QTest::addColumn<QString>("how");
        QTest::newRow("no key: commands at once") << u"nokey"_s;
        // A relay the agent dialled passes on the real console's proof, made for the relay's own
        // connection to it: a wrong proof though made with the right key.
        QTest::newRow("proof relayed from another connection") << u"relayed"_s;
        QTest::newRow("answer without a challenge") << u"noChallenge"_s;
        QTest::newRow("challenge, then commands without an answer") << u"noAnswer"_s;
    }

    void fakeConsoleCannotUnlock()
    {
        QFETCH(QString, how);
        auto c = startAgent();
        QVERIFY(c);
        QVERIFY(console().waitForAgent());
        const QByteArray commands = Proto::Unlock + Proto::SetTime + Proto::StartSession;
        if (how == u"nokey"_s) {
            console().send(Proto::Lock + Proto::CName + commands);
        } else if (how == u"relayed"_s) {
            const QByteArray nonce = LinkAuth::newNonce();
            console().send(Proto::linkChallenge(nonce));
            QVERIFY(console().waitFor(Proto::LinkProofEnd));
            QByteArray agentNonce;
            QByteArray proof;
            QVERIFY(agentProofOf(console().received(), &agentNonce, &proof));
            const QByteArray answer =
                LinkAuth::consoleProof(Key, nonce, agentNonce, {u"127.0.0.51"_s, u"127.0.0.1"_s});
            console().send(Proto::linkAnswer(answer) + commands);
        } else if (how == u"noChallenge"_s) {
            console().send(Proto::linkAnswer(QByteArray(64, 'a')) + commands);
        } else {
            console().send(Proto::linkChallenge(LinkAuth::newNonce()));
            QVERIFY(console().waitFor(Proto::LinkProofEnd));
            console().send(Proto::StartSession);
        }
        // The agent hangs up and tries again later; meanwhile the workstation stays locked.
        QTRY_COMPARE(console().connections(), 2);
        verifyStillLocked(*c);
        QVERIFY(m_home->errorLog().contains(u"TCP_Authentication"_s));
        // Nothing but its proof left the agent: no name, no password, no logout.
        QVERIFY(!console().received().contains(Proto::CNameReply));
    }

    void replayedConsoleProofIsRefused()
    {
        auto c = startAgent();
        QVERIFY(c);
        QVERIFY(console().waitForAgent());
        // A genuine exchange, recorded by someone on the cafe's network.
        QByteArray recordedAnswer;
        const QByteArray recordedChallenge = handshake(Proto::Lock, &recordedAnswer);
        QVERIFY(!recordedChallenge.isEmpty());
        QTRY_VERIFY(c->state().linkProven);

        // The recorder poses as the console on the agent's next connection and plays it back.
        const quint16 port = console().port();
        console().stop();
        QVERIFY(console().listen(port));
        QTRY_COMPARE(console().connections(), 2);
        QVERIFY(console().waitForAgent());
        QVERIFY(!c->state().linkProven);
        console().send(Proto::linkChallenge(recordedChallenge));
        QVERIFY(console().waitFor(Proto::LinkProofEnd));
        console().send(recordedAnswer + Proto::Unlock + Proto::StartSession);
        QTRY_COMPARE(console().connections(), 3);
        verifyStillLocked(*c);
        QVERIFY(m_home->errorLog().contains(u"wrong proof"_s));
    }

    void nothingIsSentBeforeTheConsoleIsProven()
    {
        auto c = startAgent();
        QVERIFY(c);
        QVERIFY(console().waitForAgent());
        QTRY_VERIFY(c->state().linkUp);
        // A customer's password at the lock screen, a logout notice: neither goes out yet.
        QVERIFY(!c->send(Proto::checkPassword(u"pw"_s)));
        QVERIFY(!c->send(Proto::Autologout));
        console().send(Proto::linkChallenge(LinkAuth::newNonce()));
        QVERIFY(console().waitFor(Proto::LinkProofEnd));
        QVERIFY(!c->send(Proto::Autologout));
        QTest::qWait(100);
        QVERIFY(!console().received().contains(Proto::CheckPassword));
        QVERIFY(!console().received().contains(Proto::Autologout));
    }

    void weakKeyDialsNoConsole()
    {
        // A key that falls to guessing is no protection, and dropping it would open the agent to
        // any console: the agent stays locked and says why, in its log and its connection window.
        m_settings->write(RegKey::Server, u"linkkey"_s, u"cafe2024"_s);
        auto c = startAgent();
        QVERIFY(c);
        QTRY_VERIFY(c->state().dialogVisible);
        QVERIFY(c->state().status.contains(u"link key is refused"_s));
        QVERIFY(!console().waitForAgent(1500));
        QCOMPARE(console().connections(), 0);
        verifyStillLocked(*c);
        QCOMPARE(m_home->errorLog().count(u"link key is refused"_s), 1);
    }

    void dialledLinkProbesAnIdleConsole()
    {
        auto c = startAgent();
        QVERIFY(c);
        QVERIFY(console().waitForAgent());
        QTRY_VERIFY(c->state().linkUp);
        QCOMPARE(SocketOptions::keepAlive(c->linkDescriptor()), SocketOptions::KeepAlive{});
    }

private:
    AgentTestConsole& console() { return *m_console; }

    // A locked agent connecting to the test console (null when the console cannot listen).
    std::unique_ptr<AgentController> startAgent()
    {
        if (!console().listen()) {
            return nullptr;
        }
        auto c = std::make_unique<AgentController>(*m_settings);
        c->startLocked();
        c->setFields(u"127.0.0.1"_s, u"PC-03"_s, QString::number(console().port()));
        c->connectToServer(u"127.0.0.1"_s);
        return c;
    }

    // Plays a right-keyed console's part; returns the console's nonce.
    QByteArray handshake(const QByteArray& after, QByteArray* answerSent = nullptr)
    {
        const QByteArray nonce = LinkAuth::newNonce();
        console().send(Proto::linkChallenge(nonce));
        if (!console().waitFor(Proto::LinkProofEnd)) {
            return {};
        }
        QByteArray agentNonce;
        QByteArray proof;
        if (!agentProofOf(console().received(), &agentNonce, &proof) ||
            !LinkAuth::sameProof(proof, LinkAuth::agentProof(Key, nonce, agentNonce, Direct))) {
            return {};
        }
        const QByteArray answer =
            Proto::linkAnswer(LinkAuth::consoleProof(Key, nonce, agentNonce, Direct));
        if (answerSent != nullptr) {
            *answerSent = answer;
        }
        console().send(answer + after);
        return nonce;
    }

    static void verifyStillLocked(const AgentController& c)
    {
        QVERIFY(c.state().keysLocked);
        QVERIFY(c.state().lockScreenVisible);
        QVERIFY(!c.state().sessionWindowLoaded);
        QVERIFY(!c.state().linkProven);
    }

    std::unique_ptr<AgentTestConsole> m_console;
};

QTEST_MAIN(TstAgentLinkKey)
#include "tst_agentlinkkey.moc"
