// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// What the workstation is called and where it is on the network.
namespace HostInfo {

// The machine's host name.
QString hostName();

// The machine's own IPv4 address: the first address of an interface that is up, running and
// not the loopback; "127.0.0.1" when there is none.
QString localIPv4();

} // namespace HostInfo
