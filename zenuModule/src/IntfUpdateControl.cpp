#include "IntfUpdateControl.h"

#include "OperationWrapper.h"

void CIntfUpdateControl::Register(CTemplIntfUpdateControlCaller* pCaller, int iVersion,
                                  const CString& strDisplay, const CString& strUrl) {
  OP_BEGIN("CIntfUpdateControl::Register")
  m_updateControl.Register(pCaller, iVersion, strDisplay, strUrl);
  OP_END
}

void CIntfUpdateControl::Register2(CTemplIntfUpdateControlCaller* pCaller, int iVersion,
                                   const CString& strDisplay, const CString& strUrl) {
  OP_BEGIN("CIntfUpdateControl::Register2")
  m_updateControl2.Register2(pCaller, iVersion, strDisplay, strUrl);
  OP_END
}

void CIntfUpdateControl::UnRegister(CTemplIntfUpdateControlCaller*) {}
