// SPDX-License-Identifier: Apache-2.0
#pragma once

// The console program: builds the application object, runs the start-up sequence with every
// layer's windows wired into the console window, and returns the exit code.
namespace ConsoleApp {
int run(int argc, char** argv);
}
