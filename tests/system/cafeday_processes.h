// SPDX-License-Identifier: Apache-2.0
#pragma once

// The programs of the system tests: the cashier's console (vkserver, or cafeday_console driven
// by its script on standard input) and the real agents, each in a home of its own.
#include "server/core/database.h"
#include "support/systemwait.h"
#include "support/testdatabase.h"

#include <QDateTime>
#include <QElapsedTimer>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QMap>
#include <QProcess>
#include <QRandomGenerator>
#include <QTcpSocket>
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

// The one of `all` with that name.
template <typename List> auto& byName(List& all, const QString& name)
{
    for (auto& x : all) {
        if (x->name == name) {
            return *x;
        }
    }
    qFatal("nothing named %s", qPrintable(name));
}

// The seed of a run's random faults: VANTIROKIT_DAY_SEED repeats a run, else the time.
inline void seedRandom(QRandomGenerator& random, const char* run)
{
    bool seeded = false;
    auto seed = quint32(qEnvironmentVariableIntValue("VANTIROKIT_DAY_SEED", &seeded));
    if (!seeded) {
        seed = quint32(QDateTime::currentMSecsSinceEpoch());
    }
    random.seed(seed);
    qInfo("%s seed %u (VANTIROKIT_DAY_SEED=%u repeats this run)", run, seed, seed);
}

inline bool writeFile(const QString& path, const QByteArray& text)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
}

inline QString readFile(const QString& path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? QString::fromUtf8(f.readAll()) : QString();
}

// One of the built programs, offscreen in its home; `extra` adds to its environment.
inline void startProgram(QProcess& p, const char* exe, const QString& home,
                         const QMap<QString, QString>& extra = {})
{
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("VANTIROKIT_HOME", home);
    env.insert("QT_QPA_PLATFORM", "offscreen");
    for (auto it = extra.cbegin(); it != extra.cend(); ++it) {
        env.insert(it.key(), it.value());
    }
    p.setProcessEnvironment(env);
    p.setWorkingDirectory(home);
    p.start(binary(exe), {});
    p.waitForStarted(10000);
}

inline void stopProgram(QProcess& p)
{
    if (p.state() != QProcess::NotRunning) {
        p.kill();
        p.waitForFinished(10000);
    }
}

// Something listens on that port of this machine.
inline bool waitListening(quint16 port)
{
    return waitUntil([&] {
        QTcpSocket probe;
        probe.connectToHost(QHostAddress::LocalHost, port);
        return probe.waitForConnected(500);
    });
}

// The console's options in a fresh home: the agents' port and `more` lines.
inline bool writeConsoleSettings(const QString& home, quint16 port, const QString& more = {})
{
    return writeFile(
        home + "/vantirokit.conf",
        QString("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Options]\n\"port\"=\"%1\"\n%2")
            .arg(port)
            .arg(more)
            .toUtf8());
}

// A real console (vkserver) in a home of its own, on the test's database.
struct ConsoleProgram
{
    QTemporaryDir home;
    quint16 port = freePort();
    QProcess process;
    DatabaseTarget target;

    ~ConsoleProgram() { stop(); }
    // Its settings (the agents' port and `more` lines of its options) and its database.
    bool configure(const QString& more = {})
    {
        const bool written = writeConsoleSettings(home.path(), port, more);
        target = testDatabaseTarget(home.path());
        return written;
    }
    void start(const QMap<QString, QString>& env = {})
    {
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        startProgram(process, "vkserver", home.path(), env);
    }
    void stop() { stopProgram(process); }
    QString log() const { return readFile(home.filePath("Morvek.txt")); }
    // A connection of its own, as the cashier's reports would open one.
    QVariant query(const QString& sql, const QVariantList& params = {}) const
    {
        Database db;
        db.open(target);
        return db.scalar(sql, params);
    }
    // A session the cashier started for a workstation while its agent was away.
    bool startSessionFor(const QString& name, const QString& ip) const
    {
        Database db;
        return db.open(target) &&
               db.run("INSERT INTO terminals (terminal, ip, cid, sstart, \"user\", AUTOLOGOUT) "
                      "VALUES (?, ?, 999, '2026-01-01 10:00:00', 'Normal', 0)",
                      {name, ip});
    }
};

struct Agent
{
    QTemporaryDir home;
    QString ip;
    QString name;
    QProcess process;
    QString server = QStringLiteral("127.0.0.1");
    QString linkKey; // none when empty

    ~Agent() { kill(); }
    // The agent's settings: its console's port, its name and address, and where it is woken.
    bool configure(quint16 consolePort, quint16 wakePort)
    {
        return writeFile(home.filePath("vantirokit.conf"),
                         QString("[HKEY_LOCAL_MACHINE\\SOFTWARE\\Vantirokit\\Server]\n"
                                 "\"Server\"=\"%5\"\n\"port\"=\"%1\"\n\"cname\"=\"%2\"\n"
                                 "\"connected\"=\"True\"\n\"localaddress\"=\"%3\"\n"
                                 "\"wakeport\"=\"%4\"\n%6")
                             .arg(consolePort)
                             .arg(name, ip)
                             .arg(wakePort)
                             .arg(server, linkKey.isEmpty()
                                              ? QString()
                                              : QString("\"linkkey\"=\"%1\"\n").arg(linkKey))
                             .toUtf8());
    }
    void start()
    {
        QFile::remove(home.filePath("state.json"));
        process.setProcessChannelMode(QProcess::ForwardedErrorChannel);
        process.setStandardOutputFile(QProcess::nullDevice());
        startProgram(process, "client", home.path(),
                     {{"VANTIROKIT_AGENT_STATE_FILE", home.filePath("state.json")},
                      {"VANTIROKIT_POWER_COMMAND", "echo >>" + home.filePath("power.log")}});
    }
    void kill() { stopProgram(process); }
    bool running() const { return process.state() != QProcess::NotRunning; }
    QJsonObject state() const
    {
        return QJsonDocument::fromJson(readFile(home.filePath("state.json")).toUtf8()).object();
    }
    bool shows(const char* key) const { return state().value(key).toBool(); }
    // Waits until the agent reports the screen shown (or, with `shown` false, gone).
    bool waitShows(const char* key, bool shown = true, int ms = 30000) const
    {
        return waitUntil([&] { return shows(key) == shown; }, ms);
    }
    QStringList powerCalls() const
    {
        return readFile(home.filePath("power.log")).split('\n', Qt::SkipEmptyParts);
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
        process.setProcessChannelMode(QProcess::SeparateChannels);
        process.setReadChannel(QProcess::StandardOutput);
        m_out.clear();
        startProgram(process, "cafeday_console", home,
                     {{"VANTIROKIT_WAKE_PORT", QString::number(wakePort)},
                      {"VANTIROKIT_DAY_JOURNAL", journal}});
        return readLine(30000);
    }
    void start(const QString& home, const QString& journal, quint16 wakePort)
    {
        const QByteArray first = launch(home, journal, wakePort);
        QVERIFY2(first.startsWith("listening"), qPrintable("the console did not start: " + first));
    }
    void kill() { stopProgram(process); }
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
    // Actions sent at once, their answers left to read.
    void queue(const QList<QByteArray>& lines)
    {
        for (const QByteArray& l : lines) {
            process.write(l + '\n');
        }
    }
    // One cashier's action; the console's reply.
    QByteArray act(const QByteArray& line)
    {
        queue({line});
        return readLine();
    }
    void mustAct(const QByteArray& line)
    {
        const QByteArray reply = act(line);
        QVERIFY2(reply.contains(" ok"), qPrintable(line + " -> " + reply));
    }
    // The cashier's actions in turn, each confirmed.
    void mustAct(const QList<QByteArray>& lines)
    {
        for (const QByteArray& l : lines) {
            STEP(mustAct(l));
        }
    }

private:
    QByteArray m_out;
};

} // namespace SystemTest
