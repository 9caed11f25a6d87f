// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QHostAddress>
#include <QString>

#include <functional>

// What the tests that run the real programs share: where the programs are, a free port, and
// waiting for a condition while the event loop runs.
namespace SystemTest {

// The built program of that name (the build's bin folder, $VK_BIN_DIR).
QString binary(const char* name);
// A port nobody listens on at that address right now, and none the kernel gives to outgoing
// connections meanwhile.
quint16 freePort(const QHostAddress& on = QHostAddress::LocalHost);
// Runs the event loop until the condition holds or the time is up; the condition's last answer.
bool waitUntil(const std::function<bool()>& condition, int ms = 30000);

} // namespace SystemTest
