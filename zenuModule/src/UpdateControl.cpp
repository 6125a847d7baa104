#include "UpdateControl.h"

#include <strings.h>

#include <cstdlib>

#include "Log.h"
#include "OperationWrapper.h"
#include "StringHelpers.h"
#include "desktop/Platform.h"
#include "desktop/Shell.h"
#include "desktop/UpdateVersionDialog.h"

namespace {
// http or https with a host, and nothing a shell or opener could take apart.
bool IsWebUrl(const CString& url) {
  size_t rest = 0;
  if (::strncasecmp(url.c_str(), "http://", 7) == 0) {
    rest = 7;
  } else if (::strncasecmp(url.c_str(), "https://", 8) == 0) {
    rest = 8;
  } else {
    return false;
  }
  if (url.size() <= rest || url[rest] == '/') return false;
  for (const unsigned char c : url) {
    if (c <= 0x20 || c == 0x7f) return false;
  }
  return true;
}
}  // namespace

namespace {
// The description writes line breaks as the two characters backslash and n.
CString WithLineBreaks(const CString& text) {
  CString out;
  out.reserve(text.size());
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\\' && i + 1 < text.size() && text[i + 1] == 'n') {
      out += "\r\n";
      ++i;
    } else {
      out += text[i];
    }
  }
  return out;
}
}  // namespace

int CUpdateControl::GetUrlAndPort(const CString& strUrl, CString& strOutUrl, int& iOutPort) {
  OP_BEGIN("CUpdateControl::GetUrlAndPort")
  const auto first = strUrl.find(':');
  if (first == CString::npos) return 0;
  const auto second = strUrl.find(':', first + 1);
  if (second == CString::npos) return 0;
  iOutPort = std::atoi(strUrl.c_str() + second + 1);
  const auto slash = strUrl.find('/', second);
  strOutUrl =
      strUrl.substr(0, second) + (slash == CString::npos ? CString() : strUrl.substr(slash));
  return slash == CString::npos ? 0 : 1;
  OP_END
}

int CUpdateControl::GetINIString(const CString& strText, const CString& strKey,
                                 CString& strOutValue) {
  OP_BEGIN("CUpdateControl::GetINIString")
  const auto at = strText.find(strKey + "=");
  if (at == CString::npos) {
    strOutValue.clear();
    return 0;
  }
  const auto begin = at + strKey.size() + 1;
  const auto end = strText.find('\n', begin);
  strOutValue = strText.substr(begin, end == CString::npos ? CString::npos : end - begin);
  return 1;
  OP_END
}

int CUpdateControl::SetVersionInfo(const CString& strText, SVersionInfo& info) {
  OP_BEGIN("CUpdateControl::SetVersionInfo")
  struct SKey {
    const char* name;
    CString* text;
    int* number;
  };
  CString newVersion, abandonVersion;
  const SKey keys[] = {{"NewVersionInternal", &newVersion, &info.iNewVersion},
                       {"NewVersionDisplay", &info.strNewDisplay, nullptr},
                       {"NewVersionFunction", &info.strNewFunction, nullptr},
                       {"AbandonVersionInternal", &abandonVersion, &info.iAbandonVersion},
                       {"AbandonVersionDisplay", &info.strAbandonDisplay, nullptr},
                       {"UpdateUrl", &info.strUpdateUrl, nullptr}};
  for (const SKey& key : keys) {
    if (!GetINIString(strText, key.name, *key.text)) {
      ZTRACE(1, "CUpdateControl::SetVersionInfo", "获取 %s 出错", key.name);
      return 0;
    }
    if (key.number) *key.number = std::atoi(key.text->c_str());
  }
  return 1;
  OP_END
}

void CUpdateControl::SplitRequestUrl(const CString& strUrl, CString& strOutUrl, int& iOutPort) {
  OP_BEGIN("CUpdateControl::SplitRequestUrl")
  CString url;
  int port = 80;
  if (GetUrlAndPort(strUrl, url, port)) {
    strOutUrl = url;
    iOutPort = port;
  } else {
    strOutUrl = strUrl;
    iOutPort = 80;
  }
  OP_END
}

void CUpdateControl::OpenUpdateUrl(const CString& strUpdateUrl) {
  OP_BEGIN("CUpdateControl::OpenUpdateUrl")
  // The address comes from the network: only a web page may reach the desktop opener.
  if (!IsWebUrl(strUpdateUrl)) {
    WriteErrorLog(StringFormat("Update url refused: %s", strUpdateUrl.c_str()));
    return;
  }
  Shell().Open(strUpdateUrl);
  OP_END
}

void CUpdateControl::Register(CTemplIntfUpdateControlCaller* pCaller, int iVersion,
                              const CString& strDisplay, const CString& strUrl) {
  OP_BEGIN("CUpdateControl::Register")
  CString requestUrl;
  int port = 80;
  SplitRequestUrl(strUrl, requestUrl, port);
  m_pCaller = pCaller;
  m_iCurVersion = iVersion;
  m_strCurDisplay = strDisplay;
  m_strUrl = strUrl;
  ZTRACE(1, "CUpdateControl::Register", "Check update: %s, %d", UrlForTrace(requestUrl).c_str(),
         port);
  HttpRequest(requestUrl, port);
  OP_END
}

void CUpdateControl::ProcessResult(CBuffer& buf) {
  OP_BEGIN("CUpdateControl::ProcessResult")
  CString text;
  buf.CopyToString(text);
  if (!SetVersionInfo(text, m_info)) {
    ZTRACE(1, "CUpdateControl::ProcessResult", "解析ini文件失败");
    if (m_pCaller) m_pCaller->OnIntfUpdateControlEvent(UE_PARSE_FAILED);
    return;
  }
  if (m_iCurVersion < m_info.iNewVersion) {
    SUpdateVersionDlgData data;
    data.strCurrentDisplay = m_strCurDisplay;
    data.strNewDisplay = m_info.strNewDisplay;
    data.strNewFunction = WithLineBreaks(m_info.strNewFunction);
    data.strUpdateUrl = m_info.strUpdateUrl;
    const CString updateUrl = m_info.strUpdateUrl;
    if (IUpdateVersionDialog* dialog = UpdateVersionDialog()) {
      dialog->DoModal(data, [updateUrl] { OpenUpdateUrl(updateUrl); });
    } else {
      ShowMessageBox("当前版本:" + data.strCurrentDisplay + "\n最新版本: " + data.strNewDisplay +
                     "\n最新功能:\n" + data.strNewFunction + "\n最新版本网址：" +
                     data.strUpdateUrl);
    }
    if (m_pCaller) m_pCaller->OnIntfUpdateControlEvent(UE_NEWER_VERSION);
    return;
  }
  if (m_pCaller) m_pCaller->OnIntfUpdateControlEvent(UE_UP_TO_DATE);
  OP_END
}

void CUpdateControl::ProcessState(SHttpState&) {}

void CUpdateControl::ProcessError(CString) {}
