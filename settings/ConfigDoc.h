#pragma once
#include <functional>

#include "WinReg.h"
#include "zenuModule/src/Singleton.h"
#include "zenuModule/src/Types.h"

class IPushMethodSink;

// The program's settings: global ones in config.ini, per-user ones in the user's
// own config.ini, display sizes in UI.ini, and the start-at-login entry.
class CConfigDoc final : public TSingleton<CConfigDoc> {
  friend class TSingleton<CConfigDoc>;

 public:
  CConfigDoc(const CConfigDoc&) = delete;
  CConfigDoc& operator=(const CConfigDoc&) = delete;

  CString GetSaveas() const { return m_strSaveas; }
  int GetAutoLogin() const { return m_iAutoLogin; }
  int GetAutoStart() const { return m_bAutoStart; }
  int GetEvalDays() const { return m_iEvalDays; }
  int GetAutoDownload() const { return m_bAutoDownload; }
  int GetRateLimit() const { return m_iRateLimit; }
  int GetPort() const { return m_iPort; }
  // Sharing finished movies with other clients.
  int GetShareAfterDownload() const { return m_bShareAfterDownload; }
  int GetUploadLimit() const { return m_iUploadLimit; }  // KB/s, 0 = none
  int GetMaxShared() const { return m_iMaxShared; }
  int IsFirstRun() const { return m_bFirst; }
  void SetPort(int port) { m_iPort = port; }

  void LoadConfig();
  void SaveConfig();
  void InitFirstStart();
  // "-1000" when the item is missing.
  CString LoadUserConfigItem(const CString& section, const CString& key);
  void SaveUserConfigItem(const CString& section, const CString& key, const CString& value);
  CString LoadGlobalConfigItem(const CString& section, const CString& key);
  void SaveLastEvalRecord(RecordGID ulGID, int iEval);
  void LoadLastEvalRecord(RecordGID* ulGID, int* iEval);
  void OpenConfigDlg();

  // The push engine registers itself here; not owned.
  void SetPushMethodSink(IPushMethodSink* sink) { m_pPushMethodSink = sink; }
  IPushMethodSink* GetPushMethodSink() const { return m_pPushMethodSink; }
  // Told when the dialog changed a sharing setting, so that it applies at once.
  void SetShareSettingsListener(std::function<void()> listener) {
    m_shareListener = std::move(listener);
  }

  static constexpr int kDefaultUploadLimit = 1024;
  static constexpr int kDefaultMaxShared = 20;
  static constexpr int kMaxUploadLimit = 1024 * 1024;
  // More would keep too many files open and announce too much.
  static constexpr int kMaxMaxShared = 500;

  static const char* MissingItem() { return "-1000"; }

 private:
  CConfigDoc();
  // The user's videos folder joined with "电影".
  static CString DefaultSaveas();
  static CString GlobalFile();
  static CString UserFile();
  static CString UIFile();

  int m_bFirst = 1;
  int m_iAutoLogin = 1;
  int m_bAutoStart = 0;
  int m_bAutoDownload = 1;
  int m_iRateLimit = 5120;
  CString m_strSaveas;
  int m_iEvalDays = 60;
  int m_iPort = 0;
  int m_bShareAfterDownload = 1;
  int m_iUploadLimit = kDefaultUploadLimit;
  int m_iMaxShared = kDefaultMaxShared;
  std::function<void()> m_shareListener;
  CWinReg m_winReg;
  IPushMethodSink* m_pPushMethodSink = nullptr;
};
