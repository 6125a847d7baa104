#pragma once
#include "Singleton.h"
#include "UpdateControl.h"
#include "UpdateControl2.h"

// The only way into the update check: one single check and one repeated check.
class CIntfUpdateControl final : public TSingleton<CIntfUpdateControl> {
  friend class TSingleton<CIntfUpdateControl>;

 public:
  CIntfUpdateControl(const CIntfUpdateControl&) = delete;
  CIntfUpdateControl& operator=(const CIntfUpdateControl&) = delete;

  void Register(CTemplIntfUpdateControlCaller* pCaller, int iVersion, const CString& strDisplay,
                const CString& strUrl);
  void Register2(CTemplIntfUpdateControlCaller* pCaller, int iVersion, const CString& strDisplay,
                 const CString& strUrl);
  void UnRegister(CTemplIntfUpdateControlCaller* pCaller);

 private:
  CIntfUpdateControl() = default;

  CUpdateControl m_updateControl;
  CUpdateControl2 m_updateControl2;
};
