// Watching the downloading movie while it downloads, through the BitTorrent
// component's loopback address.
#include <cctype>
#include <utility>

#include "push/PushDoc.h"
#include "zenuModule/src/Log.h"
#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/desktop/MessageBox.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/Shell.h"

namespace {
constexpr size_t kMaxUrlBytes = 2048;

// Only what our own component serves: plain text on this machine.
bool IsLoopbackStreamUrl(const CString& url) {
  static const CString kPrefix = "http://127.0.0.1:";
  if (url.size() <= kPrefix.size() || url.size() > kMaxUrlBytes ||
      url.compare(0, kPrefix.size(), kPrefix) != 0)
    return false;
  for (const char c : url) {
    const auto u = static_cast<unsigned char>(c);
    if (u <= 0x20 || u >= 0x7f || c == '"' || c == '\\' || c == '\'') return false;
  }
  return true;
}

// The video type of the file the address names, for the desktop's default
// player of that type.
CString VideoMimeType(const CString& url) {
  static const std::pair<const char*, const char*> kTypes[] = {
      {"mkv", "video/x-matroska"},
      {"mp4", "video/mp4"},
      {"m4v", "video/mp4"},
      {"avi", "video/x-msvideo"},
      {"webm", "video/webm"},
      {"mov", "video/quicktime"},
      {"ts", "video/mp2t"},
      {"m2ts", "video/mp2t"},
      {"flv", "video/x-flv"},
      {"wmv", "video/x-ms-wmv"},
      {"mpg", "video/mpeg"},
      {"mpeg", "video/mpeg"},
      {"ogv", "video/ogg"},
      {"3gp", "video/3gpp"},
      {"rmvb", "application/vnd.rn-realmedia-vbr"},
  };
  const size_t slash = url.rfind('/');
  const size_t dot = url.rfind('.');
  CString ext;
  if (dot != CString::npos && (slash == CString::npos || dot > slash)) ext = url.substr(dot + 1);
  for (char& c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  for (const auto& type : kTypes) {
    if (ext == type.first) return type.second;
  }
  // Most players take any video; this one has a default on every desktop.
  return "video/x-matroska";
}
}  // namespace

void CPushDoc::RefreshStreamUrl() {
  OP_BEGIN("CPushDoc::RefreshStreamUrl")
  CString url;
  // The address is a convenience: a failed question leaves the download alone.
  try {
    url = m_btDownload.GetOtherRunInfo(3);
  } catch (CException* e) {
    LogAndDeleteException(e);
  }
  if (!IsLoopbackStreamUrl(url)) url.clear();
  if (url != m_strStreamUrl && !url.empty())
    ZTRACE(1, zenuOpName_, "可以边下边播: %u", m_ulDownloadingGID);
  m_strStreamUrl = url;
  m_ulStreamGID = m_ulDownloadingGID;
  SendStreamState();
  OP_END
}

void CPushDoc::ForgetStream() {
  m_strStreamUrl.clear();
  m_ulStreamGID = kReservedGID;
  SendStreamState();
}

CString CPushDoc::GetStreamUrl(RecordGID ulGID) const {
  if (ulGID == 0 || ulGID == kReservedGID || ulGID != m_ulDownloadingGID || ulGID != m_ulStreamGID) return CString();
  return m_strStreamUrl;
}

void CPushDoc::SendStreamState() {
  const int can = !m_arrSelectedGIDs.empty() &&
                          !GetStreamUrl(m_arrSelectedGIDs.front()).empty()
                      ? 1
                      : 0;
  if (can == m_iStreamShown) return;
  m_iStreamShown = can;
  SPushFrameData data;
  data.iType = 5;
  data.iValue = can;
  SendPushFrame(data);
}

int CPushDoc::StreamMovie(RecordGID ulGID) {
  OP_BEGIN("CPushDoc::StreamMovie")
  const CString url = GetStreamUrl(ulGID);
  if (url.empty()) return 1;
  if (!Shell().OpenWithDefaultFor(url, VideoMimeType(url))) {
    ZTRACE(1, zenuOpName_, "无法启动播放器: %s", url.c_str());
    return 2;
  }
  ZTRACE(1, zenuOpName_, "边下边播: %u", ulGID);
  return 0;
  OP_END
}

void CPushDoc::OnStreamPlay() {
  OP_BEGIN("CPushDoc::OnStreamPlay")
  if (!m_arrSelectedGIDs.empty()) StreamAndTell(m_arrSelectedGIDs.front());
  OP_END
}

void CPushDoc::StreamMovieFromPage(RecordGID ulGID) {
  OP_BEGIN("CPushDoc::StreamMovieFromPage")
  // The identifier comes from a page: only the downloading movie answers.
  if (ulGID == 0 || ulGID == kReservedGID) return;
  StreamAndTell(ulGID);
  OP_END
}

void CPushDoc::StreamAndTell(RecordGID ulGID) {
  OP_BEGIN("CPushDoc::StreamAndTell")
  const int result = StreamMovie(ulGID);
  if (result == 1) {
    ShowMessageBox("这部电影还不能边下边播：只有正在下载的电影，在开头部分下载好以后才能播放");
  } else if (result == 2) {
    ShowMessageBox("无法启动播放器，请确认系统中安装了视频播放程序");
  }
  OP_END
}
