#pragma once
#include <vector>

#include "zenuModule/src/Types.h"

// Whether a record's download folder may be removed with the record: it must
// lie directly inside the save folder it was made in, which is today's save
// folder or, for a record pushed under an earlier one, the folder named for the
// record itself (ownName) with no link on the way. Never the save folder, the
// home or program folder or anything holding them. All paths GBK.
bool IsOwnRecordFolder(const CString& folder, const CString& saveFolder, const CString& ownName);

// The movie files of a downloaded record, in listing order: every file of at
// least 2 MiB, or else the largest file (a tiny torrent still plays). Empty
// when the folder holds no file at all.
std::vector<CString> PlayableFiles(const CString& folder);

constexpr int64_t kMinPlayableBytes = 2097152;
