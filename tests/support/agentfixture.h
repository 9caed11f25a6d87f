// SPDX-License-Identifier: Apache-2.0
#pragma once

#include "client/core/agentsettings.h"
#include "common/clock.h"
#include "support/testhome.h"

#include <QtTest>

#include <memory>

// A fresh home with the agent's settings keys made, and the clock set back afterwards.
// Header-only: it needs the agent's settings, which the support library does not link.
class AgentFixture
{
protected:
    std::unique_ptr<TestHome> m_home;
    std::unique_ptr<AgentSettings> m_settings;

    // Power requests of in-process agents must never reach the machine.
    static void keepPowerOff()
    {
        qputenv("VANTIROKIT_POWER_COMMAND", "true");
        qputenv("VANTIROKIT_WAKE_PORT", "0");
    }
    void openAgentHome()
    {
        m_home = std::make_unique<TestHome>();
        m_settings = std::make_unique<AgentSettings>();
        m_settings->createKeys();
    }
    void closeAgentHome()
    {
        Clock::reset();
        m_settings.reset();
        m_home.reset();
    }
};
