#include "push/OtherDownload.h"

#include <vector>

#include "zenuModule/src/OperationWrapper.h"
#include "zenuModule/src/desktop/InstalledApps.h"
#include "zenuModule/src/desktop/Platform.h"
#include "zenuModule/src/desktop/Shell.h"

namespace {
// Lower-cases ASCII letters only; the trail byte of a GBK character may look
// like a capital letter and must stay as it is.
CString LowerAscii(const CString& text) {
  CString out = text;
  for (size_t i = 0; i < out.size(); ++i) {
    const auto c = static_cast<unsigned char>(out[i]);
    if (c >= 0x81 && c <= 0xFE && i + 1 < out.size()) {
      ++i;
      continue;
    }
    if (c >= 'A' && c <= 'Z') out[i] = static_cast<char>(c - 'A' + 'a');
  }
  return out;
}

bool Has(const CString& text, const char* part) { return text.find(part) != CString::npos; }

// Kind of the Thunder whose display name this is; later tests override earlier ones.
int ThunderKind(const CString& name) {
  int kind = 6;
  if (Has(name, "网页迅雷")) kind = 0;
  if (Has(name, "迅雷5")) kind = 2;
  if (Has(name, "迅雷7")) kind = 3;
  if (Has(name, "迷你迅雷")) kind = 4;
  if (Has(name, "迅雷精简")) kind = 5;
  return kind;
}

// Ids of the installers of old, and those of the Linux builds (com.xunlei.download).
bool IsThunderId(const CString& lowerId) {
  return Has(lowerId, "thunder_") || Has(lowerId, "迅雷_") || Has(lowerId, "webthunder") ||
         Has(lowerId, "minithunder") || Has(lowerId, "xunlei");
}

// The program the desktop opens torrents with is Thunder.
bool IsThunderProgram(const CString& lowerId) {
  return Has(lowerId, "xunlei.bit") || Has(lowerId, "com.xunlei.");
}

// Registry value limits the detection keeps: longer values are skipped.
constexpr size_t kMaxValueName = 254;
constexpr size_t kMaxValueData = 255;
}  // namespace

BOOL COtherDownload::DetectThunder(CString* iconPath, int* kind) {
  OP_BEGIN("COtherDownload::DetectThunder")
  std::vector<SInstalledApp> apps;
  if (!InstalledApps().List(apps)) {
    ShowMessageBox("注册表可能受损，无法定位迅雷");
    return FALSE;
  }
  for (const SInstalledApp& app : apps) {
    const CString id = LowerAscii(app.strId.substr(0, 255));
    if (!IsThunderId(id)) continue;
    bool found = false;
    int foundKind = *kind;
    CString icon;
    for (const auto& value : app.arrValues) {
      if (value.first.size() > kMaxValueName || value.second.size() > kMaxValueData) continue;
      const CString name = LowerAscii(value.first);
      const CString data = LowerAscii(value.second);
      if (Has(name, "displayname") && Has(data, "迅雷")) {
        found = true;
        foundKind = ThunderKind(data);
      }
      if (Has(name, "displayicon")) icon = data;
    }
    if (!found) continue;
    if (foundKind == 2 && icon.empty()) foundKind = 1;
    *iconPath = icon;
    *kind = foundKind;
    return TRUE;
  }
  return FALSE;
  OP_END
}

BOOL COtherDownload::StartThunder(const CString& torrentFile) {
  OP_BEGIN("COtherDownload::StartThunder")
  CString program;
  if (!InstalledApps().DefaultFor("application/x-bittorrent", program)) {
    ShowMessageBox(".torrent键不存在，需要重装迅雷解决此问题");
    return FALSE;
  }
  if (IsThunderProgram(LowerAscii(program.substr(0, 400)))) {
    if (Shell().OpenChecked(torrentFile)) return TRUE;
    ShowMessageBox("迅雷没有打开torrent文件，请确认迅雷能正常启动后再试");
    return FALSE;
  }
  ShowMessageBox(
      "1. 未安装迅雷\n2. 或未设置.torrent文件为迅雷打开\n3. "
      "或其它软件抢占了.torrent文件关联，需要重启迅雷恢复");
  return FALSE;
  OP_END
}

bool COtherDownload::FindThunder(CString* displayName, CString* desktopId) {
  OP_BEGIN("COtherDownload::FindThunder")
  std::vector<SInstalledApp> apps;
  if (!InstalledApps().List(apps)) return false;
  for (const SInstalledApp& app : apps) {
    if (!IsThunderId(LowerAscii(app.strId.substr(0, 255)))) continue;
    for (const auto& value : app.arrValues) {
      if (Has(LowerAscii(value.first), "displayname") && Has(value.second, "迅雷")) {
        *displayName = value.second;
        *desktopId = app.strId;
        return true;
      }
    }
  }
  return false;
  OP_END
}
