#include "HttpWait.h"

#include <chrono>
#include <thread>

#include "VirtualLoop.h"
#include "zenuModule/src/HttpReqControl.h"
#include "zenuModule/src/IntfHttpReq.h"

SHttpOutcome WaitForRequest(unsigned long id, int limitMs) {
  SHttpOutcome outcome;
  auto* http = CIntfHttpReq::GetInstance();
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (std::chrono::steady_clock::now() < end) {
    if (http->GetHttpError(id, outcome.strError)) {
      http->DelRequestInfo(id);
      outcome.bDone = outcome.bError = true;
      return outcome;
    }
    if (http->ReceiveHttp(id, outcome.buf)) {
      outcome.bDone = true;
      return outcome;
    }
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return outcome;
}

bool WaitForWorkers(int limitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (CHttpReqControl::GetThreadCount() != 0) {
    if (std::chrono::steady_clock::now() >= end) return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}

bool PumpUntil(CVirtualLoop& loop, const std::function<bool()>& done, int limitMs) {
  const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(limitMs);
  while (!done()) {
    if (std::chrono::steady_clock::now() >= end) return false;
    loop.AdvanceBy(1000);
    std::this_thread::sleep_for(std::chrono::milliseconds(2));
  }
  return true;
}
