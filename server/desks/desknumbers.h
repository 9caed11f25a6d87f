// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QtGlobal>

// Connection indexes on a database shared by several desks: desk d numbers its connections
// d + 100, d + 200, ..., so any stored index names the desk that carries the connection and no
// two desks ever hand out the same one. Index 0 stays the console's own computer everywhere.
// A console on its own file is desk 0 and numbers 1, 2, 3 ... as it always did.
// Header-only: the link numbers its connections with it without depending on the desks.
namespace DeskNumbers {

inline constexpr qint64 Span = 100;
// Desk numbers a shared database can give out.
inline constexpr int MaxDesk = int(Span) - 1;

inline constexpr int owner(qint64 index)
{
    return index <= 0 ? 0 : int(index % Span);
}

// The smallest index above `after` that belongs to `desk`.
inline constexpr qint64 nextIndex(qint64 after, int desk)
{
    if (desk == 0) {
        return after + 1;
    }
    // n * 100 + desk with n from 1: a shared database's indexes never fall below 100.
    const qint64 n = after < Span ? 1 : after / Span;
    const qint64 index = n * Span + desk;
    return index > after ? index : index + Span;
}

// On a console of its own everything is its own; the own computer (index 0) is every desk's.
inline constexpr bool isOwn(qint64 index, int desk)
{
    return desk == 0 || index == 0 || owner(index) == desk;
}

} // namespace DeskNumbers
