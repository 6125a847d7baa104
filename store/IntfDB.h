#pragma once
#include "store/Database2.h"
#include "zenuModule/src/Singleton.h"

// The one record database of the process; every other part reaches it here.
class CIntfDB final : public CDatabase2, public TSingleton<CIntfDB> {
  friend class TSingleton<CIntfDB>;

 public:
  CIntfDB(const CIntfDB&) = delete;
  CIntfDB& operator=(const CIntfDB&) = delete;
  ~CIntfDB() override = default;

 private:
  CIntfDB() = default;
};
