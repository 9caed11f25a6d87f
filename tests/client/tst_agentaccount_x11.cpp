// SPDX-License-Identifier: Apache-2.0
// The agent as the workstation runs it: under an account of its own, not the X session's, on a
// display that lets in only what it was told to (an X server with a cookie), reached through
// the package's X access hook.

#include "common/protocol.h"
#include "support/agentprocess.h"
#include "support/testhome.h"

#include <QRandomGenerator>
#include <QStandardPaths>
#include <QtTest>

#include <grp.h>
#include <pwd.h>
#include <unistd.h>

using namespace Qt::StringLiterals;

namespace {

constexpr int StepMs = 15000;
const QByteArray Account = "nobody";

// An authority file whose one cookie opens any display of this machine.
bool writeCookie(const QString& path)
{
    QByteArray entry;
    const auto counted = [&entry](const QByteArray& b) {
        entry.append(char(b.size() >> 8)).append(char(b.size() & 0xff)).append(b);
    };
    entry.append("\xff\xff", 2); // any address
    counted({});
    counted({}); // any display number
    counted("MIT-MAGIC-COOKIE-1");
    QByteArray cookie(16, '\0');
    QRandomGenerator::system()->fillRange(reinterpret_cast<quint32*>(cookie.data()), 4);
    counted(cookie);
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(entry) == entry.size();
}

} // namespace

class TstAgentAccountX11 : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void cleanup()
    {
        if (m_x.state() != QProcess::NotRunning) {
            m_x.kill();
            m_x.waitForFinished(5000);
        }
    }

    void runsUnderItsOwnAccountOnceTheDisplayLetsItIn()
    {
        if (::getuid() != 0) {
            QSKIP("needs root to run the agent under another account");
        }
        const passwd* pw = ::getpwnam(Account.constData());
        if (!pw) {
            QSKIP("no account nobody on this machine");
        }
        for (const char* p : {"Xvfb", "xhost"}) {
            if (QStandardPaths::findExecutable(QString::fromLatin1(p)).isEmpty()) {
                QSKIP(qPrintable(
                    u"needs %1 (packages xvfb, x11-xserver-utils)"_s.arg(QString::fromLatin1(p))));
            }
        }
        const QString hook = QFINDTESTDATA("../../packaging/agent-system/x-access");
        QVERIFY2(!hook.isEmpty(), "the X access hook is not in the source tree");
        const uid_t uid = pw->pw_uid;
        const gid_t gid = pw->pw_gid;

        TestHome home;
        const QString cookie = home.file(u"x-cookie"_s);
        QVERIFY(writeCookie(cookie));
        // -noreset: with no client left the server would reset and forget the grant, as a
        // display manager's server does between logins.
        m_x.start(QStandardPaths::findExecutable(u"Xvfb"_s),
                  {u"-displayfd"_s, u"1"_s, u"-auth"_s, cookie, u"-noreset"_s, u"-nolisten"_s,
                   u"tcp"_s, u"-screen"_s, u"0"_s, u"800x600x24"_s});
        QVERIFY(m_x.waitForReadyRead(StepMs));
        const QString display = u':' + QString::fromLatin1(m_x.readLine().trimmed());

        AgentTestConsole console;
        QVERIFY(console.listen());
        AgentProcess::seedServer(u"127.0.0.1"_s, console.port(), u"PC-ACCOUNT"_s, true);
        // The account's own settings folder, as the package's set-up makes it.
        for (const QString& f : {home.path(), home.file(u"vantirokit.conf"_s)}) {
            QVERIFY(::chown(QFile::encodeName(f).constData(), uid, gid) == 0);
        }

        QProcessEnvironment env;
        env.insert(u"PATH"_s, qEnvironmentVariable("PATH"));
        env.insert(u"DISPLAY"_s, display);
        env.insert(u"QT_QPA_PLATFORM"_s, u"xcb"_s);
        env.insert(u"HOME"_s, home.path());
        const auto startAgent = [&](AgentProcess& agent) {
            QProcess& p = agent.process();
            p.setProcessEnvironment(agent.environment(env));
            p.setWorkingDirectory(home.path());
            p.setProcessChannelMode(QProcess::MergedChannels);
            p.setChildProcessModifier([uid, gid] {
                if (::setgroups(0, nullptr) != 0 || ::setgid(gid) != 0 || ::setuid(uid) != 0) {
                    ::_exit(126);
                }
            });
            p.start(AgentProcess::executable(), {});
            return p.waitForStarted(5000);
        };

        // Without the grant the display keeps the account out: the grant is what lets it in.
        {
            AgentProcess refused;
            QVERIFY(startAgent(refused));
            QVERIFY(refused.process().waitForFinished(StepMs));
            QVERIFY(refused.process().exitStatus() != QProcess::NormalExit ||
                    refused.process().exitCode() != 0);
            QCOMPARE(console.connections(), 0);
        }

        QProcess grant;
        QProcessEnvironment admin = QProcessEnvironment::systemEnvironment();
        admin.insert(u"DISPLAY"_s, display);
        admin.insert(u"XAUTHORITY"_s, cookie);
        grant.setProcessEnvironment(admin);
        grant.start(u"/bin/sh"_s, {hook, QString::fromLatin1(Account)});
        QVERIFY(grant.waitForFinished(StepMs));
        QCOMPARE(grant.exitCode(), 0);

        AgentProcess agent;
        QVERIFY(startAgent(agent));
        QVERIFY2(console.waitForAgent(StepMs), agent.output().constData());
        console.send(Proto::Lock + Proto::CName);
        QVERIFY(console.waitFor(Proto::CNameReplyEnd, StepMs));
        QVERIFY2(agent.waitState(u"lockScreenVisible"_s, true, StepMs), agent.output().constData());
        QCOMPARE(agent.process().state(), QProcess::Running);
        QFile status(u"/proc/%1/status"_s.arg(agent.process().processId()));
        QVERIFY(status.open(QIODevice::ReadOnly));
        QVERIFY(status.readAll().contains("\nUid:\t" + QByteArray::number(uid) + '\t'));
        agent.kill();
    }

private:
    QProcess m_x;
};

QTEST_GUILESS_MAIN(TstAgentAccountX11)
#include "tst_agentaccount_x11.moc"
