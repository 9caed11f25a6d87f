// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// Where each program keeps its files. $VANTIROKIT_HOME, when set, holds all of them;
// otherwise the settings file lives in the per-user config folder and the console's
// database in the per-user data folder.
namespace Paths {
QString settingsDir();
QString settingsFile(); // settingsDir()/vantirokit.conf
QString dataDir();      // the console's database folder
QString databaseFile(); // dataDir()/server.db
// Folder for report exports and backups when none is configured.
QString defaultExportDir();
} // namespace Paths
