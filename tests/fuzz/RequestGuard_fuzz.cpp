// What a local process can send the loopback server: the framing of a request
// within its limits, then the host, origin and page-action checks on it.
#include <httplib.h>

#include <cstdint>
#include <cstdlib>
#include <string>

#include "components/common/RequestFraming.h"
#include "components/localserver/RequestGuard.h"

namespace {
void Check(const std::string& request) {
  httplib::Request req;
  size_t pos = request.find("\r\n");
  const std::string line = request.substr(0, pos);
  const size_t sp = line.find(' ');
  req.method = line.substr(0, sp);
  req.path = sp == std::string::npos ? std::string()
                                     : line.substr(sp + 1, line.find(' ', sp + 1) - sp - 1);
  while (pos != std::string::npos) {
    const size_t next = request.find("\r\n", pos + 2);
    const std::string header =
        request.substr(pos + 2, next == std::string::npos ? std::string::npos : next - pos - 2);
    if (header.empty()) {
      req.body = next == std::string::npos ? std::string() : request.substr(pos + 4);
      break;
    }
    const size_t colon = header.find(':');
    if (colon != std::string::npos) {
      req.headers.emplace(
          header.substr(0, colon),
          header.substr(colon + 1 + (colon + 1 < header.size() && header[colon + 1] == ' ')));
    }
    pos = next;
  }
  req.local_port = 8123;
  const SGuardVerdict plain = CheckHostAndOrigin(req);
  const SGuardVerdict action = CheckPageAction(req, "0123456789abcdef0123456789abcdef");
  // An action passes only where the plain checks pass.
  if (action.bAllowed && !plain.bAllowed) std::abort();
  if (!plain.bAllowed && plain.iStatus < 400) std::abort();
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  const std::string input(reinterpret_cast<const char*>(data), size);
  SRequestLimits limits;
  limits.maxHeadBytes = 2048;
  limits.maxHeaderLines = 16;
  limits.maxBodyBytes = 1024;
  limits.maxDecodedBodyBytes = 4096;
  const SFramedRequest framed = FrameRequest(input, limits);
  if (framed.eState == SFramedRequest::Complete) {
    if (framed.nConsumed > input.size()) std::abort();
    if (framed.strRequest.size() > limits.maxHeadBytes + limits.maxDecodedBodyBytes + 64)
      std::abort();
    Check(framed.strRequest);
  } else if (framed.eState == SFramedRequest::Refused) {
    if (framed.iStatus < 400) std::abort();
  }
  return 0;
}
