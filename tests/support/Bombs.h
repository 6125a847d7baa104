#pragma once
#include <string>

// What hostile peers send and what it costs the receiver.

// gzip of `size` zero bytes: about a thousandth of the size.
std::string GzipZeros(size_t size);
// Peak resident memory of a process in kB (VmHWM from /proc), 0 when unknown;
// pid 0 is this process.
long PeakRssKb(long pid = 0);
// Sets this process's peak back to what it holds now (Linux clear_refs).
void ResetPeakRss();
