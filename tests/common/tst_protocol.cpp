// SPDX-License-Identifier: Apache-2.0
#include "common/protocol.h"
#include "support/datarow.h"

#include <QRandomGenerator>
#include <QTest>

using namespace Proto;

namespace {

Message bare(Kind k)
{
    return Message{k, QString(), false};
}

Message val(Kind k, const QString& v)
{
    return Message{k, v, false};
}

Message broken(Kind k)
{
    return Message{k, QString(), true};
}

QString describe(const QList<Message>& batch)
{
    QStringList parts;
    for (const Message& m : batch) {
        QString s = QString::fromLatin1(token(m.kind));
        if (isValued(m.kind)) {
            s += QLatin1Char('[') + m.value + QLatin1Char(']');
        }
        if (m.malformed) {
            s += QStringLiteral("!malformed");
        }
        parts << s;
    }
    return parts.join(QLatin1Char(' '));
}

// Feeds the stream in the given pieces and returns every batch joined in arrival order.
QList<Message> feedPieces(Side side, const QList<QByteArray>& pieces, qsizetype* left = nullptr)
{
    Decoder d(side);
    QList<Message> all;
    for (const QByteArray& p : pieces) {
        all += d.feed(p);
    }
    if (left != nullptr) {
        *left = d.pending();
    }
    return all;
}

} // namespace

class TstProtocol : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    // Each side's batch in its receiver's order, whole and through the streaming decoder.
    void order_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<QByteArray>("arrival");
        QTest::addColumn<QString>("expected"); // as describe() writes a batch
        const auto agent = [](const char* name, const QByteArray& a, const char* e) {
            dataRow(name, int(Side::Agent), a, e);
        };
        const auto console = [](const char* name, const QByteArray& a, const char* e) {
            dataRow(name, int(Side::Console), a, e);
        };
        agent("unlock and start session: unlock only", Unlock + StartSession, "|UNLOCK|");
        agent("receiver order, not arrival order",
              GetDeskTop + EndSession + StartSession + PasswordNotValid + ShowOptions +
                  ShowOptionsWithPassword + AutologoutMin + "3" + AutologoutMinEnd + SetDateTime +
                  "2026-01-02 10:11:12" + SetDateTimeEnd + SetTime,
              "|SET_TIME:| |SET_DATE_TIME:|[2026-01-02 10:11:12] |AUTOLOGOUT_MIN|[3] "
              "|SHOW_OPTIONS_WITH_PASSWORD| |SHOW_OPTIONS| |PASSWORD_NOT_VALID| |STARTSESSION| "
              "|ENDSESSION| |GET_DESK_TOP|");
        agent("second lock has no further effect", Lock + Lock, "|LOCK|");
        agent("shutdown before reboot", Reboot + Shutdown, "|SHUTDOWN|");
        agent("reboot before lock", Lock + Reboot, "|REBOOT|");
        agent("lock before unlock, lock not inside unlock", Unlock + Lock, "|LOCK|");
        agent("exclusive command with name request and the rest",
              SetTime + CName + StartSession + Lock, "|CNAME| |LOCK|");
        agent("empty start time", SetDateTime + SetDateTimeEnd, "|SET_DATE_TIME:|[]");
        agent("first of two limits",
              AutologoutMin + "5" + AutologoutMinEnd + AutologoutMin + "7" + AutologoutMinEnd,
              "|AUTOLOGOUT_MIN|[5]");
        agent("closing marker before the opening token",
              AutologoutMinEnd + AutologoutMin + "5" + AutologoutMinEnd + StartSession,
              "|AUTOLOGOUT_MIN|[]!malformed |STARTSESSION|");
        agent("agent ignores what the console receives",
              CNameReply + "x" + CNameReplyEnd + Autologout + Testing, "");
        agent("unknown token and garbage", QByteArray("|HELLO|garbage||x"), "");
        agent("challenge before the name request and lock", Lock + CName + linkChallenge("00ff"),
              "|LINK_CHALLENGE|[00ff] |CNAME| |LOCK|");
        agent("console's proof first, then its commands",
              SetTime + StartSession + linkAnswer("ab12"),
              "|LINK_ANSWER|[ab12] |SET_TIME:| |STARTSESSION|");
        agent("proof with an exclusive command keeps both", Unlock + linkAnswer("cd"),
              "|LINK_ANSWER|[cd] |UNLOCK|");
        agent("agent ignores the agent's proof", linkProof("aa", "bb"), "");
        console("all three, reversed",
                Autologout + CheckPassword + "pw" + CheckPasswordEnd + CNameReply + "n" +
                    CNameReplyEnd,
                "|CNAME`|[n] |CHECK_PASSWORD|[pw] |AUTOLOGOUT|");
        console("password keeps inner blanks and bars", CheckPassword + "a b|c" + CheckPasswordEnd,
                "|CHECK_PASSWORD|[a b|c]");
        console("name in UTF-8", CNameReply + QStringLiteral("Café Ω").toUtf8() + CNameReplyEnd,
                "|CNAME`|[Café Ω]");
        console("name with a bar at its end", CNameReply + "PC|" + CNameReplyEnd, "|CNAME`|[PC|]");
        console("testing and send time have no handler", Testing + SendTime, "");
        console("console ignores the agent's commands", Lock + CName + StartSession, "");
        console("automatic logout twice", Autologout + Autologout, "|AUTOLOGOUT|");
        console("proof before the name report",
                CNameReply + "n" + CNameReplyEnd + linkProof("01", "02"),
                "|LINK_PROOF|[01 02] |CNAME`|[n]");
        console("console ignores its own challenge and answer",
                linkChallenge("01") + linkAnswer("02"), "");
    }

    void order()
    {
        QFETCH(int, side);
        QFETCH(QByteArray, arrival);
        QFETCH(QString, expected);
        QCOMPARE(describe(Decoder::decodeWhole(Side(side), arrival)), expected);
        // Nothing of a whole arrival stays behind in the streaming decoder.
        Decoder d{Side(side)};
        QCOMPARE(describe(d.feed(arrival)), expected);
        QCOMPARE(d.pending(), 0);
    }

    void splitAtEveryPosition_data()
    {
        QTest::addColumn<int>("side");
        QTest::addColumn<QByteArray>("stream");
        dataRow("agent session start", int(Side::Agent),
                (CName + SetTime + SetDateTime + "2026-03-04 05:06:07" + SetDateTimeEnd +
                 AutologoutMin + "30" + AutologoutMinEnd + ShowOptionsWithPassword + StartSession));
        dataRow("console all three", int(Side::Console),
                (CNameReply + QStringLiteral("Zoë's PC").toUtf8() + CNameReplyEnd + CheckPassword +
                 "secret" + CheckPasswordEnd + Autologout));
        dataRow("console with noise between", int(Side::Console),
                (QByteArray("||x") + CNameReply + "A" + CNameReplyEnd + Testing + "<PS" +
                 CheckPassword + " pw " + CheckPasswordEnd + SendTime + Autologout + "|."));
        const QByteArray nonce(32, 'a');
        const QByteArray proof(64, '9');
        dataRow("agent: challenge, then answer with the first commands", int(Side::Agent),
                (linkChallenge(nonce) + linkAnswer(proof) + CName + Lock));
        dataRow("console: proof and a name report", int(Side::Console),
                (linkProof(nonce, proof) + CNameReply + "PC" + CNameReplyEnd));
    }

    void noStringInsideAnother()
    {
        // Receivers find messages by search, so no protocol string may occur inside another one:
        // one found inside another would be handled where it was never sent.
        QList<QByteArray> all{SendTime, Testing};
        for (int k = 0; k <= int(Kind::PrepaidLogoff); ++k) {
            all << token(Kind(k)) << closingMarker(Kind(k));
        }
        all.removeAll(QByteArray());
        for (const QByteArray& a : all) {
            for (const QByteArray& b : all) {
                if (a != b && b.contains(a)) {
                    QFAIL(qPrintable(QString::fromLatin1(a + " is inside " + b)));
                }
            }
        }
    }

    // However the transport cuts a stream into two or three arrivals, the receiver gets the
    // batches of the whole stream and keeps nothing.
    void splitAtEveryPosition()
    {
        QFETCH(int, side);
        QFETCH(QByteArray, stream);
        const Side s = Side(side);
        const QString whole = describe(Decoder::decodeWhole(s, stream));
        for (qsizetype i = 0; i <= stream.size(); ++i) {
            for (qsizetype j = i; j <= stream.size(); ++j) {
                qsizetype left = -1;
                const QList<Message> got =
                    feedPieces(s, {stream.left(i), stream.mid(i, j - i), stream.mid(j)}, &left);
                QVERIFY2(describe(got) == whole,
                         qPrintable(
                             QStringLiteral("cut at %1/%2: %3").arg(i).arg(j).arg(describe(got))));
                QCOMPARE(left, 0);
            }
        }
    }

    void laterCopyOfCutMessageWaitsForItsEnd()
    {
        Decoder d(Side::Console);
        // The first name report is complete; the second is cut before its closing marker.
        QCOMPARE(describe(d.feed(CNameReply + "a" + CNameReplyEnd + CNameReply + "b")),
                 describe({val(Kind::CNameReply, QStringLiteral("a"))}));
        QCOMPARE(d.pending(), CNameReply.size() + 1);
        QCOMPARE(describe(d.feed(CNameReplyEnd)),
                 describe({val(Kind::CNameReply, QStringLiteral("b"))}));

        // Tokens behind a cut valued message wait with it, so the receiver's order is kept.
        Decoder a(Side::Agent);
        QCOMPARE(describe(a.feed(SetTime + AutologoutMin + "4")), describe({bare(Kind::SetTime)}));
        QCOMPARE(
            describe(a.feed("5" + AutologoutMinEnd + StartSession)),
            describe({val(Kind::AutologoutMin, QStringLiteral("45")), bare(Kind::StartSession)}));
    }

    void garbageIsDroppedAndNothingGrowsUnbounded()
    {
        Decoder d(Side::Agent);
        QVERIFY(d.feed(QByteArray(1 << 20, 'x')).isEmpty());
        QCOMPARE(d.pending(), 0);
        // Only the tail that can still begin a token is kept.
        QVERIFY(d.feed("garbage|LOC").isEmpty());
        QCOMPARE(d.pending(), 4);
        QCOMPARE(describe(d.feed("K|")), describe({bare(Kind::Lock)}));
        QCOMPARE(d.pending(), 0);
        // A complete token at the end leaves nothing behind although "|" begins every token.
        d.feed(StartSession);
        QCOMPARE(d.pending(), 0);

        // Random bytes sprinkled with bits of tokens never make the decoder hold more than its
        // bound.
        QRandomGenerator rng(12345);
        const QList<QByteArray> parts{
            CheckPassword, CheckPasswordEnd, CNameReply, CNameReplyEnd, Autologout, "|", "<",
            "abc"};
        Decoder c(Side::Console);
        for (int i = 0; i < 5000; ++i) {
            QByteArray chunk;
            const int n = rng.bounded(1, 40);
            for (int k = 0; k < n; ++k) {
                chunk += rng.bounded(3) == 0
                             ? QByteArray(rng.bounded(1, 300), char(rng.bounded(256)))
                             : parts.at(rng.bounded(parts.size()));
            }
            c.feed(chunk);
            QVERIFY(c.pending() <= MaxCarryOver);
        }
    }

    void unfinishedValueBeyondBoundIsHandledEmpty()
    {
        Decoder d(Side::Console);
        QVERIFY(d.feed(CheckPassword + QByteArray(3000, 'a')).isEmpty());
        QCOMPARE(d.pending(), CheckPassword.size() + 3000);
        // Past the bound the unfinished message is handled as it stands and forgotten.
        QCOMPARE(describe(d.feed(QByteArray(2000, 'a') + Autologout)),
                 describe({broken(Kind::CheckPassword), bare(Kind::Autologout)}));
        QCOMPARE(d.pending(), 0);
        // Its late closing marker finds no opening token.
        QVERIFY(d.feed("aaa" + CheckPasswordEnd).isEmpty());
    }

    void flushHandlesWhatIsKeptAsItStands()
    {
        Decoder d(Side::Agent);
        QVERIFY(d.feed(SetDateTime + "2026").isEmpty());
        QCOMPARE(describe(d.flush()), describe({broken(Kind::SetDateTime)}));
        QCOMPARE(d.pending(), 0);
        QVERIFY(d.flush().isEmpty());
    }

    void encoder()
    {
        QCOMPARE(cnameReply(QStringLiteral("PC-07")), QByteArray("|CNAME`|PC-07|<endname|"));
        QCOMPARE(checkPassword(QStringLiteral("pw")), QByteArray("|CHECK_PASSWORD|pw<PSW"));
        QCOMPARE(autologoutMinutes(30), QByteArray("|AUTOLOGOUT_MIN|30|<LOGOUTTIME|"));
        // A value can never end its message early, even where removing a marker forms a new one.
        QCOMPARE(cnameReply(QStringLiteral("a|<endn|<endname|ame|b")),
                 QByteArray("|CNAME`|ab|<endname|"));
        QCOMPARE(cnameReply(QStringLiteral("Ω")), QByteArray("|CNAME`|\xce\xa9|<endname|"));

        const QDateTime t(QDate(2026, 12, 6), QTime(21, 5, 9));
        QCOMPARE(setDateTime(t), QByteArray("|SET_DATE_TIME:|2026-12-06 21:05:09|<TIME|"));
        QCOMPARE(parseDateTime(dateTimeText(t)), t);
        QVERIFY(!parseDateTime(QStringLiteral("06/12/2026 9:05 PM")).isValid());

        // Round trip through the decoder.
        Decoder d(Side::Agent);
        QCOMPARE(describe(d.feed(setDateTime(t))),
                 describe({val(Kind::SetDateTime, dateTimeText(t))}));

        const PrepaidTimeLeft left{3540, QStringLiteral("12.50")};
        QCOMPARE(prepaidTime(left), QByteArray("|PREPAID_TIME|3540 12.50|<PREPAID|"));
        QCOMPARE(parsePrepaidTime(QStringLiteral("3540 12.50")), std::optional(left));
        for (const char* bad : {"", "-5 1.00", "x 1.00", "99999999999999999999 1"}) {
            QCOMPARE(parsePrepaidTime(QString::fromLatin1(bad)), std::nullopt);
        }
    }

    void prepaidLogin_data()
    {
        QTest::addColumn<PrepaidCredentials>("typed");
        using K = PrepaidCredentials::Kind;
        const QString longest(MaxCredentialLength, QChar(0x3a9));
        QTest::newRow("ticket") << PrepaidCredentials{
            K::Ticket, QStringLiteral("K7QX-MN3P-4TWA"), {}};
        QTest::newRow("member, empty password")
            << PrepaidCredentials{K::Member, QStringLiteral("M-001"), QString()};
        // Typed text that holds the protocol's own strings must not act as them.
        QTest::newRow("member, tokens inside")
            << PrepaidCredentials{K::Member, QString::fromLatin1(Autologout + PrepaidLoginEnd),
                                  QString::fromLatin1(PrepaidLogoff + " |<LOGIN| <PSW")};
        QTest::newRow("longest, outside Latin-1")
            << PrepaidCredentials{K::Member, longest, longest};
    }

    void prepaidLogin()
    {
        QFETCH(PrepaidCredentials, typed);
        const QByteArray wire = Proto::prepaidLogin(typed);
        Decoder d(Side::Console);
        const QList<Message> batch = d.feed(wire);
        QCOMPARE(batch.size(), 1);
        QCOMPARE(batch[0].kind, Kind::PrepaidLogin);
        QCOMPARE(parsePrepaidLogin(batch[0].value), std::optional<PrepaidCredentials>(typed));
    }

    void prepaidValuesRefused_data()
    {
        QTest::addColumn<QString>("value");
        const QString tooLong =
            QString::fromLatin1(QByteArray(MaxCredentialLength + 1, 'A').toBase64());
        QTest::newRow("empty") << QString();
        QTest::newRow("unknown kind") << QStringLiteral("X QUJD");
        QTest::newRow("ticket, empty code") << QStringLiteral("T ");
        QTest::newRow("ticket with a password") << QStringLiteral("T QUJD QUJD");
        QTest::newRow("member without password field") << QStringLiteral("M QUJD");
        QTest::newRow("not base64") << QStringLiteral("T AB$D");
        QTest::newRow("not UTF-8") << QStringLiteral("T /w==");
        QTest::newRow("too long") << (QStringLiteral("T ") + tooLong);
        QTest::newRow("huge") << (QStringLiteral("T ") + QString(100000, QLatin1Char('A')));
    }

    void prepaidValuesRefused()
    {
        QFETCH(QString, value);
        QCOMPARE(parsePrepaidLogin(value), std::nullopt);
    }
};

QTEST_GUILESS_MAIN(TstProtocol)
#include "tst_protocol.moc"
