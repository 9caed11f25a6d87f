// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>
#include <QtGlobal>

// Milliseconds since the computer started, suspend included, and never moved by setting the
// date and time: the reference the console holds its wall clock against.
namespace BootTime {
qint64 msecs();
// Names this run of the computer, from one start to its next: msecs() of different runs
// cannot be compared. Empty when the system does not say.
QString bootId();
} // namespace BootTime
