#include "support/systemwait.h"

#include <QElapsedTimer>
#include <QTcpServer>
#include <QTest>

namespace SystemTest {

QString binary(const char* name)
{
    return qEnvironmentVariable("VK_BIN_DIR") + QLatin1Char('/') + QString::fromLatin1(name);
}

quint16 freePort(const QHostAddress& on)
{
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
