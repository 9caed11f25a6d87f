// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// Input rules of the connection dialog, kept apart from the window so they can be tested.
namespace ConnectionRules {

// A dotted IPv4 address of four numeric parts, the first at most 239 (no multicast or
// reserved range), the others at most 255.
bool IsValidIPAddress(const QString& text);
// Keys the address field accepts: digits, the dot and Backspace.
bool addressKeyAllowed(QChar c, bool isBackspace);
// The port field may be left only with a whole number in it.
bool portAcceptable(const QString& text);
// The Connect button is usable while the field that just changed is not empty.
inline bool connectEnabled(const QString& changedField)
{
    return !changedField.isEmpty();
}

} // namespace ConnectionRules
