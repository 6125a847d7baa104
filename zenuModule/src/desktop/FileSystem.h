#pragma once
#include <cstdint>
#include <cstdio>
#include <vector>

#include "../Types.h"

// File-system access with GBK paths, converted to the system's UTF-8 at the call.
CString ToSysPath(const CString& gbkPath);
bool PathExists(const CString& path);
bool IsFolder(const CString& path);
bool MakeFolder(const CString& path);
bool RemoveFile(const CString& path);
bool RemoveEmptyFolder(const CString& path);
bool RenamePath(const CString& from, const CString& to);
// A symbolic link at link naming target; its target, empty when path is no link.
bool MakeLink(const CString& target, const CString& link);
CString LinkTarget(const CString& path);
FILE* OpenFile(const CString& path, const char* mode);
bool ReadWholeFile(const CString& path, CString& content);
bool WriteWholeFile(const CString& path, const CString& content);
bool AppendToFile(const CString& path, const CString& content);
// Entry names (GBK) of a folder without "." and ".."; empty when it cannot be read.
std::vector<CString> ListFolder(const CString& path);
// Whether a folder can be opened for listing.
bool CanListFolder(const CString& path);
// A symbolic link counts as a file here, so that deleting never follows it.
bool IsRealFolder(const CString& path);
// The size of a regular file (links followed); false for anything else.
bool RegularFileSize(const CString& path, int64_t& size);
// The path with every link resolved; empty when it does not exist.
CString RealPath(const CString& path);
CString GetCurrentFolder();
bool SetCurrentFolder(const CString& path);
