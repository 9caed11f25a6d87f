// SPDX-License-Identifier: Apache-2.0
#include "server/core/agentlink.h"

namespace {
AgentLink* g_link = nullptr;
}

AgentLink* AgentLink::instance()
{
    return g_link;
}

void AgentLink::setInstance(AgentLink* link)
{
    g_link = link;
}
