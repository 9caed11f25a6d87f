// SPDX-License-Identifier: Apache-2.0
#pragma once

// The programs of the system tests' cafe: the cashier's console (cafeday_console, driven by
// its script on standard input) and the real agents, each in a home of its own.
#include "support/systemwait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

// A failed check inside a helper ends the caller there, not just the helper.
#define STEP(call)                                                                                 \
    do {                                                                                           \
        call;                                                                                      \
        if (QTest::currentTestFailed()) {                                                          \
            return;                                                                                \
        }                                                                                          \
    } while (false)

namespace SystemTest {

inline bool writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

inline QProcessEnvironment baseEnv(const QString& home)
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTIROKIT_HOME", home);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    return env;
}

// The console's options in a fresh home: the agents' port and where exports and backups go.
inline bool writeConsoleSettings(const QString& home, quint16 port, const QString& outFolder)
{
    return writeFile(
        home + "/vantirokit.conf",
        QString("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n\"port\"=\"%1\"\n"
                "\"exportfolder\"=\"%2\"\n\"backupfolder\"=\"%2\"\n")
            .arg(port)
            .arg(outFolder)
            .toUtf8());
}

struct Agent
{
    QTemporaryDir home;
    QString ip;
    QString name;
    QProcess process;

    // The agent's settings: its console's port, its name and address, and where it is woken.
    bool configure(quint16 consolePort, quint16 wakePort)
    {
        return writeFile(home.filePath("vantirokit.conf"),
                         QString("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Server]\n"
                                 "\"Server\"=\"127.0.0.1\"\n\"port\"=\"%1\"\n\"cname\"=\"%2\"\n"
                                 "\"connected\"=\"True\"\n\"localaddress\"=\"%3\"\n"
                                 "\"wakeport\"=\"%4\"\n")
                             .arg(consolePort)
                             .arg(name, ip)
                             .arg(wakePort)
                             .toUtf8());
    }
    void start()
    {
        QFile::remove(home.filePath("state.json"));
        QProcessEnvironment env = baseEnv(home.path());
        env.insert("VANTIROKIT_AGENT_STATE_FILE", home.filePath("state.json"));
        env.insert("VANTIROKIT_POWER_COMMAND", "echo >>" + home.filePath("power.log"));
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home.path());
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        process.start(binary("client"), {});
        process.waitForStarted(10000);
    }
    void kill()
    {
        if (running()) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
    bool running() const { return process.state() != QProcess::NotRunning; }
    QJsonObject state() const
    {
        QFile f(home.filePath("state.json"));
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QJsonDocument::fromJson(f.readAll()).object();
    }
    bool shows(const char* key) const { return state().value(key).toBool(); }
    QStringList powerCalls() const
    {
        QFile f(home.filePath("power.log"));
        if (!f.open(QIODevice::ReadOnly)) {
            return {};
        }
        return QString::fromUtf8(f.readAll()).split('\n', Qt::SkipEmptyParts);
    }
};

// One cashier's console: every action a line on its standard input, answered with
// "done <verb> ok|fail <detail>".
class DayConsole
{
public:
    QProcess process;

    // Starts the console; its first line ("listening <port>" once it is up).
    QByteArray launch(const QString& home, const QString& journal, quint16 wakePort)
    {
        QProcessEnvironment env = baseEnv(home);
        env.insert("VANTIROKIT_WAKE_PORT", QString::number(wakePort));
        env.insert("VANTIROKIT_DAY_JOURNAL", journal);
        process.setProcessEnvironment(env);
        process.setWorkingDirectory(home);
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.setReadChannel(QProcess::StandardOutput);
        m_out.clear();
        process.start(binary("cafeday_console"), {});
        process.waitForStarted(10000);
        return readLine(30000);
    }
    void start(const QString& home, const QString& journal, quint16 wakePort)
    {
        const QByteArray first = launch(home, journal, wakePort);
        QVERIFY2(first.startsWith("listening"), qPrintable("the console did not start: " + first));
    }
    quint16 port(const QByteArray& listening) const { return quint16(listening.mid(10).toUInt()); }
    void kill()
    {
        if (running()) {
            process.kill();
            process.waitForFinished(10000);
        }
    }
    bool running() const { return process.state() != QProcess::NotRunning; }

    QByteArray readLine(int ms = 60000)
    {
        QElapsedTimer t;
        t.start();
        while (!m_out.contains('\n') && t.elapsed() < ms && running()) {
            process.waitForReadyRead(200);
            m_out += process.readAllStandardOutput();
        }
        m_out += process.readAllStandardOutput();
        const qsizetype nl = m_out.indexOf('\n');
        if (nl < 0) {
            return {};
        }
        const QByteArray line = m_out.left(nl);
        m_out.remove(0, nl + 1);
        return line;
    }
    void send(const QByteArray& line)
    {
        process.write(line + '\n');
        process.waitForBytesWritten(5000);
    }
    // One cashier's action; the console's reply.
    QByteArray act(const QByteArray& line)
    {
        send(line);
        return readLine();
    }
    void mustAct(const QByteArray& line)
    {
        const QByteArray reply = act(line);
        QVERIFY2(reply.contains(" ok"), qPrintable(line + " -> " + reply));
    }

private:
    QByteArray m_out;
};

} // namespace SystemTest
