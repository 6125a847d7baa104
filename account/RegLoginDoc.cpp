#include "RegLoginDoc.h"

#include <cstring>
#include <regex>

#include "settings/ConfigDoc.h"
#include "settings/ServiceHostSetting.h"
#include "store/MultiUserMgr.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/RegLoginWaitDialog.h"
#include "zenuModule/src/desktop/RegisterDialog.h"

namespace {
// The name becomes a folder below users/: it must name exactly one folder there.
// Checked by GBK character, as the second byte of one may equal '\\' or '|'.
bool IsUsableUserName(const CString& name) {
  if (name == "." || name == "..") return false;
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < name.size()) {
      ++i;
      continue;
    }
    if (c == 0 || std::strchr(CMultiUserMgr::ForbiddenChars(), c) != nullptr) return false;
  }
  return true;
}

bool IsDigest(const CString& text) {
  if (text.size() != 32) return false;
  for (char c : text) {
    if (!((c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'))) return false;
  }
  return true;
}

CString UserFolder(const CString& name) { return GetExePath(0) + "users/" + name; }
}  // namespace

CRegLoginDoc::CRegLoginDoc() : m_requester(*this) {}

CRegLoginDoc::~CRegLoginDoc() {
  // The requester goes with the document: its poll must not outlive it.
  try {
    if (m_requester.IsBusy()) m_requester.CancelRequest();
  } catch (CException* e) {
    e->Delete();
  }
}

bool CRegLoginDoc::IsRequestRunning() const {
  return m_pWaitDlg != nullptr || m_requester.IsBusy();
}

BOOL CRegLoginDoc::ShowLoginDlg() {
  OP_BEGIN("CRegLoginDoc::ShowLoginDlg")
  if (m_pLoginView) {
    // Already running further up the stack.
    m_pLoginView->BringToFront();
    return FALSE;
  }
  CString strUser;
  CString strDigest;
  CMultiUserMgr::GetInstance()->GetDefaultUser(&strUser, &strDigest);
  const int iAutoLogin = CConfigDoc::GetInstance()->GetAutoLogin();
  if (!strUser.empty() && !strDigest.empty()) {
    if (iAutoLogin == 1) {
      ZTRACE(1, "CRegLoginDoc::ShowLoginDlg", "自动登录,跳过登录验证");
      return TRUE;
    }
    m_strUserName = strUser;
  }
  ILoginDialog* view = LoginDialog();
  if (!view) {
    ZTRACE(0, "CRegLoginDoc::ShowLoginDlg", "没有登录对话框");
    return FALSE;
  }
  m_bLoggedIn = false;
  m_pLoginView = view;
  try {
    view->DoModal([this](const SRegLoginDlgEvent& evt) { OnLoginEvent(evt); });
  } catch (...) {
    m_pLoginView = nullptr;
    throw;
  }
  m_pLoginView = nullptr;
  // Whatever ended the dialog, only a real login lets the session go on.
  const bool bLoggedIn = m_bLoggedIn;
  m_bLoggedIn = false;
  return bLoggedIn ? TRUE : FALSE;
  OP_END
}

BOOL CRegLoginDoc::IsAllModalDlgClosed() {
  return (m_pLoginView == nullptr && m_pRegView == nullptr) ? TRUE : FALSE;
}

void CRegLoginDoc::CloseAllModalDlg() {
  OP_BEGIN("CRegLoginDoc::CloseAllModalDlg")
  if (m_requester.IsBusy()) m_requester.CancelRequest();
  if (m_pWaitDlg) {
    if (m_iMode == 0) DropRegistrationFolder();
    ClearTexts();
    m_pWaitDlg->EndDialog(IDCANCEL);
  }
  m_bLoggedIn = false;
  if (m_pRegView) m_pRegView->EndDialog(IDCANCEL);
  if (m_pLoginView) m_pLoginView->EndDialog(IDCANCEL);
  OP_END
}

void CRegLoginDoc::BringToFront() {
  OP_BEGIN("CRegLoginDoc::BringToFront")
  if (m_pLoginView) m_pLoginView->BringToFront();
  // The registration dialog is modal over the login dialog: it stays on top.
  if (m_pRegView) m_pRegView->BringToFront();
  OP_END
}

void CRegLoginDoc::OnLoginEvent(const SRegLoginDlgEvent& evt) {
  OP_BEGIN("CRegLoginDoc::OnLoginEvent")
  switch (evt.iType) {
    case 1:
      // The address in "服务器" is the one asked, here and by the local server.
      if (!UseServiceAddress(evt.strText3)) break;
      Authentication(evt.strText1, evt.strText2);
      break;
    case 2:
      if (!UseServiceAddress(evt.strText1)) break;
      RunRegisterDlg();
      break;
    case 3: {
      SRegLoginDlgEvent close;
      close.iType = 0;
      SendToLoginDlg(close);
      break;
    }
    case 4: {
      SRegLoginDlgEvent fill;
      fill.iType = 1;
      fill.strText1 = m_strUserName;
      fill.strText3 = CServiceHostSetting::CurrentText();
      SendToLoginDlg(fill);
      break;
    }
    default:
      break;
  }
  OP_END
}

bool CRegLoginDoc::UseServiceAddress(const CString& strAddress) {
  OP_BEGIN("CRegLoginDoc::UseServiceAddress")
  // Not while a request runs: its answer belongs to the address it went to.
  if (strAddress.empty() || IsRequestRunning()) return true;
  return CServiceHostSetting::Change(strAddress);
  OP_END
}

void CRegLoginDoc::OnRegEvent(const SRegLoginDlgEvent& evt) {
  OP_BEGIN("CRegLoginDoc::OnRegEvent")
  if (evt.iType == 0) Registration(evt.strText1, evt.strText2, evt.strText3);
  OP_END
}

bool CRegLoginDoc::MakeDigest(const CString& strPassword, CString* digest) {
  OP_BEGIN("CRegLoginDoc::MakeDigest")
  *digest = m_md5.Digest(strPassword);
  if (IsDigest(*digest)) return true;
  // The failure text stands where the digest would: it must go neither to the
  // service nor into passwd.txt.
  ShowMessageBox(*digest);
  digest->clear();
  return false;
  OP_END
}

void CRegLoginDoc::Authentication(const CString& strUser, const CString& strPassword) {
  OP_BEGIN("CRegLoginDoc::Authentication")
  if (IsRequestRunning()) return;
  if (strUser.empty()) {
    ShowMessageBox("用户名不得为空");
    return;
  }
  if (!IsUsableUserName(strUser)) {
    ShowMessageBox(StringFormat("用户名不能包含以下的符号%s", CMultiUserMgr::ForbiddenChars()));
    return;
  }
  CString strDigest;
  if (!MakeDigest(strPassword, &strDigest)) return;
  CMultiUserMgr::GetInstance()->GetPwd(strUser, &m_strSecret);
  m_iMode = 1;
  if (!m_strSecret.empty() && strDigest == m_strSecret) {
    m_strUserName = strUser;
    m_strSecret = strDigest;
    CMultiUserMgr::GetInstance()->SaveAccountAndPwd(m_strUserName, m_strSecret);
    ClearTexts();
    CloseLoginDlgWithSuccess();
    ZTRACE(1, "CRegLoginDoc::Authentication", "本地验证成功");
    return;
  }
  ZTRACE(1, "CRegLoginDoc::Authentication", "本地验证失败");
  ZTRACE(1, "CRegLoginDoc::Authentication", "准备远程验证登录");
  if (!CServiceHostSetting::ConfirmPlainLogin()) {
    ClearTexts();
    return;
  }
  m_strUserName = strUser;
  m_strSecret = strDigest;
  const CString url = StringFormat("%s/urls/UserLogin?username=%s&md5_passwd=%s&version=%d",
                                   CProcessValues::GetRemoteSrvRoot().c_str(),
                                   URLEncode(strUser).c_str(), strDigest.c_str(), kProgramVersion);
  StartRequest(url, "User Login", "登录进度");
  OP_END
}

void CRegLoginDoc::Registration(const CString& strUser, const CString& strPassword,
                                const CString& strPassword2) {
  OP_BEGIN("CRegLoginDoc::Registration")
  if (IsRequestRunning()) return;
  static const std::regex kNameRule("[a-zA-Z0-9_]+");
  std::smatch match;
  if (!std::regex_search(strUser, match, kNameRule) || match.position(0) != 0 ||
      static_cast<size_t>(match.length(0)) != strUser.size()) {
    ShowMessageBox("用户名只能是字母，数字和下划线_的组合");
    return;
  }
  if (strPassword.empty() || strPassword2.empty()) {
    ShowMessageBox("密码不能为空");
    return;
  }
  if (strPassword != strPassword2) {
    ShowMessageBox("密码不一致,请重新输入确认");
    return;
  }
  CString strDigest;
  if (!MakeDigest(strPassword, &strDigest)) return;
  if (!CServiceHostSetting::ConfirmPlainLogin()) return;
  const bool bExisted = PathExists(UserFolder(strUser));
  if (!CMultiUserMgr::GetInstance()->CreateUserDirectory(strUser)) return;
  m_bCreatedUserDir = !bExisted;
  m_strUserName = strUser;
  m_strSecret = strPassword;
  m_iMode = 0;
  const CString url =
      StringFormat("%s/urls/UserRegister?username=%s&md5_passwd=%s&action=add&iVersion=%d",
                   CProcessValues::GetRemoteSrvRoot().c_str(), URLEncode(strUser).c_str(),
                   strDigest.c_str(), kProgramVersion);
  StartRequest(url, "User Register", "注册进度");
  OP_END
}

void CRegLoginDoc::StartRequest(const CString& strUrl, const char* traceLabel,
                                const CString& strTitle) {
  OP_BEGIN("CRegLoginDoc::StartRequest")
  const bool bStarted = m_requester.HttpRequest(strUrl, CProcessValues::GetRemoteSrvPort());
  ZTRACE(1, "CRegLoginDoc::StartRequest", "%s: %s", traceLabel,
         UrlForTrace(UrlAndPort(strUrl, CProcessValues::GetRemoteSrvPort())).c_str());
  if (!bStarted) {
    // Without a running request nothing would ever end the waiting dialog.
    OnRequestFailed("网络错误");
    return;
  }
  RunWaitingDlg(strTitle);
  OP_END
}

void CRegLoginDoc::RunWaitingDlg(const CString& strTitle) {
  OP_BEGIN("CRegLoginDoc::RunWaitingDlg")
  m_pWaitDlg = std::make_unique<CProgressRLDialog>(RegLoginWaitDialog(),
                                                   [this](int iFlag) { OnRegLogEvent(iFlag); });
  SRegLoginDlgEvent title;
  title.iType = 1;
  title.strText1 = strTitle;
  try {
    m_pWaitDlg->OnUpdate(title);
    m_pWaitDlg->DoModal();
  } catch (...) {
    m_pWaitDlg.reset();
    throw;
  }
  m_pWaitDlg.reset();
  OP_END
}

void CRegLoginDoc::EndWaitingDlg() {
  if (m_pWaitDlg) m_pWaitDlg->EndDialog(IDOK);
}

void CRegLoginDoc::SendToLoginDlg(const SRegLoginDlgEvent& evt) {
  if (m_pLoginView) m_pLoginView->OnUpdate(evt);
}

void CRegLoginDoc::CloseLoginDlgWithSuccess() {
  m_bLoggedIn = true;
  SRegLoginDlgEvent close;
  close.iType = 3;
  OnLoginEvent(close);
}

void CRegLoginDoc::RunRegisterDlg() {
  OP_BEGIN("CRegLoginDoc::RunRegisterDlg")
  if (m_pRegView) {
    m_pRegView->BringToFront();
    return;
  }
  IRegisterDialog* view = RegisterDialog();
  if (!view) return;
  m_pRegView = view;
  try {
    view->DoModal([this](const SRegLoginDlgEvent& evt) { OnRegEvent(evt); });
  } catch (...) {
    m_pRegView = nullptr;
    throw;
  }
  m_pRegView = nullptr;
  OP_END
}

void CRegLoginDoc::CloseRegisterDlg() {
  SRegLoginDlgEvent close;
  close.iType = 0;
  if (m_pRegView) m_pRegView->OnUpdate(close);
}

void CRegLoginDoc::DropRegistrationFolder() {
  OP_BEGIN("CRegLoginDoc::DropRegistrationFolder")
  if (m_bCreatedUserDir && !m_strUserName.empty()) {
    CMultiUserMgr::GetInstance()->DeleteUserDirectory(m_strUserName);
  }
  m_bCreatedUserDir = false;
  OP_END
}

void CRegLoginDoc::ClearTexts() {
  m_strUserName.clear();
  m_strSecret.clear();
}

void CRegLoginDoc::OnRequestOK() {
  OP_BEGIN("CRegLoginDoc::OnRequestOK")
  if (m_iMode == 1) {
    CMultiUserMgr::GetInstance()->SaveAccountAndPwd(m_strUserName, m_strSecret);
    ClearTexts();
    CloseLoginDlgWithSuccess();
    ZTRACE(1, "CRegLoginDoc::OnRequestOK", "远程验证成功");
  } else {
    // The account exists now: its folder stays whatever follows.
    m_bCreatedUserDir = false;
    ShowMessageBox("注册新用户名成功!");
    SRegLoginDlgEvent fill;
    fill.iType = 1;
    fill.strText1 = m_strUserName;
    fill.strText2 = m_strSecret;
    SendToLoginDlg(fill);
    // The login dialog holds the password now; the document keeps no copy.
    ClearTexts();
    CloseRegisterDlg();
  }
  EndWaitingDlg();
  OP_END
}

void CRegLoginDoc::OnRequestFailed(const CString& strText) {
  OP_BEGIN("CRegLoginDoc::OnRequestFailed")
  if (m_iMode == 0) {
    DropRegistrationFolder();
    ClearTexts();
  }
  EndWaitingDlg();
  if (strText == "Username Error") {
    ShowMessageBox("用户名或密码错误，请重试");
  } else if (strText == "User Exist") {
    ShowMessageBox("用户名已存在，请重试");
  } else {
    ShowMessageBox(strText);
  }
  OP_END
}

void CRegLoginDoc::RefreshWaitingDlg() {
  OP_BEGIN("CRegLoginDoc::RefreshWaitingDlg")
  if (!m_pWaitDlg) return;
  SRegLoginDlgEvent tick;
  tick.iType = 0;
  m_pWaitDlg->OnUpdate(tick);
  OP_END
}

void CRegLoginDoc::OnRegLogEvent(int iFlag) {
  OP_BEGIN("CRegLoginDoc::OnRegLogEvent")
  if (iFlag != 0) return;
  m_requester.CancelRequest();
  if (m_iMode == 0) {
    DropRegistrationFolder();
    ClearTexts();
  }
  EndWaitingDlg();
  ShowMessageBox("服务器超时");
  OP_END
}
