#pragma once
#include "Buffer.h"
#include "HttpState.h"
#include "Singleton.h"

// One request's entry in the engine's table.
struct SThreadInfo {
  BOOL bFinished = FALSE;
  CBuffer bufResult;
  CString strUrl;
  double dReceivedKB = 0.0;
  double dSpeedKB = 0.0;
  double dTotalKB = 0.0;
  unsigned long ulRequestID = 0;
  BOOL bError = FALSE;
  CString strError;
  BOOL bExitSign = FALSE;
};

// The HTTP GET engine: one worker thread per request, polled by id from the
// user-interface thread. The table, its lock and the counters are process-wide
// and outlive this object, so workers never touch the singleton itself.
class CHttpReqControl final : public TSingleton<CHttpReqControl> {
  friend class TSingleton<CHttpReqControl>;

 public:
  CHttpReqControl(const CHttpReqControl&) = delete;
  CHttpReqControl& operator=(const CHttpReqControl&) = delete;

  unsigned long Request(const CString& strUrl);
  bool OpenUrlSync(const CString& strUrl, CString& strResult);
  BOOL GetState(unsigned long ulRequestID, SHttpState& state);
  bool GetHttpError(unsigned long ulRequestID, CString& strError);
  BOOL Receive(unsigned long ulRequestID, CBuffer& buf);
  void ExitHTTP(unsigned long ulRequestID);
  void ExitAllHTTP();
  void DelRequestInfo(unsigned long ulRequestID);
  BOOL CheckNet();

  // Worker threads still running; the shutdown waits for 0.
  static long GetThreadCount();
  static size_t GetRequestCount();  // entries in the table
  // The stall bound of every transfer, in seconds without a byte (30 unless set).
  static long GetStallSeconds();
  static void SetStallSeconds(long seconds);

 private:
  CHttpReqControl() = default;

  static unsigned long AddThreadInfo(const CString& strUrl);
  static void RemoveThreadInfo(unsigned long ulRequestID);
  static void HttpThread(unsigned long ulRequestID);
  static void ThreadProc_HttpThread(unsigned long ulRequestID);
  static void GetUrl(unsigned long ulRequestID, CString& strUrl);
  static void OpenUrl(unsigned long ulRequestID, const CString& strUrl);
  static void SetHttpState(unsigned long ulRequestID, const SHttpState& state);
  static void SaveResult(unsigned long ulRequestID, CBuffer& buf);
  static void ThreadExcept_HttpThread(unsigned long ulRequestID, const CString& strError);
  static bool CheckExitSign(unsigned long ulRequestID);
  static bool ThreadQueryExit(unsigned long ulRequestID);
};
