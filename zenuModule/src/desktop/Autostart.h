#pragma once
#include "../Types.h"

// Start at login through an XDG autostart entry: <config>/autostart/<id>.desktop,
// where <config> is $XDG_CONFIG_HOME or, without it, $HOME/.config. Texts are GBK;
// the entry itself is UTF-8 as desktop entries must be.

// The entry's path (GBK).
CString AutostartEntryPath(const CString& id);
// Writes the entry; its Exec line runs program (quoted when it needs to be) with
// the arguments text appended after one space. Creates the folders it needs.
bool WriteAutostartEntry(const CString& id, const CString& displayName, const CString& program,
                         const CString& arguments);
// The command line of an enabled application entry, the program unquoted again:
// program, one space, arguments. False when there is no such entry, it is not an
// application, it is hidden, or it has no Exec line.
bool ReadAutostartCommand(const CString& id, CString* commandLine);
// True when the entry existed and is gone.
bool RemoveAutostartEntry(const CString& id);
