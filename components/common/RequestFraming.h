#pragma once
#include <cstddef>
#include <string>

// Bounds of one HTTP request as it arrives, before any handler sees it.
struct SRequestLimits {
  size_t maxHeadBytes = 16 * 1024;  // request line and headers
  int maxHeaderLines = 64;
  size_t maxBodyBytes = 64 * 1024;          // as sent
  size_t maxDecodedBodyBytes = 256 * 1024;  // after Content-Encoding
};

// What the bytes received so far on a connection amount to.
struct SFramedRequest {
  enum EState { NeedMore, Complete, Refused } eState = NeedMore;
  int iStatus = 0;         // the refusal's status
  std::string strRequest;  // Complete: the request as handlers should see it
  size_t nConsumed = 0;    // Complete: bytes of the input it used
};

// Frames one request at the start of `input`: the head within its limits, a
// Content-Length body (chunked bodies are refused: 411), gzip or deflate bodies
// decoded within their limit and handed on plain with a fitting Content-Length.
SFramedRequest FrameRequest(const std::string& input, const SRequestLimits& limits);
