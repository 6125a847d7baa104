#pragma once
#include <cstdint>

#include "zenuModule/src/Types.h"

// Number of columns of the record list and their headers and widths.
constexpr int kRecordColumnCount = 11;
const char* RecordColumnTitle(int iColumn);
int RecordColumnWidth(int iColumn);

// Short duration text: the largest non-zero unit decides.
CString ConvertTime2SimpleString(int64_t span);

// The shown text of a cell from its raw value (the list view's display rule).
CString DisplayPretty(uint32_t iColumn, const CString& strRaw);

// The downloader's state line ("downloading, peers 1, seeds 1[, tracker URL]")
// in the words of the list; any other text (its errors) as it is.
CString TrackerInfoText(const CString& strRaw);
