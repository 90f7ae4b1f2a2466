// The print windows plug into the main window's menus through the child-window
// registration (shell/ChildFactories.h), as the editors do.
#pragma once

// Registers every print window; the program and the tests call it before they build the
// main window.
void RegisterPrintingWindows();
