#pragma once
#include "store/IntfDB.h"
#include "tests/settings/SettingsFixture.h"
#include "zenuModule/src/desktop/FileSystem.h"

// A program folder with a logged-in user "u" and a fresh record database; the
// working folder is put back afterwards.
class StoreTest : public SettingsTest {
 protected:
  StoreTest() : m_cwd(GetCurrentFolder()) { CIntfDB::ResetInstance(); }
  ~StoreTest() override {
    CIntfDB::ResetInstance();
    SetCurrentFolder(m_cwd);
  }
  CIntfDB* Login(const CString& user = "u") {
    CMultiUserMgr::GetInstance()->SaveAccountAndPwd(user, "0123456789abcdef0123456789abcdef");
    CConfigDoc::ResetInstance();
    auto* db = CIntfDB::GetInstance();
    EXPECT_TRUE(db->LoadDB());
    return db;
  }
  // The user's save folder, as the push engine hands it to the store.
  static CString Saveas() { return CConfigDoc::GetInstance()->GetSaveas(); }
  CRecord Get(uint32_t gid) {
    CRecord r;
    EXPECT_TRUE(CIntfDB::GetInstance()->GetOneRecordData(gid, &r)) << gid;
    return r;
  }
  CString Cell(const CString& column, uint32_t gid) {
    CSqlRow row;
    CIntfDB::GetInstance()->GetOneRecordBySql(
        "select " + column + " from records where ulGID = " + std::to_string(gid), &row);
    return row.empty() ? CString("<none>") : row[0];
  }
  static int Count(const CString& text, const CString& part) {
    int n = 0;
    for (auto pos = text.find(part); pos != CString::npos; pos = text.find(part, pos + 1)) ++n;
    return n;
  }

 private:
  CString m_cwd;
};
