#pragma once
#include <unordered_map>

#include "zenuModule/src/PromptEvents.h"
#include "zenuModule/src/Session.h"
#include "zenuModule/src/Singleton.h"
#include "zenuModule/src/Types.h"

// One prompt: how it is shown and how often.
struct SPromptData {
  int iInterval = 0;  // minimum days between showings; -1 none; 0 once
  CString strText;    // the last text shown
  int bEnable = 0;    // 0: never again in this run
  int iType = 0;      // 0 the prompt dialog, 1 the message dialog, 2 a tray balloon
  int bLayaside = 0;  // the user ticked "知道了，不再提示"
};

// Short notices on a schedule kept in "prompt.ini": [layaside] and [date] by id.
class CPromptMgrDoc final : public IPromptEvents, public TSingleton<CPromptMgrDoc> {
  friend class TSingleton<CPromptMgrDoc>;

 public:
  enum : int { kTypeDialog = 0, kTypeMsgBox = 1, kTypeBalloon = 2 };
  // Days a set-aside prompt stays quiet.
  static constexpr int kLayasideDays = 60;

  CPromptMgrDoc(const CPromptMgrDoc&) = delete;
  CPromptMgrDoc& operator=(const CPromptMgrDoc&) = delete;
  ~CPromptMgrDoc() override = default;

  void SetInterval(int iID, int iInterval, int iType);
  BOOL CheckPrompt(int iID);
  void ShowPrompt(int iID, const CString& strText, const CString& strTitle);

  int GetCloseBallonEvent() override { return m_iCloseBallonEvent; }
  void SetCloseBallonEvent(int iEvent) override { m_iCloseBallonEvent = iEvent; }

  // The running session, which shows the balloons; set once at start-up, not owned.
  void SetSession(ISession* session) { m_pSession = session; }

  // Null for an id never defined.
  const SPromptData* FindPrompt(int iID) const;
  static CString PromptFile();

 private:
  CPromptMgrDoc();

  std::unordered_map<int, SPromptData> m_mapPrompt;
  int m_iCloseBallonEvent = 0;
  ISession* m_pSession = nullptr;
};
