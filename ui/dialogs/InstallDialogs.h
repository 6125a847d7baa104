#pragma once

// Creates the Qt dialogs and the Qt message box and installs them where the core
// looks for them. Needs a QApplication; call once, on the GUI thread.
void InstallQtDialogs();
// Removes them from the core and destroys them.
void UninstallQtDialogs();
