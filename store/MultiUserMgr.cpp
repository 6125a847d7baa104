#include "MultiUserMgr.h"

#include <cstring>

#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/FileSystem.h"
#include "zenuModule/src/desktop/IniFile.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
const char kSection[] = "DefaultUser";

// Checked by character: the second byte of a GBK character may equal '\\' or
// '|' without being one.
bool HasForbiddenChar(const CString& name) {
  for (size_t i = 0; i < name.size(); ++i) {
    const auto c = static_cast<unsigned char>(name[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < name.size()) {
      ++i;
      continue;
    }
    if (c != 0 && std::strchr(CMultiUserMgr::ForbiddenChars(), c) != nullptr) return true;
  }
  return false;
}
}  // namespace

const char* CMultiUserMgr::ForbiddenChars() { return "\\/:*?\"<>|"; }

CString CMultiUserMgr::ConfigFile() { return GetExePath(0) + "config.ini"; }

CString CMultiUserMgr::UserFolder(const CString& name) { return GetExePath(0) + "users/" + name; }

BOOL CMultiUserMgr::CreateUserDirectory(const CString& name) {
  OP_BEGIN("CMultiUserMgr::CreateUserDirectory")
  if (name.empty()) {
    ShowMessageBox("用户名不能为空");
    return FALSE;
  }
  // "." and ".." pass the character rule but name no folder of their own.
  if (HasForbiddenChar(name) || name == "." || name == "..") {
    ShowMessageBox(StringFormat("用户名不能包含以下的符号%s", ForbiddenChars()));
    return FALSE;
  }
  CheckFolder(UserFolder(name), 4);
  return TRUE;
  OP_END
}

void CMultiUserMgr::DeleteUserDirectory(const CString& name) {
  OP_BEGIN("CMultiUserMgr::DeleteUserDirectory")
  // An empty or dotted name would take the whole users folder (or more) with it.
  if (name.empty() || name == "." || name == ".." || HasForbiddenChar(name)) return;
  DeleteDirectory(UserFolder(name));
  OP_END
}

void CMultiUserMgr::SaveAccountAndPwd(const CString& name, const CString& digest) {
  OP_BEGIN("CMultiUserMgr::SaveAccountAndPwd")
  IniWriteString(ConfigFile(), kSection, "user", name);
  IniWriteString(ConfigFile(), kSection, "pwd", digest);
  const CString folder = UserFolder(name);
  CheckFolder(folder, 4);
  const CString file = folder + "/passwd.txt";
  if (!WriteWholeFile(file, digest)) RAISE_ERROR("保存密码文件出错: %s", file.c_str());
  OP_END
}

void CMultiUserMgr::GetDefaultUser(CString* name, CString* digest) {
  OP_BEGIN("CMultiUserMgr::GetDefaultUser")
  if (name) *name = IniGetString(ConfigFile(), kSection, "user", "", 255);
  if (digest) *digest = IniGetString(ConfigFile(), kSection, "pwd", "", 255);
  OP_END
}

CString CMultiUserMgr::GetLoginingUserPath() {
  OP_BEGIN("CMultiUserMgr::GetLoginingUserPath")
  const CString name = IniGetString(ConfigFile(), kSection, "user", "DefaultUser", 255);
  return GetExePath(0) + "users/" + name + "/config.ini";
  OP_END
}

void CMultiUserMgr::GetPwd(const CString& name, CString* digest) {
  OP_BEGIN("CMultiUserMgr::GetPwd")
  CString content;
  const CString file = StringFormat("%s/%s/passwd.txt", (GetExePath(0) + "users").c_str(),
                                    name.c_str());
  if (digest) digest->clear();
  if (!PathExists(file) || !ReadWholeFile(file, content)) return;
  const auto end = content.find_first_of("\r\n");
  if (digest) *digest = end == CString::npos ? content : content.substr(0, end);
  OP_END
}
