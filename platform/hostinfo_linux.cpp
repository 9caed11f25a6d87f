// SPDX-License-Identifier: Apache-2.0
#include "platform/hostinfo.h"

#include <QHostInfo>
#include <QNetworkInterface>

QString HostInfo::hostName()
{
    return QHostInfo::localHostName();
}

QString HostInfo::localIPv4()
{
    const QList<QNetworkInterface> interfaces = QNetworkInterface::allInterfaces();
    for (const QNetworkInterface& i : interfaces) {
        const auto flags = i.flags();
        if (!flags.testFlag(QNetworkInterface::IsUp) ||
            !flags.testFlag(QNetworkInterface::IsRunning) ||
            flags.testFlag(QNetworkInterface::IsLoopBack)) {
            continue;
        }
        const QList<QNetworkAddressEntry> entries = i.addressEntries();
        for (const QNetworkAddressEntry& e : entries) {
            const QHostAddress a = e.ip();
            if (a.protocol() == QAbstractSocket::IPv4Protocol && !a.isLoopback() &&
                !a.isLinkLocal()) {
                return a.toString();
            }
        }
    }
    return QStringLiteral("127.0.0.1");
}
