// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

#include <functional>

// The codes printed on tickets. Twelve characters from an alphabet without look-alikes (no 0
// and O, no 1, I and L, no 2 and Z, no 5 and S, no 8 and B, no 6 and G), drawn from the
// system's random source: at 25^12 codes, guessing one is hopeless even before the throttle.
namespace TicketCodes {

inline const QString Alphabet = QStringLiteral("ACDEFGHJKLMNPQRTUVWXY3479");
inline constexpr int Length = 12;

// A new random code. `taken` tells whether a code is already in use; a taken code is drawn
// again (returns empty only when the random source keeps hitting taken codes).
QString generate(const std::function<bool(const QString&)>& taken = {});
// What the customer typed, as stored: upper case, without spaces and dashes.
QString normalise(const QString& typed);
// "XXXX-XXXX-XXXX", for the printed slip.
QString grouped(const QString& code);

} // namespace TicketCodes
