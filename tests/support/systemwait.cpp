// SPDX-License-Identifier: Apache-2.0
#include "support/systemwait.h"

#include <QElapsedTimer>
#include <QFile>
#include <QRandomGenerator>
#include <QSet>
#include <QTcpServer>
#include <QTest>

namespace SystemTest {

namespace {

// The lowest port the kernel hands out to outgoing connections and to listen(0).
quint16 ephemeralLow()
{
    QFile f(QStringLiteral("/proc/sys/net/ipv4/ip_local_port_range"));
    bool ok = false;
    int low = 0;
    if (f.open(QIODevice::ReadOnly)) {
        low = QString::fromLatin1(f.readAll())
                  .simplified()
                  .section(QLatin1Char(' '), 0, 0)
                  .toInt(&ok);
    }
    return ok && low > 12000 && low < 65536 ? quint16(low) : quint16(32768);
}

} // namespace

QString binary(const char* name)
{
    return qEnvironmentVariable("VK_BIN_DIR") + QLatin1Char('/') + QString::fromLatin1(name);
}

quint16 freePort(const QHostAddress& on)
{
    // Below the ephemeral range: a port from it may become the source port of any outgoing
    // connection on the machine (our own probes included) before the program under test
    // binds it, and its listen then fails for good. Random, so parallel tests rarely meet,
    // and never the same one twice in this process.
    static QSet<quint16> given;
    const quint16 high = ephemeralLow();
    const quint16 low = quint16(high - 10000);
    for (int attempt = 0; attempt < 500; ++attempt) {
        const auto port = quint16(QRandomGenerator::global()->bounded(int(low), int(high)));
        if (given.contains(port)) {
            continue;
        }
        QTcpServer s;
        if (s.listen(on, port)) {
            given.insert(port);
            return port;
        }
    }
    QTcpServer s;
    s.listen(on, 0);
    return s.serverPort();
}

bool waitUntil(const std::function<bool()>& condition, int ms)
{
    QElapsedTimer t;
    t.start();
    while (t.elapsed() < ms) {
        if (condition()) {
            return true;
        }
        QTest::qWait(50);
    }
    return condition();
}

} // namespace SystemTest
