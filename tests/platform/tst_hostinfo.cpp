// SPDX-License-Identifier: Apache-2.0
#include "platform/hostinfo.h"

#include <QHostAddress>
#include <QNetworkInterface>
#include <QTest>

class TestHostInfo : public QObject
{
    Q_OBJECT
private Q_SLOTS:
    void addressIsAnIPv4OfThisMachine()
    {
        const QString text = HostInfo::localIPv4();
        QHostAddress a;
        QVERIFY(a.setAddress(text));
        QCOMPARE(a.protocol(), QAbstractSocket::IPv4Protocol);
        QCOMPARE(a.toString(), text);
        bool outside = false;
        for (const QHostAddress& own : QNetworkInterface::allAddresses()) {
            outside = outside || (own.protocol() == QAbstractSocket::IPv4Protocol &&
                                  !own.isLoopback() && !own.isLinkLocal());
        }
        if (outside) {
            QVERIFY(!a.isLoopback());
            QVERIFY(QNetworkInterface::allAddresses().contains(a));
        } else {
            QCOMPARE(text, QStringLiteral("127.0.0.1"));
        }
    }
};

QTEST_GUILESS_MAIN(TestHostInfo)
#include "tst_hostinfo.moc"
