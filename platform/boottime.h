#pragma once

#include <QtGlobal>

// Milliseconds since the computer started, suspend included, and never moved by setting the
// date and time: the reference the console holds its wall clock against.
namespace BootTime {
qint64 msecs();
}
