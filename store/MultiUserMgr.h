#pragma once
#include "zenuModule/src/Singleton.h"
#include "zenuModule/src/Types.h"

// The users' folders below the program folder, the default user and the stored
// password digests.
class CMultiUserMgr final : public TSingleton<CMultiUserMgr> {
  friend class TSingleton<CMultiUserMgr>;

 public:
  CMultiUserMgr(const CMultiUserMgr&) = delete;
  CMultiUserMgr& operator=(const CMultiUserMgr&) = delete;

  BOOL CreateUserDirectory(const CString& name);
  void DeleteUserDirectory(const CString& name);
  void SaveAccountAndPwd(const CString& name, const CString& digest);
  void GetDefaultUser(CString* name, CString* digest);
  // The default user's own configuration file (users/DefaultUser without one).
  CString GetLoginingUserPath();
  void GetPwd(const CString& name, CString* digest);

  // The characters a user name must not hold, in the order they are shown.
  static const char* ForbiddenChars();

 private:
  CMultiUserMgr() = default;
  static CString ConfigFile();
  static CString UserFolder(const CString& name);
};
