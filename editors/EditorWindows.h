// The editor windows plug into the main window's menus through the child-window
// registration (shell/ChildFactories.h): the shell cannot link this library, which
// builds on it.
#pragma once

// Registers every editor window; the program and the tests call it before they build
// the main window.
void RegisterEditorWindows();
