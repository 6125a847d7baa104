#pragma once
#include <unistd.h>

#include <cstdlib>
#include <string>

#include "store/IntfDB.h"
#include "store/MultiUserMgr.h"

// The folder new records are placed below; nothing is ever written there.
inline constexpr char kFuzzSaveFolder[] = "/tmp/vadeko-fuzz-videos/";

// A record database of a logged-in user in a fresh folder, made once per run.
inline CIntfDB* FuzzDatabase() {
  static CIntfDB* db = [] {
    char folder[] = "/tmp/vadeko-fuzz-XXXXXX";
    const char* made = ::mkdtemp(folder);
    if (!made) std::abort();
    ::setenv("VADEKO_HOME", (std::string(made) + "/").c_str(), 1);
    CMultiUserMgr::GetInstance()->SaveAccountAndPwd("u", "0123456789abcdef0123456789abcdef");
    CIntfDB* d = CIntfDB::GetInstance();
    if (!d->LoadDB()) std::abort();
    return d;
  }();
  return db;
}
