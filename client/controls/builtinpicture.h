// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QPixmap>

// The lock screen's own picture, shown when no picture show runs or its folder holds no
// pictures. Drawn for this agent (client/controls/artwork/makeartwork.cpp).
QPixmap builtInLockPicture();
