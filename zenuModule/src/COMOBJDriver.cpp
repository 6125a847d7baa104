#include "COMOBJDriver.h"

#include <json/writer.h>

#include "OperationWrapper.h"
#include "StringHelpers.h"

CString DescribeHolder(const CString& identifier) {
  IAutomation* automation = GetAutomation();
  uint32_t pid = 0;
  CString program;
  if (!automation || !automation->GetHolder(identifier, pid, program)) return CString();
  return program.empty() ? StringFormat("进程 %u", pid)
                         : StringFormat("进程 %u (%s)", pid, program.c_str());
}

CCOMOBJDriver::CCOMOBJDriver(const CString& progId) : strProgID(progId) {}

CCOMOBJDriver::~CCOMOBJDriver() { pDisp.reset(); }

BOOL CCOMOBJDriver::CreateInstance() {
  OP_BEGIN("CCOMOBJDriver::CreateInstance")
  // A second create would orphan the running component.
  if (pDisp) return TRUE;
  IAutomation* automation = GetAutomation();
  std::unique_ptr<IAutomationObject> created;
  const int32_t hr =
      automation ? automation->CreateInstance(strProgID, created) : AUTO_E_CLASSNOTREG;
  m_lastCreateResult = hr;
  if (hr == AUTO_E_NOT_OURS) {
    RAISE_ERROR("CoCreateInstance %s failure: 这个组件已被其他程序占用，不是本程序启动的 %s",
                strProgID.c_str(), DescribeHolder(strProgID).c_str());
  }
  if (hr < 0 || !created) RAISE_ERROR("CoCreateInstance %s failure", strProgID.c_str());
  pDisp = std::move(created);
  return TRUE;
  OP_END
}

BOOL CCOMOBJDriver::DestroyInstance() {
  OP_BEGIN("CCOMOBJDriver::DestroyInstance")
  pDisp.reset();
  return TRUE;
  OP_END
}

DISPID CCOMOBJDriver::GetMethodID(const CString& name) {
  OP_BEGIN("CCOMOBJDriver::GetMethodID")
  DISPID id = 0;
  if (!pDisp || pDisp->GetIDsOfNames(name, id) < 0)
    RAISE_ERROR("GetIDsOfNames: %s) failure", name.c_str());
  mapDispID[name] = id;
  return id;
  OP_END
}

CString CCOMOBJDriver::CallMethod(const CString& name, BOOL bResult, Json::Value* pArg) {
  OP_BEGIN("CCOMOBJDriver::CallMethod")
  if (!pDisp) return CString();
  const auto cached = mapDispID.find(name);
  const DISPID id = cached != mapDispID.end() ? cached->second : GetMethodID(name);

  CString text;
  if (pArg) {
    // Styled, and GBK bytes kept as they are: the automation layer converts at the bus.
    Json::StreamWriterBuilder builder;
    builder["indentation"] = "   ";
    builder["emitUTF8"] = true;
    text = Json::writeString(builder, *pArg) + "\n";
  }
  CString result;
  const int32_t hr = pDisp->Invoke(id, pArg ? &text : nullptr, result);
  if (hr < 0) RAISE_ERROR("Invoke %s() failure.hr:%d", name.c_str(), static_cast<int>(hr));
  return bResult ? result : CString();
  OP_END
}
