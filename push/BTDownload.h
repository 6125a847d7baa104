#pragma once
#include <memory>

#include "PortSelect.h"
#include "zenuModule/src/Types.h"
#include "zenuModule/src/desktop/Automation.h"

// Drives the external BitTorrent downloader component "zenu.BTDownload": one
// download at a time, polled for its figures. Any failed call (except
// GetOtherRunInfo) leaves the driver unusable for the rest of the process.
// Creates the BitTorrent component behind progID and looks up the ids of its
// count methods; raises "CoCreateInstance failure" (naming a stranger that
// holds the name) or "GetIDsOfNames:<name>() failure" under operation.
// lastResult gets the creation's own result.
std::unique_ptr<IAutomationObject> CreateBTComponent(const char* progID, const char* const* names,
                                                     int count, DISPID* ids, int32_t& lastResult,
                                                     const char* operation);

class CBTDownload final {
 public:
  CBTDownload() = default;
  CBTDownload(const CBTDownload&) = delete;
  CBTDownload& operator=(const CBTDownload&) = delete;

  void CreateInstance();
  void DestroyInstance();
  // args: "--responsefile \"<torrent>\" --saveas \"<folder>\""; the port range and the
  // configured rate limit are appended.
  BOOL StartBT(CString args);
  double GetPercent();
  int GetLeftTime();
  int GetPeerConnNum();
  double GetDownloadRate();
  CString GetLastError();
  CString GetOtherRunInfo(int kind);
  void Exit();

  // "--responsefile \"<torrent>\" --saveas \"<folder>\"", quoted for the component.
  static CString ArgLine(const CString& torrent, const CString& saveas);
  // The sources the component may use: the service's address (its web seeds)
  // and, when both are on this machine, the configured tracker.
  static CString SourceArgs();

  int GetState() const { return iState; }
  // Whether the last CreateInstance failed because another process, which
  // this program did not start, holds the component's name.
  bool NameHeldByOther() const { return m_lastCreateResult == AUTO_E_NOT_OURS; }

  static constexpr const char* kProgID = "zenu.BTDownload";

 private:
  enum EMethod {
    M_ISRUNNING,
    M_STARTBT,
    M_GETDOWNLOADEDPERCENT,
    M_GETLEFTTIME,
    M_GETPEERCONNNUM,
    M_GETDOWNLOADRATE,
    M_EXIT,
    M_GETLASTERROR,
    M_GETOTHERRUNINFO,
    M_COUNT
  };

  bool Usable() const;
  int32_t Invoke(EMethod method, const CString* arg, CString& result);

  int iState = 0;
  std::unique_ptr<IAutomationObject> pDisp;
  DISPID m_dispIDs[M_COUNT] = {};
  CPortSelect m_portSelect;
  int32_t m_lastCreateResult = AUTO_S_OK;
};
