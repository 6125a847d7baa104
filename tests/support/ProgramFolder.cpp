#include "ProgramFolder.h"

#include <unistd.h>

#include "store/MultiUserMgr.h"

bool LayOutProgramFolder(const CString& home, const CString& builtProgramDir) {
  for (const char* entry : {"root", "help", "DATA", "UI.ini"}) {
    if (::symlink((builtProgramDir + entry).c_str(), (home + entry).c_str()) != 0) return false;
  }
  CMultiUserMgr::ResetInstance();
  CMultiUserMgr::GetInstance()->SaveAccountAndPwd("tester", "0123456789abcdef0123456789abcdef");
  CMultiUserMgr::ResetInstance();
  return true;
}
