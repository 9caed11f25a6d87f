// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

class Database;

// The checks the console window makes before it opens a session window: each returns the
// message to show when the window must not open, or an empty text.
namespace ConsoleCommands {

QString startSessionRefusal(Database& db);
// Also clears the job-work quantities of the bill about to be prepared.
QString endSessionRefusal(Database& db);
QString transferRefusal(Database& db);
QString toolsRefusal(Database& db);

} // namespace ConsoleCommands
