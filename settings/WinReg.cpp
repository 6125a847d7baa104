#include "WinReg.h"

#include <cctype>

#include "zenuModule/src/CmdParams.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/Autostart.h"

namespace {
const char kEntryId[] = "zenu";
const char kAutoFlag[] = " -AUTO ";

// Only a port the command line named: a port pinned in the entry would
// outrank the service address the user sets later.
CString PortPart() {
  const CCmdParams* params = CCmdParams::GetInstance();
  const int port = params->GetServerPort();
  return !params->HasServerPort() || port == 80 ? CString()
                                                : StringFormat(" -server_port %d ", port);
}

CString Upper(CString text) {
  for (char& c : text) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return text;
}
}  // namespace

CString CWinReg::AutoStartCommand() {
  return StringFormat("%s %s %s", GetExePath(1).c_str(), kAutoFlag, PortPart().c_str());
}

BOOL CWinReg::IsAutoStart() {
  OP_BEGIN("CWinReg::IsAutoStart")
  CString command;
  if (!ReadAutostartCommand(kEntryId, &command)) return FALSE;
  command = Upper(command);
  return (command.find(Upper(GetExePath(1))) != CString::npos &&
          command.find(kAutoFlag) != CString::npos)
             ? TRUE
             : FALSE;
  OP_END
}

BOOL CWinReg::SetAutoStart() {
  OP_BEGIN("CWinReg::SetAutoStart")
  // The entry's Exec is the same "%s %s %s" text: program, then the rest.
  const CString arguments = StringFormat("%s %s", kAutoFlag, PortPart().c_str());
  return WriteAutostartEntry(kEntryId, kDisplayName, GetExePath(1), arguments) ? TRUE : FALSE;
  OP_END
}

BOOL CWinReg::CleanAutoStart() {
  OP_BEGIN("CWinReg::CleanAutoStart")
  return RemoveAutostartEntry(kEntryId) ? TRUE : FALSE;
  OP_END
}

BOOL CWinReg::ProcessAutoStartFlag(BOOL bOn) {
  OP_BEGIN("CWinReg::ProcessAutoStartFlag")
  return bOn ? SetAutoStart() : CleanAutoStart();
  OP_END
}
