// SPDX-License-Identifier: Apache-2.0
// What the link benches share: a console child process that reports on its standard output,
// and a fleet of emulated agents on loopback, each from its own 127.x.y.z address, answering
// the name request as a real agent does.
#pragma once

#include "common/protocol.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QElapsedTimer>
#include <QFile>
#include <QHostAddress>
#include <QProcess>
#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTcpSocket>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <functional>
#include <memory>
#include <vector>

namespace bench {

inline qint64 monotonicNs()
{
    return std::chrono::duration_cast<std::chrono::nanoseconds>(
               std::chrono::steady_clock::now().time_since_epoch())
        .count();
}

inline void out(const QString& line)
{
    std::fputs(qPrintable(line + QLatin1Char('\n')), stdout);
    std::fflush(stdout);
}

inline qint64 rssKiB(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/status").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    for (const QByteArray& line : f.readAll().split('\n')) {
        if (line.startsWith("VmRSS:")) {
            return line.mid(6).trimmed().split(' ').first().toLongLong();
        }
    }
    return -1;
}

inline qint64 cpuTicks(qint64 pid)
{
    QFile f(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!f.open(QIODevice::ReadOnly)) {
        return -1;
    }
    const QByteArray s = f.readAll();
    // Fields after the command name (which is in parentheses); utime and stime are 14 and 15.
    const QList<QByteArray> fields = s.mid(s.lastIndexOf(')') + 2).split(' ');
    return fields.size() > 12 ? fields.at(11).toLongLong() + fields.at(12).toLongLong() : -1;
}

// Handles events until the deadline, sleeping while there are none (a busy driver would take
// the CPU from the console it measures).
inline void waitEvents(const QDeadlineTimer& deadline)
{
    QTimer beat;
    beat.start(int(std::clamp<qint64>(deadline.remainingTime(), 1, 20)));
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
}

inline void spin(int ms)
{
    const QDeadlineTimer deadline(ms);
    while (!deadline.hasExpired()) {
        waitEvents(deadline);
    }
}

// The p-quantile of the samples (p in 0..1); -1 when there are none.
inline double percentile(std::vector<double> v, double p)
{
    if (v.empty()) {
        return -1.0;
    }
    std::sort(v.begin(), v.end());
    return v[size_t(std::min<double>(double(v.size() - 1), p * double(v.size())))];
}

// This executable run again as the console, reporting line by line on its standard output.
class ConsoleChild
{
public:
    bool start(const QString& home, const QStringList& args)
    {
        m_process.setProcessChannelMode(QProcess::SeparateChannels);
        auto env = QProcessEnvironment::systemEnvironment();
        env.insert(QStringLiteral("VANTIROKIT_HOME"), home);
        m_process.setProcessEnvironment(env);
        m_process.setWorkingDirectory(home);
        QObject::connect(&m_process, &QProcess::readyReadStandardOutput, [this] {
            m_partial += m_process.readAllStandardOutput();
            qsizetype nl;
            while ((nl = m_partial.indexOf('\n')) >= 0) {
                m_lines.append(m_partial.left(nl));
                m_partial.remove(0, nl + 1);
            }
        });
        m_process.start(QCoreApplication::applicationFilePath(),
                        QStringList{QStringLiteral("--console")} + args);
        const QByteArray port = nextLine("PORT ", 10000);
        if (port.isEmpty()) {
            out(QStringLiteral("console did not start: ") +
                QString::fromLocal8Bit(m_process.readAllStandardError()));
            return false;
        }
        m_port = quint16(port.mid(5).toUInt());
        return true;
    }
    // The first line that starts with the prefix, taken out; empty when none came in time.
    QByteArray nextLine(const QByteArray& prefix, int ms)
    {
        const QDeadlineTimer deadline(ms);
        while (!deadline.hasExpired()) {
            for (qsizetype i = 0; i < m_lines.size(); ++i) {
                if (m_lines.at(i).startsWith(prefix)) {
                    return m_lines.takeAt(i);
                }
            }
            waitEvents(deadline);
        }
        return {};
    }
    // A command line, answered by a line that starts with the same word.
    QList<QByteArray> ask(const QByteArray& what, int ms = 30000)
    {
        m_lines.clear();
        m_process.write(what + '\n');
        return nextLine(what, ms).split(' ');
    }
    void write(const QByteArray& line) { m_process.write(line + '\n'); }
    void finish()
    {
        m_process.closeWriteChannel();
        if (!m_process.waitForFinished(5000)) {
            m_process.kill();
            m_process.waitForFinished(2000);
        }
    }
    quint16 port() const { return m_port; }
    qint64 pid() const { return m_process.processId(); }

private:
    QProcess m_process;
    QList<QByteArray> m_lines;
    QByteArray m_partial;
    quint16 m_port = 0;
};

struct Agent
{
    QTcpSocket* socket = nullptr;
    QString ip;
    QString name;
    QByteArray received;
    bool answered = false;
    qint64 lastArrivalNs = 0;
    // When set, the arrival of the read that first made `received` contain it.
    QByteArray awaited;
    qint64 awaitedNs = 0;

    void await(const QByteArray& what)
    {
        received.clear();
        awaited = what;
        awaitedNs = 0;
    }
};

inline QString agentAddress(int i)
{
    // 127.1.0.1 ... : distinct loopback addresses, none of them the console's.
    return QStringLiteral("127.1.%1.%2").arg(i / 250).arg(i % 250 + 1);
}

// The console's database opened beside it for reading.
inline bool openReader(const QString& path)
{
    QSqlDatabase reader =
        QSqlDatabase::addDatabase(QStringLiteral("QSQLITE"), QStringLiteral("reader"));
    reader.setDatabaseName(path);
    reader.setConnectOptions(QStringLiteral("QSQLITE_OPEN_READONLY;QSQLITE_BUSY_TIMEOUT=5000"));
    return reader.open();
}

inline QVariant readScalar(const QString& sql)
{
    QSqlQuery q(QSqlDatabase::database(QStringLiteral("reader")));
    return q.exec(sql) && q.next() ? q.value(0) : QVariant();
}

struct Fleet
{
    std::vector<std::unique_ptr<Agent>> agents;
    int named = 0;         // listed in `online` under the name they reported
    int asked = 0;         // locked and asked their name
    double askedMs = -1;   // until every one was locked and asked its name
    double registerMs = 0; // until every one was listed

    ~Fleet()
    {
        for (auto& a : agents) {
            a->socket->abort();
            delete a->socket;
        }
    }
};

// Connects `count` agents (named PC-1 ...) and waits up to 30 s until the console lists them
// all in `online` (read through openReader's connection).
inline void connectFleet(Fleet& fleet, int count, quint16 port)
{
    fleet.agents.reserve(size_t(count));
    int& fullyAsked = fleet.asked;
    QElapsedTimer clock;
    clock.start();
    for (int i = 0; i < count; ++i) {
        auto a = std::make_unique<Agent>();
        a->ip = agentAddress(i);
        a->name = QStringLiteral("PC-%1").arg(i + 1);
        a->socket = new QTcpSocket;
        Agent* raw = a.get();
        QObject::connect(raw->socket, &QTcpSocket::readyRead, [raw, &fullyAsked] {
            raw->received += raw->socket->readAll();
            raw->lastArrivalNs = monotonicNs();
            if (!raw->awaited.isEmpty() && raw->awaitedNs == 0 &&
                raw->received.contains(raw->awaited)) {
                raw->awaitedNs = raw->lastArrivalNs;
            }
            if (!raw->answered && raw->received.contains(Proto::CName)) {
                raw->answered = true;
                raw->socket->write(Proto::cnameReply(raw->name));
                if (raw->received.contains(Proto::Lock)) {
                    ++fullyAsked;
                }
            }
        });
        if (!a->socket->bind(QHostAddress(a->ip), 0)) {
            out(QStringLiteral("cannot bind %1").arg(a->ip));
            return;
        }
        a->socket->connectToHost(QHostAddress::LocalHost, port);
        fleet.agents.push_back(std::move(a));
    }
    const QDeadlineTimer limit(30000);
    while (!limit.hasExpired()) {
        waitEvents(limit);
        if (fullyAsked == count) {
            if (fleet.askedMs < 0) {
                fleet.askedMs = double(clock.nsecsElapsed()) / 1e6;
            }
            fleet.named =
                readScalar(QStringLiteral("SELECT count(*) FROM online WHERE name LIKE 'PC-%'"))
                    .toInt();
            if (fleet.named == count) {
                break;
            }
        }
    }
    fleet.registerMs = double(clock.nsecsElapsed()) / 1e6;
    if (fleet.named != count) {
        out(QStringLiteral("registered only %1 of %2 within 30 s (%3 asked)")
                .arg(fleet.named)
                .arg(count)
                .arg(fullyAsked));
    }
}

} // namespace bench
