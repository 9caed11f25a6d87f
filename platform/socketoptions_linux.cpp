// SPDX-License-Identifier: Apache-2.0
#include "platform/socketoptions.h"

#include <arpa/inet.h>
#include <netinet/in.h>
#include <netinet/tcp.h>
#include <sys/socket.h>
#include <unistd.h>

namespace SocketOptions {

namespace {

bool setInt(qintptr fd, int level, int name, int value)
{
    return setsockopt(int(fd), level, name, &value, sizeof value) == 0;
}

int getInt(qintptr fd, int level, int name)
{
    int value = 0;
    socklen_t size = sizeof value;
    return getsockopt(int(fd), level, name, &value, &size) == 0 ? value : 0;
}

} // namespace

bool setKeepAlive(qintptr descriptor, const KeepAlive& timing)
{
    return setInt(descriptor, SOL_SOCKET, SO_KEEPALIVE, 1) &&
           setInt(descriptor, IPPROTO_TCP, TCP_KEEPIDLE, timing.idleSeconds) &&
           setInt(descriptor, IPPROTO_TCP, TCP_KEEPINTVL, timing.intervalSeconds) &&
           setInt(descriptor, IPPROTO_TCP, TCP_KEEPCNT, timing.probes);
}

KeepAlive keepAlive(qintptr descriptor)
{
    if (getInt(descriptor, SOL_SOCKET, SO_KEEPALIVE) == 0) {
        return {0, 0, 0};
    }
    return {getInt(descriptor, IPPROTO_TCP, TCP_KEEPIDLE),
            getInt(descriptor, IPPROTO_TCP, TCP_KEEPINTVL),
            getInt(descriptor, IPPROTO_TCP, TCP_KEEPCNT)};
}

QString peerAddress(qintptr descriptor)
{
    sockaddr_storage peer{};
    socklen_t size = sizeof peer;
    if (getpeername(int(descriptor), reinterpret_cast<sockaddr*>(&peer), &size) != 0) {
        return {};
    }
    char text[INET6_ADDRSTRLEN] = {};
    if (peer.ss_family == AF_INET) {
        const auto* v4 = reinterpret_cast<const sockaddr_in*>(&peer);
        inet_ntop(AF_INET, &v4->sin_addr, text, sizeof text);
    } else if (peer.ss_family == AF_INET6) {
        const auto* v6 = reinterpret_cast<const sockaddr_in6*>(&peer);
        if (IN6_IS_ADDR_V4MAPPED(&v6->sin6_addr)) {
            // A dual-stack listener sees IPv4 peers as mapped addresses; they are listed dotted.
            inet_ntop(AF_INET, &v6->sin6_addr.s6_addr[12], text, sizeof text);
        } else {
            inet_ntop(AF_INET6, &v6->sin6_addr, text, sizeof text);
        }
    }
    return QString::fromLatin1(text);
}

void discard(qintptr descriptor)
{
    // A zero linger turns the close into a reset: no FIN_WAIT or TIME_WAIT state is kept for a
    // connection refused in a flood.
    const linger now{1, 0};
    setsockopt(int(descriptor), SOL_SOCKET, SO_LINGER, &now, sizeof now);
    ::close(int(descriptor));
}

} // namespace SocketOptions
