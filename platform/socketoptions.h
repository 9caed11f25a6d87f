// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>
#include <QtGlobal>

// Options on the link's TCP sockets that Qt does not reach, and the few things done with a bare
// descriptor before any socket object exists.
namespace SocketOptions {

// Keep-alive probing: an idle connection is probed after `idleSeconds`, then every
// `intervalSeconds`, and given up after `probes` unanswered probes. The defaults notice a peer
// that lost power within a minute (20 + 3 x 10 s) instead of the system's two hours.
struct KeepAlive
{
    int idleSeconds = 20;
    int intervalSeconds = 10;
    int probes = 3;
    bool operator==(const KeepAlive&) const = default;
};

// Turns keep-alive probing on with those timings; false (and nothing logged) when the system
// refuses any of them.
bool setKeepAlive(qintptr descriptor, const KeepAlive& timing = {});
// The probing in force on the descriptor; all zero when keep-alive is off or unknown.
KeepAlive keepAlive(qintptr descriptor);

// The dotted address of the peer of a connected descriptor ("" when unknown).
QString peerAddress(qintptr descriptor);
// Resets and closes a connection that is not wanted, without any lingering.
void discard(qintptr descriptor);

} // namespace SocketOptions
