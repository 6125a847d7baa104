#pragma once
#include "../Types.h"

// Windows-style INI files with the private-profile-string semantics: one key read
// or written at a time, section and key names compared without regard to ASCII
// case, a missing file, section or key gives the default, and a write leaves every
// other line of the file as it was. Paths and texts are GBK.

// The value (spaces around it removed, one pair of enclosing quotes dropped), cut
// to bufferSize - 1 bytes as a fixed read buffer would; the default when missing.
CString IniGetString(const CString& file, const CString& section, const CString& key,
                     const CString& defaultValue, size_t bufferSize = 255);
// The leading decimal number of the value; the default when the key is missing.
int IniGetInt(const CString& file, const CString& section, const CString& key, int defaultValue);
// Sets key=value, adding the section or the key when missing and creating the
// file (not its folder). False when the file cannot be written or a name or the
// value holds a line break, which would make a second line out of it.
bool IniWriteString(const CString& file, const CString& section, const CString& key,
                    const CString& value);
// Removes the key; true when the file no longer holds it.
bool IniDeleteKey(const CString& file, const CString& section, const CString& key);
