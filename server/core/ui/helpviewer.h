#pragma once

// Shows the console's help pages in the desktop's browser.
namespace HelpViewer {

// True when there is help to show (HelpFile::locate()).
bool available();
// Opens the help's start page; false, and nothing shown, when there is no help or no program
// took the page.
bool show();

} // namespace HelpViewer
