#pragma once
#include <cstdint>
#include <memory>

#include "zenuModule/src/Types.h"
#include "zenuModule/src/desktop/Automation.h"

// Drives the sharing mode of the BitTorrent component, "zenu.BTShare": it
// keeps offering finished movies to other clients beside the one download of
// "zenu.BTDownload". Like the downloader's driver, a failed call leaves it
// unusable until it is created again; a refusal (-1) is not a failure.
class CBTShare final {
 public:
  CBTShare() = default;
  CBTShare(const CBTShare&) = delete;
  CBTShare& operator=(const CBTShare&) = delete;

  // Raises "CoCreateInstance failure" or "GetIDsOfNames:%s() failure".
  void CreateInstance();
  void DestroyInstance();
  // args: the movie's argument line as StartBT gets it. 0 when shared, -1 when
  // refused (GetLastError says why).
  int Share(RecordGID ulGID, const CString& args);
  // Returns once the movie's files are closed; 0, or -1 when it was not shared.
  int Unshare(RecordGID ulGID);
  int SetUploadLimit(int kbps);  // 0 = no limit
  int SetMaxShared(int count);
  // "<count> <upload KB/s>", e.g. "3 512.0"; false when the text is not that.
  bool GetShareStatus(int* count, double* kbps);
  CString GetLastError();
  void Exit();

  bool Usable() const { return iState == 1 && pDisp; }
  bool NameHeldByOther() const { return m_lastCreateResult == AUTO_E_NOT_OURS; }

  static constexpr const char* kProgID = "zenu.BTShare";

 private:
  enum EMethod {
    M_SHARE,
    M_UNSHARE,
    M_SETUPLOADLIMIT,
    M_SETMAXSHARED,
    M_GETSHARESTATUS,
    M_GETLASTERROR,
    M_EXIT,
    M_COUNT
  };
  // The component's answer; a failed call makes the driver unusable and raises.
  CString Call(EMethod method, const std::vector<SAutomationArg>& args, const char* operation);
  int CallForInt(EMethod method, const std::vector<SAutomationArg>& args, const char* operation);

  int iState = 0;
  std::unique_ptr<IAutomationObject> pDisp;
  DISPID m_dispIDs[M_COUNT] = {};
  int32_t m_lastCreateResult = AUTO_S_OK;
};
