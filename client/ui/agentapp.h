// SPDX-License-Identifier: Apache-2.0
#pragma once

// The agent's start: one instance, its settings keys, the console connection (through the
// connection dialog the first time), the workstation locked behind the lock screen, and the
// wake listener. Returns the process's exit status.
int runAgent(int argc, char** argv);
