// SPDX-License-Identifier: Apache-2.0
// Text the agent's link code and its constructor's connect timeout share.
#pragma once

#include <QString>

namespace AgentLinkText {

// The lock screen's caption while the agent waits to reach the console again.
inline const QString BrokenCaption =
    QStringLiteral("Server Connection Broken, Wait connecting to Server...");

} // namespace AgentLinkText
