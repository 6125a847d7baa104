// The command channel: JSON documents from the local web server component.
#include "MainDoc.h"
#include "zenuModule/src/JsonParse.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/ProcessValues.h"
#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/TextCodec.h"

namespace {
// The error log keeps the head of an unparsable document; the channel accepts
// any size, the log should not grow by megabytes per bad call.
constexpr size_t kLoggedTextLimit = 16 * 1024;

// Members of the wrong kind read like missing ones instead of throwing.
int ReadInt(const Json::Value& doc, const char* key) {
  const Json::Value& v = doc[key];
  return v.isConvertibleTo(Json::intValue) ? v.asInt() : 0;
}

unsigned ReadUInt(const Json::Value& doc, const char* key) {
  const Json::Value& v = doc[key];
  return v.isConvertibleTo(Json::uintValue) ? v.asUInt() : 0u;
}

CString ReadText(const Json::Value& doc, const char* key) {
  const Json::Value& v = doc[key];
  return v.isConvertibleTo(Json::stringValue) ? v.asString() : CString();
}

}  // namespace

int CMainDoc::OnLocalSrvCmd(const char* strJsonPara) {
  OP_BEGIN("CMainDoc::OnLocalSrvCmd")
  const CString text = strJsonPara ? strJsonPara : "";
  Json::Value root;
  if (!ParseJsonText(text, root)) {
    CString logged = text;
    if (logged.size() > kLoggedTextLimit) {
      logged = text.substr(0, kLoggedTextLimit) + StringFormat("...(%zu bytes)", text.size());
    }
    WriteErrorLog(StringFormat("JSON Parse error, strJsonPara is %s", logged.c_str()));
    return 0;
  }
  // A document that is no object carries no command index.
  if (root.isObject()) RunLocalSrvCmd(root);
  return 0;
  OP_END
}

void CMainDoc::RunLocalSrvCmd(const Json::Value& root) {
  OP_BEGIN("CMainDoc::RunLocalSrvCmd")
  const int iCmd = ReadInt(root, "INT_CMD_IDX");
  switch (iCmd) {
    case 1:
      if (m_pPushEngine) m_pPushEngine->FindAndDisplayMovie(ReadUInt(root, "INT_VIEW_MOVIEID"));
      break;
    case 2:
      if (m_pPushEngine) {
        const Json::Value& movie = root["DICT_MOVIE"];
        m_pPushEngine->ReceiveNewTask2(movie.isObject() ? movie : Json::Value(Json::objectValue));
      }
      break;
    case 10:
    case 11:
      if (m_pEvalService) {
        m_pEvalService->EvalRecord(ReadUInt(root, "INT_MOVIE_ID"), ReadInt(root, "INT_EVAL"), 0,
                                   iCmd == 10 ? &root : nullptr);
      }
      break;
    case 20:
      if (!m_pPushEngine) break;
      if (ReadInt(root, "INT_CLIENT_ID") == 1) {
        m_pPushEngine->OnDownloadRecord();
      } else {
        const int iMethod = ReadInt(root, "INT_FETCH_METHOD");
        if (iMethod == 1) {
          m_pPushEngine->OnRunningThunder();
        } else if (iMethod == 5) {
          m_pPushEngine->OnRunningThunderEx(0);
        }
      }
      break;
    case 21:
      if (m_pPushEngine) m_pPushEngine->StreamMovieFromPage(ReadUInt(root, "INT_MOVIE_ID"));
      break;
    case 32:
    case 33:
    case 34:
      if (m_pPushEngine)
        m_pPushEngine->OnRequestRecordStatus(iCmd == 32 ? 2 : iCmd == 33 ? 0 : 1, 0);
      break;
    case 35:
    case 36:
      if (m_pPushEngine) m_pPushEngine->EndCalcDlg(iCmd);
      break;
    case 37: {
      CString strMediaInfo = ReadText(root, "STR_MEDIA_INFO");
      ConvertUtf8ToGBK(strMediaInfo);
      PostSchedule(37, strMediaInfo);
      break;
    }
    case 40:
    case 111:
    case 112:
    case 130:
      PostSchedule(iCmd, CString());
      break;
    case 50:
    case 51: {
      // The local server's answer to a "不感兴趣" or a reason asked for.
      if (!m_pPushEngine) break;
      CString text = ReadText(root, iCmd == 50 ? "STR_ERROR" : "STR_REASON");
      ConvertUtf8ToGBK(text);
      if (iCmd == 50) {
        m_pPushEngine->OnDismissAnswer(ReadUInt(root, "INT_MOVIE_ID"),
                                       ReadInt(root, "INT_RESULT") == 1, text);
      } else {
        m_pPushEngine->OnPushReason(ReadUInt(root, "INT_MOVIE_ID"),
                                    ReadInt(root, "INT_RESULT") == 1, text);
      }
      break;
    }
    case 100:
      ZTRACE(1, "CMainDoc::OnLocalSrvCmd", "LocalSrv is ready");
      PostSchedule(kLocalSrvReadyEvent, CString());
      break;
    case 200: {
      // An empty host would break every URL built afterwards.
      const CString strIP = ReadText(root, "STR_IP");
      if (!strIP.empty()) CProcessValues::SetRemoteSrvHost(strIP);
      break;
    }
    default:
      break;
  }
  OP_END
}
