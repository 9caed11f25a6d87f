// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// Starting a program when the user logs in: an XDG autostart entry
// ($XDG_CONFIG_HOME/autostart/<name>.desktop, ~/.config when the variable is unset).
namespace Autostart {

// The entry's file for the given program name.
QString entryFile(const QString& name);

// Enabling writes the entry to start execPath; disabling keeps the entry but marks it hidden,
// which also overrides a system-wide entry of the same name. False when the file could not be
// written (logged).
bool setEnabled(const QString& name, const QString& execPath, bool enabled);

// True when the user's entry exists and is not hidden or switched off.
bool isEnabled(const QString& name);

} // namespace Autostart
