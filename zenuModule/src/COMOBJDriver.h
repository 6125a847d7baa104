#pragma once
#include <json/value.h>

#include <memory>
#include <unordered_map>

#include "Types.h"
#include "desktop/Automation.h"

// "进程 <pid> (<program>)" for the process holding the identifier, for the
// user; empty when it cannot be told.
CString DescribeHolder(const CString& identifier);

// Drives an out-of-process component by late binding: created by identifier,
// methods called by name with at most one JSON text argument.
class CCOMOBJDriver final {
 public:
  explicit CCOMOBJDriver(const CString& progId);
  ~CCOMOBJDriver();
  CCOMOBJDriver(const CCOMOBJDriver&) = delete;
  CCOMOBJDriver& operator=(const CCOMOBJDriver&) = delete;

  BOOL CreateInstance();
  // The name cache stays: ids are stable for the life of the program.
  BOOL DestroyInstance();
  DISPID GetMethodID(const CString& name);
  // Without a component nothing is called and the result is empty.
  CString CallMethod(const CString& name, BOOL bResult, Json::Value* pArg);

  bool HasInstance() const { return static_cast<bool>(pDisp); }
  // The created component's name on its transport; empty without one.
  CString GetPeerName() const { return pDisp ? pDisp->PeerName() : CString(); }
  // True while a created component still runs.
  bool IsAlive() const { return pDisp && pDisp->IsAlive(); }
  const CString& GetProgID() const { return strProgID; }
  // AUTO_E_NOT_OURS when the last create found the name held by a process
  // this program did not start.
  int32_t GetLastCreateResult() const { return m_lastCreateResult; }

 private:
  CString strProgID;
  std::unique_ptr<IAutomationObject> pDisp;
  std::unordered_map<CString, DISPID> mapDispID;
  int32_t m_lastCreateResult = AUTO_S_OK;
};
