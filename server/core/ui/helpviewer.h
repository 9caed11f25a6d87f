// SPDX-License-Identifier: Apache-2.0
#pragma once

class QWidget;

// Shows the console's help pages: in the desktop's browser, or, when no browser takes them, in
// a help window of the console's own.
namespace HelpViewer {

// True when there is help to show (HelpFile::locate()).
bool available();
// Opens the help's start page; false, and nothing shown, when there is no help. The console's
// own window belongs to `parent` (or to the modal window in front, which would otherwise
// block it); one such window is shown at a time.
bool show(QWidget* parent = nullptr);
// The same in the console's own window, whether or not there is a browser.
bool showInOwnWindow(QWidget* parent = nullptr);

} // namespace HelpViewer
