#pragma once
#include <cstdint>

#include "zenuModule/src/Types.h"

// Readings of the values a push carries and of the stored columns.

// atoi with the result held to the int range instead of wrapping.
int ReadInt(const CString& text);
// atoi of a stored identifier, taken as the unsigned 32-bit value it was.
RecordGID ReadGID(const CString& text);
// A positive identifier from the leading decimal digits; 0 when there is none,
// it does not fit 32 bits or it is the reserved one.
RecordGID ParseGID(const CString& text);
// Megabytes from the size text of a media-info task list.
double XmlTaskSizeMB(const CString& size);
// Megabytes from the size text of a movie pushed at once.
double PushNowSizeMB(const CString& size);
// The value as "%.2f" would write it, for a column bound instead of spliced.
double RoundAsStored(double value);
// Megabytes held to what the size column can give back (0 to 2^31 - 1).
double ClampSizeMB(double megabytes);
// The last element of a movie's target path built from its title: separators and
// control characters replaced, dot names and empty titles replaced by the movie
// id, cut to what a file name can hold.
CString SafePathElement(const CString& title, RecordGID gid);
