#include "ConfigDoc.h"

#include <algorithm>
#include <cstdlib>

#include "PushMethodSink.h"
#include "ServiceHostSetting.h"
#include "store/MultiUserMgr.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/ConfigDialog.h"
#include "zenuModule/src/desktop/IniFile.h"
#include "zenuModule/src/desktop/InstalledApps.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
const char kSys[] = "sys";
const char kUser[] = "User";
const char kEval[] = "Eval";

int ReadInt(const CString& file, const char* section, const char* key, const char* def) {
  return std::atoi(IniGetString(file, section, key, def).c_str());
}

int Clamp(int value, int low, int high) { return std::min(std::max(value, low), high); }

void WriteInt(const CString& file, const char* section, const char* key, int value) {
  IniWriteString(file, section, key, StringFormat("%d", value));
}
}  // namespace

CConfigDoc::CConfigDoc() { LoadConfig(); }

CString CConfigDoc::DefaultSaveas() {
  // Where users look for their films, never a folder inside the program's.
  CString folder = UserVideosFolder();
  if (folder.empty()) folder = GetExePath(0);
  while (folder.size() > 1 && folder.back() == '/') folder.pop_back();
  return folder + (folder.back() == '/' ? "" : "/") + "电影";
}

CString CConfigDoc::GlobalFile() { return GetExePath(0) + "config.ini"; }
CString CConfigDoc::UserFile() { return CMultiUserMgr::GetInstance()->GetLoginingUserPath(); }
CString CConfigDoc::UIFile() { return GetExePath(0) + "UI.ini"; }

void CConfigDoc::LoadConfig() {
  OP_BEGIN("CConfigDoc::LoadConfig")
  const CString global = GlobalFile();
  m_iAutoLogin = ReadInt(global, kSys, "AutoLogin", "1");
  m_bFirst = ReadInt(global, kSys, "First", "1");
  m_iPort = ReadInt(global, kSys, "Port", "");
  const CString user = UserFile();
  m_bAutoDownload = ReadInt(user, kUser, "AutoDownload", "1");
  m_strSaveas = IniGetString(user, kUser, "Saveas", "");
  if (m_strSaveas.empty()) m_strSaveas = DefaultSaveas();
  m_iEvalDays = ReadInt(user, kUser, "EvalDays", "60");
  m_iRateLimit = ReadInt(user, kUser, "RateLimit", "5120");
  m_bShareAfterDownload = ReadInt(user, kUser, "ShareAfterDownload", "1") != 0 ? 1 : 0;
  m_iUploadLimit = Clamp(ReadInt(user, kUser, "UploadLimit", "1024"), 0, kMaxUploadLimit);
  m_iMaxShared = Clamp(ReadInt(user, kUser, "MaxShared", "20"), 0, kMaxMaxShared);
  m_bAutoStart = m_winReg.IsAutoStart();
  OP_END
}

void CConfigDoc::SaveConfig() {
  OP_BEGIN("CConfigDoc::SaveConfig")
  const CString global = GlobalFile();
  WriteInt(global, kSys, "AutoLogin", m_iAutoLogin);
  WriteInt(global, kSys, "First", 0);
  WriteInt(global, kSys, "AutoLogin", m_iAutoLogin);
  WriteInt(global, kSys, "Port", m_iPort);
  const CString user = UserFile();
  ZTRACE(1, zenuOpName_, "得取的用户目录:%s", user.c_str());
  WriteInt(user, kUser, "AutoDownload", m_bAutoDownload);
  WriteInt(user, kUser, "EvalDays", m_iEvalDays);
  IniWriteString(user, kUser, "Saveas", m_strSaveas);
  WriteInt(user, kUser, "RateLimit", m_iRateLimit);
  WriteInt(user, kUser, "ShareAfterDownload", m_bShareAfterDownload);
  WriteInt(user, kUser, "UploadLimit", m_iUploadLimit);
  WriteInt(user, kUser, "MaxShared", m_iMaxShared);
  OP_END
}

void CConfigDoc::InitFirstStart() {
  OP_BEGIN("CConfigDoc::InitFirstStart")
  if (!m_bFirst) return;
  m_iAutoLogin = 1;
  m_winReg.SetAutoStart();
  SaveConfig();
  OP_END
}

CString CConfigDoc::LoadUserConfigItem(const CString& section, const CString& key) {
  OP_BEGIN("CConfigDoc::LoadUserConfigItem")
  return IniGetString(UserFile(), section, key, MissingItem());
  OP_END
}

void CConfigDoc::SaveUserConfigItem(const CString& section, const CString& key,
                                    const CString& value) {
  OP_BEGIN("CConfigDoc::SaveUserConfigItem")
  IniWriteString(UserFile(), section, key, value);
  OP_END
}

CString CConfigDoc::LoadGlobalConfigItem(const CString& section, const CString& key) {
  OP_BEGIN("CConfigDoc::LoadGlobalConfigItem")
  return IniGetString(UIFile(), section, key, MissingItem());
  OP_END
}

void CConfigDoc::SaveLastEvalRecord(RecordGID ulGID, int iEval) {
  OP_BEGIN("CConfigDoc::SaveLastEvalRecord")
  if (ulGID == 0 || iEval == 0) return;
  const CString user = UserFile();
  // Kept as the int it always was: ids past 2^31 read back as written.
  WriteInt(user, kEval, "GID", static_cast<int>(ulGID));
  WriteInt(user, kEval, "iEval", iEval);
  OP_END
}

void CConfigDoc::LoadLastEvalRecord(RecordGID* ulGID, int* iEval) {
  OP_BEGIN("CConfigDoc::LoadLastEvalRecord")
  const CString user = UserFile();
  if (ulGID) *ulGID = static_cast<RecordGID>(ReadInt(user, kEval, "GID", "0"));
  if (iEval) *iEval = ReadInt(user, kEval, "iEval", "0");
  OP_END
}

void CConfigDoc::OpenConfigDlg() {
  OP_BEGIN("CConfigDoc::OpenConfigDlg")
  LoadConfig();
  SConfigDlgValues values;
  values.strSaveas = m_strSaveas;
  values.iAutoLogin = m_iAutoLogin;
  values.bAutoStart = m_bAutoStart;
  values.bAutoDownload = m_bAutoDownload;
  values.iEvalDays = m_iEvalDays;
  values.iRateLimit = m_iRateLimit;
  values.bShareAfterDownload = m_bShareAfterDownload;
  values.iUploadLimit = m_iUploadLimit;
  values.iMaxShared = m_iMaxShared;
  values.strServiceHost = CServiceHostSetting::CurrentText();
  CString strManager;
  CString strManagerId;
  values.strDownloadManager =
      m_pPushMethodSink && m_pPushMethodSink->FindDownloadManager(&strManager, &strManagerId)
          ? StringFormat("%s（%s）", strManager.c_str(), strManagerId.c_str())
          : CString("未找到");
  const CString strShownHost = values.strServiceHost;
  SConfigDlgOutcome outcome;
  // Without a dialog (a process without a user interface) nothing is edited.
  if (IConfigDialog* dialog = GetConfigDialog()) outcome = dialog->Run(values);
  if (outcome.bSetPushMethod && m_pPushMethodSink) m_pPushMethodSink->OnConfigDlgEvent(0);

  m_strSaveas = values.strSaveas;
  m_iAutoLogin = values.iAutoLogin;
  m_bAutoDownload = values.bAutoDownload;
  if ((values.bAutoStart != 0) != (m_bAutoStart != 0)) {
    if (m_winReg.ProcessAutoStartFlag(values.bAutoStart ? TRUE : FALSE)) {
      m_bAutoStart = values.bAutoStart ? 1 : 0;
    } else {
      ShowMessageBox("设置开机自动启动失败,可能被你的防火墙阻止了");
    }
  }
  if (values.iEvalDays != m_iEvalDays) m_iEvalDays = values.iEvalDays;
  if (values.iRateLimit != m_iRateLimit) m_iRateLimit = values.iRateLimit;
  const int bShare = values.bShareAfterDownload != 0 ? 1 : 0;
  const int iUpload = Clamp(values.iUploadLimit, 0, kMaxUploadLimit);
  const int iMaxShared = Clamp(values.iMaxShared, 0, kMaxMaxShared);
  const bool bShareChanged =
      bShare != m_bShareAfterDownload || iUpload != m_iUploadLimit || iMaxShared != m_iMaxShared;
  m_bShareAfterDownload = bShare;
  m_iUploadLimit = iUpload;
  m_iMaxShared = iMaxShared;
  SaveConfig();
  if (bShareChanged && m_shareListener) m_shareListener();
  // A refused address has been explained; the other settings are kept.
  if (values.strServiceHost != strShownHost) CServiceHostSetting::Change(values.strServiceHost);
  OP_END
}
