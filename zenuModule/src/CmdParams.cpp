#include "CmdParams.h"

#include <cctype>
#include <cstdlib>

#include "OperationWrapper.h"
#include "ProcessValues.h"

CCmdParams::CCmdParams() : iServerPort(CProcessValues::GetRemoteSrvPort()) {}

void CCmdParams::ParseParam(const char* param, BOOL isFlag, BOOL /*isLast*/) {
  OP_BEGIN("CCmdParams::ParseParam")
  CString lower = param ? param : "";
  for (char& c : lower) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (isFlag) {
    if (lower.find("auto") != CString::npos) {
      bIsAuto = 1;
    } else if (lower.find("server_port") != CString::npos) {
      m_bServerPortFlag = 1;
    }
  } else if (m_bServerPortFlag) {
    iServerPort = std::atoi(lower.c_str());
  }
  OP_END
}

void CCmdParams::ParseCommandLine(int argc, const char* const* argv) {
  OP_BEGIN("CCmdParams::ParseCommandLine")
  for (int i = 1; i < argc; ++i) {
    const char* arg = argv[i];
    const BOOL isFlag = (arg[0] == '-' || arg[0] == '/') ? TRUE : FALSE;
    ParseParam(isFlag ? arg + 1 : arg, isFlag, i + 1 == argc);
  }
  OP_END
}
