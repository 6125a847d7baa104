#include "Database.h"

#include <tinyxml2.h>

#include "store/MultiUserMgr.h"
#include "store/PushedValues.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/FileSystem.h"

CString CDatabase::GetFilePath() {
  OP_BEGIN("CDatabase::GetFilePath")
  CString name;
  CMultiUserMgr::GetInstance()->GetDefaultUser(&name, nullptr);
  if (name.empty()) return CString();
  return GetExePath(0) + StringFormat("users/%s/database.xml", name.c_str());
  OP_END
}

BOOL CDatabase::LoadDB() {
  OP_BEGIN("CDatabase::LoadDB")
  const CString path = GetFilePath();
  if (path.empty()) {
    ZTRACE(1, zenuOpName_, "取不到用户的database.xml路径");
    return FALSE;
  }
  CString content;
  if (!ReadWholeFile(path, content)) return FALSE;
  tinyxml2::XMLDocument doc;
  if (doc.Parse(content.data(), content.size()) != tinyxml2::XML_SUCCESS) return FALSE;
  const tinyxml2::XMLElement* root = doc.RootElement();
  if (!root) return FALSE;
  int index = 0;
  for (const auto* e = root->FirstChildElement(); e; e = e->NextSiblingElement()) {
    ++index;
    // The identifier must read whole, and leave room for the shift of the
    // conversion below the reserved one; a second record under one identifier
    // would replace the first.
    const tinyxml2::XMLElement* idElement = e->FirstChildElement("ulGID");
    const CString idText = idElement && idElement->GetText() ? idElement->GetText() : "";
    const RecordGID gid = ParseGID(idText);
    const bool whole =
        !idText.empty() && TrimWhite(idText).find_first_not_of("0123456789") == CString::npos;
    const char* why = nullptr;
    if (!whole || gid == 0 || gid >= kReservedGID - kTransGIDShift) {
      why = "ulGID无效";
    } else if (m_mapRecords.count(gid) != 0) {
      why = "ulGID重复";
    }
    CRecord record;
    ChangeXmlNodetoRecordAttr(e, &record);
    if (why) {
      // One that reads as 0 still gets the store's own line.
      if (record.GetGID() == 0) UpdateRecord(record);
      ++m_iSkipped;
      ZTRACE(1, zenuOpName_, "跳过第%d条记录(%s): ulGID \"%s\"", index, why, idText.c_str());
      continue;
    }
    UpdateRecord(record);
  }
  return TRUE;
  OP_END
}

void CDatabase::ChangeXmlNodetoRecordAttr(const tinyxml2::XMLElement* element, CRecord* rec) {
  OP_BEGIN("CDatabase::ChangeXmlNodetoRecordAttr")
  for (const auto* e = element->FirstChildElement(); e; e = e->NextSiblingElement()) {
    const char* text = e->GetText();
    rec->SetValByString(e->Name(), text ? text : "");
  }
  OP_END
}

void CDatabase::UpdateRecord(const CRecord& rec) {
  OP_BEGIN("CDatabase::UpdateRecord")
  if (rec.GetGID() == 0) {
    ZTRACE(1, zenuOpName_, "出现了错误的 GID!");
    return;
  }
  m_mapRecords[rec.GetGID()] = rec;
  OP_END
}

BOOL CDatabase::GetOneRecordData(RecordGID ulGID, CRecord* rec) const {
  const auto found = m_mapRecords.find(ulGID);
  if (found == m_mapRecords.end()) return FALSE;
  *rec = found->second;
  return TRUE;
}

void CDatabase::GetGIDList(uint32_t status, CGIDList* out, BOOL bFlag) const {
  out->clear();
  for (const auto& [gid, rec] : m_mapRecords) {
    const auto s = static_cast<uint32_t>(rec.GetStatus());
    if (bFlag == 1 ? (s & status) == status : s == status) out->push_back(gid);
  }
}
