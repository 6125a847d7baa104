// Handing a record to the download manager instead of downloading it here.
#include <json/value.h>

#include "push/PushDoc.h"
#include "store/IntfDB.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/desktop/Platform.h"

namespace {
// The page's flag: 1 asks the client to start the manager itself.
int ThunderFlag(const Json::Value& data) {
  const Json::Value& v = data.isObject() ? data["INT_THUNDER_DOWN_FLAG"] : Json::Value();
  return v.isIntegral() ? v.asInt() : 0;
}
}  // namespace

void CPushDoc::MarkThunder(CRecord rec) {
  OP_BEGIN("CPushDoc::MarkThunder")
  rec.SetStatus(RS_THUNDER);
  CIntfDB::GetInstance()->UpdateRecord(rec);
  RefreshRecord(rec.GetGID());
  WatchHandOff(rec);
  OP_END
}

void CPushDoc::RunningThunder(CRecord rec, const Json::Value* data) {
  OP_BEGIN("CPushDoc::RunningThunder")
  if (data && ThunderFlag(*data) != 1) {
    MarkThunder(rec);
    return;
  }
  CString iconPath;
  int kind = 7;
  if (!m_otherDownload.DetectThunder(&iconPath, &kind)) {
    ShowMessageBox("找不到迅雷程序,请先安装");
    return;
  }
  switch (rec.GetFetchMethod()) {
    case 1:
      if (kind == 5) {
        ShowMessageBox(
            "您安装的是迅雷精简版，不支持BT方式下载。建议安装迅雷7或迷你迅雷3.1.1.58版本");
      } else {
        DownloadBTWithThunder(rec);
      }
      break;
    case 5: {
      SBulletinViewData hint;
      hint.iType = 2;
      if (m_pBulletinView) m_pBulletinView->OnBulletinViewUpdate(hint);
      MarkThunder(rec);
      break;
    }
    default:
      break;
  }
  OP_END
}

void CPushDoc::DownloadBTWithThunder(CRecord rec) {
  OP_BEGIN("CPushDoc::DownloadBTWithThunder")
  CString torrent;
  if (!FetchTorrent(rec, torrent)) {
    ShowMessageBox("找不到torrent文件,无法启动下载");
    return;
  }
  if (m_otherDownload.StartThunder(torrent)) MarkThunder(rec);
  OP_END
}

void CPushDoc::RunningThunderSelected(const Json::Value* data) {
  OP_BEGIN("CPushDoc::RunningThunderSelected")
  const std::vector<RecordGID> sel = m_arrSelectedGIDs;
  if (sel.size() > 1) {
    ShowMessageBox("一次只能下载一个");
    return;
  }
  if (sel.size() == 1) TaskStatusMachine(static_cast<int>(sel.front()), TE_THUNDER, data);
  OP_END
}

void CPushDoc::OnRunningThunder() {
  OP_BEGIN("CPushDoc::OnRunningThunder")
  RunningThunderSelected(nullptr);
  OP_END
}

void CPushDoc::OnRunningThunderEx(int iFlag) {
  OP_BEGIN("CPushDoc::OnRunningThunderEx")
  Json::Value data(Json::objectValue);
  data["INT_THUNDER_DOWN_FLAG"] = iFlag;
  RunningThunderSelected(&data);
  OP_END
}
