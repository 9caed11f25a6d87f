// SPDX-License-Identifier: Apache-2.0
#pragma once

#include <QString>

// The console's help pages. They are used when present and never required: a console without
// them works the same, it only has nothing to show on F1.
namespace HelpFile {

// The start page of the help for a program in `programDir`, or "" when there is none.
// $VANTIROKIT_HELP, when set, names the start page or its folder and is the only place looked
// at. Otherwise the installed layout (<programDir>/../share/vantirokit/help, which the build
// tree mirrors) comes first, then a help folder right beside the program.
QString locate(const QString& programDir);

// locate() for the running program.
QString locate();

} // namespace HelpFile
