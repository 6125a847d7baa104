#pragma once
#include <cstdint>
#include <map>

#include "store/Database2.h"
#include "store/Record.h"
#include "zenuModule/src/Types.h"

namespace tinyxml2 {
class XMLElement;
}

// Old identifiers are shifted by this much on their way into the new table.
constexpr RecordGID kTransGIDShift = 60000;

// The old XML store users/<name>/database.xml, kept only to be read once by the
// conversion to the SQLite store.
class CDatabase final {
 public:
  CDatabase() = default;
  CDatabase(const CDatabase&) = delete;
  CDatabase& operator=(const CDatabase&) = delete;

  // Empty without a default user.
  static CString GetFilePath();
  BOOL LoadDB();
  void ChangeXmlNodetoRecordAttr(const tinyxml2::XMLElement* element, CRecord* rec);
  void UpdateRecord(const CRecord& rec);
  BOOL GetOneRecordData(RecordGID ulGID, CRecord* rec) const;
  void GetGIDList(uint32_t status, CGIDList* out, BOOL bFlag) const;
  // Record elements LoadDB left out (an unreadable or repeated ulGID), each traced.
  int GetSkippedCount() const { return m_iSkipped; }

 private:
  std::map<RecordGID, CRecord> m_mapRecords;
  int m_iSkipped = 0;
};
