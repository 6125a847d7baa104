#include "PromptMgrDoc.h"

#include <ctime>

#include "MsgBox.h"
#include "PromptDialog.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/PathHelpers.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/desktop/IniFile.h"
#include "zenuModule/src/desktop/MessageBox.h"

namespace {
const char kLayaside[] = "layaside";
const char kDate[] = "date";

CString Key(int iID) { return StringFormat("%d", iID); }

CString Today() {
  const time_t now = time(nullptr);
  struct tm local {};
  localtime_r(&now, &local);
  char text[16] = {0};
  strftime(text, sizeof text, "%Y-%m-%d", &local);
  return text;
}

// Local midnight of a "%Y-%m-%d" date; false when the text is no such date.
bool ParseDate(const CString& text, time_t& when) {
  struct tm local {};
  const char* end = strptime(text.c_str(), "%Y-%m-%d", &local);
  if (end == nullptr || *end != '\0') return false;
  local.tm_hour = 0;
  local.tm_min = 0;
  local.tm_sec = 0;
  local.tm_isdst = -1;
  when = mktime(&local);
  return when != static_cast<time_t>(-1);
}
}  // namespace

CPromptMgrDoc::CPromptMgrDoc() : m_mapPrompt(17) {
  SetInterval(0, -1, kTypeBalloon);
  SetInterval(2, -1, kTypeMsgBox);
}

CString CPromptMgrDoc::PromptFile() { return GetExePath(0) + "prompt.ini"; }

const SPromptData* CPromptMgrDoc::FindPrompt(int iID) const {
  const auto it = m_mapPrompt.find(iID);
  return it == m_mapPrompt.end() ? nullptr : &it->second;
}

void CPromptMgrDoc::SetInterval(int iID, int iInterval, int iType) {
  OP_BEGIN("CPromptMgrDoc::SetInterval")
  SPromptData& data = m_mapPrompt[iID];
  data.iInterval = iInterval;
  data.strText.clear();
  data.bEnable = 1;
  data.iType = iType;
  data.bLayaside = 0;
  OP_END
}

BOOL CPromptMgrDoc::CheckPrompt(int iID) {
  OP_BEGIN("CPromptMgrDoc::CheckPrompt")
  const auto it = m_mapPrompt.find(iID);
  if (it == m_mapPrompt.end()) return FALSE;
  SPromptData& data = it->second;
  if (data.bEnable == 0) return FALSE;

  const CString file = PromptFile();
  data.bLayaside = IniGetInt(file, kLayaside, Key(iID), 0);
  const int iLimit = data.bLayaside ? kLayasideDays : data.iInterval;
  if (data.bLayaside == 1 && data.iInterval == 0) data.bEnable = 0;

  const CString date = IniGetString(file, kDate, Key(iID), "", 11);
  if (date.empty()) return TRUE;
  time_t shown = 0;
  if (!ParseDate(date, shown)) {
    // Our own stores always write a date; anything else counts as never shown.
    ZTRACE(1, zenuOpName_, "prompt %d: unreadable date \"%s\"", iID, date.c_str());
    return TRUE;
  }
  const double seconds = difftime(time(nullptr), shown);
  // A clock set back before the recorded day, even by less than a day, makes it due.
  if (seconds < 0) return TRUE;
  const long long days = static_cast<long long>(seconds) / 86400;
  return days >= iLimit ? TRUE : FALSE;
  OP_END
}

void CPromptMgrDoc::ShowPrompt(int iID, const CString& strText, const CString& strTitle) {
  OP_BEGIN("CPromptMgrDoc::ShowPrompt")
  const auto it = m_mapPrompt.find(iID);
  if (it == m_mapPrompt.end()) {
    ZTRACE(1, zenuOpName_, "undefined prompt %d", iID);
    return;
  }
  it->second.strText = strText;
  if (strText.empty() || !CheckPrompt(iID)) return;

  const CString title = strTitle.empty() ? CString(kDisplayName) : strTitle;
  const CString file = PromptFile();
  const int iType = it->second.iType;
  // A show-once prompt is disabled before it shows, so a nested call cannot show it twice.
  if (iType != kTypeMsgBox && it->second.iInterval == 0) it->second.bEnable = 0;
  // The map may change while a modal dialog runs: look the prompt up again after it.
  switch (iType) {
    case kTypeDialog: {
      CPromptDialog dialog;
      dialog.OnUpdate(0, strText);
      const int bLayaside = dialog.DoModal() != IDOK ? 1 : 0;
      auto again = m_mapPrompt.find(iID);
      if (again != m_mapPrompt.end()) again->second.bLayaside = bLayaside;
      IniWriteString(file, kLayaside, Key(iID), StringFormat("%d", bLayaside));
      break;
    }
    case kTypeMsgBox: {
      CMsgBox box;
      box.OnUpdate(0, strText);
      box.DoModal();
      break;
    }
    case kTypeBalloon: {
      SMainFrameEvent evt;
      evt.iType = 2;
      evt.strInfo1 = title;
      evt.strInfo2 = strText;
      if (m_pSession) m_pSession->OnMainFrameEvent(evt);
      break;
    }
    default:
      break;
  }
  IniWriteString(file, kDate, Key(iID), Today());
  OP_END
}
