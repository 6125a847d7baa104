#include "RequestFraming.h"

#include <zlib.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <vector>

namespace {
SFramedRequest Refuse(int status) {
  SFramedRequest out;
  out.eState = SFramedRequest::Refused;
  out.iStatus = status;
  return out;
}

std::string Lower(std::string text) {
  std::transform(text.begin(), text.end(), text.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  return text;
}

std::string Trim(const std::string& text) {
  const size_t begin = text.find_first_not_of(" \t");
  if (begin == std::string::npos) return std::string();
  const size_t end = text.find_last_not_of(" \t\r");
  return text.substr(begin, end - begin + 1);
}

struct SHeader {
  std::string strName;  // lower case
  std::string strValue;
  std::string strLine;  // as received, without its line end
};

// False when the body would not fit (tooLarge) or cannot be decoded.
bool Inflate(const std::string& coded, size_t limit, std::string& plain, bool& tooLarge) {
  z_stream z{};
  // 32: gzip or zlib, told apart by the header.
  if (inflateInit2(&z, 15 + 32) != Z_OK) return false;
  z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(coded.data()));
  z.avail_in = static_cast<uInt>(coded.size());
  std::vector<char> piece(16 * 1024);
  int rc = Z_OK;
  while (rc != Z_STREAM_END) {
    z.next_out = reinterpret_cast<Bytef*>(piece.data());
    z.avail_out = static_cast<uInt>(piece.size());
    rc = inflate(&z, Z_NO_FLUSH);
    if (rc != Z_OK && rc != Z_STREAM_END) break;
    const size_t got = piece.size() - z.avail_out;
    if (plain.size() + got > limit) {
      tooLarge = true;
      break;
    }
    plain.append(piece.data(), got);
    if (rc == Z_OK && got == 0 && z.avail_in == 0) break;  // truncated input
  }
  inflateEnd(&z);
  return rc == Z_STREAM_END;
}
}  // namespace

SFramedRequest FrameRequest(const std::string& input, const SRequestLimits& limits) {
  // The head ends at the first empty line; bare LF line ends count as well.
  size_t headEnd = std::string::npos;
  size_t bodyStart = 0;
  int lines = 0;
  for (size_t pos = 0; pos < input.size();) {
    const size_t nl = input.find('\n', pos);
    if (nl == std::string::npos) break;
    const bool empty = nl == pos || (nl == pos + 1 && input[pos] == '\r');
    if (empty && lines > 0) {
      headEnd = pos;
      bodyStart = nl + 1;
      break;
    }
    if (!empty && ++lines > limits.maxHeaderLines + 1) return Refuse(431);
    pos = nl + 1;
  }
  if (headEnd == std::string::npos) {
    if (input.size() > limits.maxHeadBytes) return Refuse(431);
    return {};
  }
  if (bodyStart > limits.maxHeadBytes) return Refuse(431);

  std::vector<SHeader> headers;
  std::string requestLine;
  for (size_t pos = 0; pos < headEnd;) {
    size_t nl = input.find('\n', pos);
    std::string line = input.substr(pos, nl - pos);
    pos = nl + 1;
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty()) continue;  // blank lines before the request line
    if (requestLine.empty()) {
      requestLine = line;
      continue;
    }
    const size_t colon = line.find(':');
    if (colon == std::string::npos || colon == 0) return Refuse(400);
    headers.push_back({Lower(Trim(line.substr(0, colon))), Trim(line.substr(colon + 1)), line});
  }

  size_t length = 0;
  bool hasLength = false;
  std::string coding;
  for (const SHeader& h : headers) {
    if (h.strName == "transfer-encoding") return Refuse(411);
    if (h.strName == "content-encoding") {
      if (!coding.empty()) return Refuse(415);
      coding = Lower(h.strValue);
    }
    if (h.strName != "content-length") continue;
    if (hasLength || h.strValue.empty() || h.strValue.size() > 12 ||
        h.strValue.find_first_not_of("0123456789") != std::string::npos) {
      return Refuse(400);
    }
    hasLength = true;
    length = std::stoull(h.strValue);
  }
  if (length > limits.maxBodyBytes) return Refuse(413);
  if (input.size() - bodyStart < length) return {};

  SFramedRequest out;
  out.eState = SFramedRequest::Complete;
  out.nConsumed = bodyStart + length;
  const std::string body = input.substr(bodyStart, length);
  if (coding.empty() || coding == "identity") {
    out.strRequest = input.substr(0, out.nConsumed);
    return out;
  }
  if (coding != "gzip" && coding != "deflate" && coding != "x-gzip") return Refuse(415);
  std::string plain;
  bool tooLarge = false;
  if (!Inflate(body, limits.maxDecodedBodyBytes, plain, tooLarge))
    return Refuse(tooLarge ? 413 : 400);
  out.strRequest = requestLine + "\r\n";
  for (const SHeader& h : headers) {
    if (h.strName == "content-encoding" || h.strName == "content-length") continue;
    out.strRequest += h.strLine + "\r\n";
  }
  out.strRequest += "Content-Length: " + std::to_string(plain.size()) + "\r\n\r\n" + plain;
  return out;
}
