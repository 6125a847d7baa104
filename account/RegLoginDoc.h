#pragma once
#include <memory>

#include "Cmd5Capi.h"
#include "ProgressRLDialog.h"
#include "RegLoginRequester.h"
#include "zenuModule/src/LoginService.h"
#include "zenuModule/src/Singleton.h"
#include "zenuModule/src/Types.h"
#include "zenuModule/src/desktop/LoginDialog.h"

class IRegisterDialog;

// Login (the digest stored on this machine first, then the remote service) and
// registration of new accounts, with their dialogs.
class CRegLoginDoc final : public TSingleton<CRegLoginDoc>, public ILoginService {
  friend class TSingleton<CRegLoginDoc>;

 public:
  CRegLoginDoc(const CRegLoginDoc&) = delete;
  CRegLoginDoc& operator=(const CRegLoginDoc&) = delete;
  ~CRegLoginDoc() override;

  // TRUE only when a user is logged in (automatically or through the dialogs).
  BOOL ShowLoginDlg() override;
  BOOL IsAllModalDlgClosed() override;
  // Abandons a running request without a word and ends the dialogs with IDCANCEL.
  void CloseAllModalDlg() override;
  void BringToFront() override;

  void OnLoginEvent(const SRegLoginDlgEvent& evt);
  void OnRegEvent(const SRegLoginDlgEvent& evt);
  void Authentication(const CString& strUser, const CString& strPassword);
  void Registration(const CString& strUser, const CString& strPassword,
                    const CString& strPassword2);
  void OnRequestOK();
  void OnRequestFailed(const CString& strText);
  void RefreshWaitingDlg();
  // Flag 0: the waiting dialog's maximum wait has passed.
  void OnRegLogEvent(int iFlag);

  // The digest maker (tests give one that fails).
  void SetDigester(const Cmd5Capi& md5) { m_md5 = md5; }
  bool IsRequestRunning() const;

 private:
  CRegLoginDoc();
  // The address typed in "服务器" (empty: keep the one in use); false when
  // it was refused with a message.
  bool UseServiceAddress(const CString& strAddress);
  bool MakeDigest(const CString& strPassword, CString* digest);
  void StartRequest(const CString& strUrl, const char* traceLabel, const CString& strTitle);
  void RunWaitingDlg(const CString& strTitle);
  void EndWaitingDlg();
  void CloseLoginDlgWithSuccess();
  void SendToLoginDlg(const SRegLoginDlgEvent& evt);
  void RunRegisterDlg();
  void CloseRegisterDlg();
  // Removes the user folder only when this registration created it.
  void DropRegistrationFolder();
  void ClearTexts();

  // The views are installed by the user interface; these are the ones now open.
  ILoginDialog* m_pLoginView = nullptr;
  IRegisterDialog* m_pRegView = nullptr;
  std::unique_ptr<CProgressRLDialog> m_pWaitDlg;
  int m_iMode = 1;  // 1 login, 0 registration
  CString m_strUserName;
  CString m_strSecret;  // login: the digest; registration: the password as entered
  CRegLoginRequester m_requester;
  Cmd5Capi m_md5;
  bool m_bLoggedIn = false;
  bool m_bCreatedUserDir = false;
};
