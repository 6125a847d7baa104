#include "RecordCellText.h"

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

#include "store/Record.h"
#include "zenuModule/src/StringHelpers.h"

namespace {
struct SColumn {
  const char* title;
  int width;
};
const SColumn kColumns[kRecordColumnCount] = {
    {"电影名", 150},
    {"已下载", 60},
    {"电影状态", 60},
    {"推送日期", 120},
    {"下载速度(下载人数)", 200},
    {"剩余时间(已运行)", 120},
    {"大小", 60},
    {"推荐指数", 80},
    {"评价", 40},
    {"下载日期", 121},
    {"保存目录", 130},
};

CString LocalDate(const CString& raw) {
  const time_t t = static_cast<time_t>(atoll(raw.c_str()));
  struct tm parts {};
  if (!localtime_r(&t, &parts)) return CString();
  char buf[32];
  strftime(buf, sizeof buf, "%Y-%m-%d", &parts);
  return buf;
}
}  // namespace

const char* RecordColumnTitle(int iColumn) {
  return iColumn >= 0 && iColumn < kRecordColumnCount ? kColumns[iColumn].title : "";
}

int RecordColumnWidth(int iColumn) {
  return iColumn >= 0 && iColumn < kRecordColumnCount ? kColumns[iColumn].width : 0;
}

CString ConvertTime2SimpleString(int64_t span) {
  const int64_t days = span / 86400;
  const int64_t hours = span / 3600 % 24;
  const int64_t minutes = span / 60 % 60;
  const int64_t seconds = span % 60;
  if (days != 0) return StringFormat("%d天%d小时", static_cast<int>(days), static_cast<int>(hours));
  if (hours != 0)
    return StringFormat("%d小时%d分", static_cast<int>(hours), static_cast<int>(minutes));
  if (minutes != 0) return StringFormat("%d分", static_cast<int>(minutes));
  if (seconds != 0) return StringFormat("%d秒", static_cast<int>(seconds));
  return CString();
}

CString DisplayPretty(uint32_t iColumn, const CString& strRaw) {
  switch (iColumn) {
    case 1:
      return strRaw + "%";
    case 2:
      return RecordStatusText(atoi(strRaw.c_str()));
    case 3:
      return LocalDate(strRaw);
    case 6: {
      const CString text = strRaw + "M";
      return text == "0M" ? CString("未知") : text;
    }
    case 7: {
      const float v = static_cast<float>(atof(strRaw.c_str()));
      if (v < 0.1f) return CString();
      if (v > 99 && v < 101) return "定制推送";
      if (v > 199 && v < 201) return "搜索结果";
      if (v > 299 && v < 301) return "好友推荐";
      return StringFormat("%.1f", v);
    }
    case 8:
      return strRaw == "0" ? CString() : strRaw;
    case 9:
      return atoll(strRaw.c_str()) == 0 ? CString() : LocalDate(strRaw);
    default:
      return strRaw;
  }
}

CString TrackerInfoText(const CString& strRaw) {
  struct SState {
    const char* name;
    const char* text;
  };
  static const SState kStates[] = {
      {"checking", "正在检查已下载部分"}, {"resuming", "正在读取续传信息"},
      {"metadata", "正在获取种子信息"},   {"downloading", "正在连接下载源"},
      {"finished", "下载完成，正在写入"}, {"seeding", "下载完成"},
      {"unknown", "正在启动下载"},
  };
  char state[16] = {0};
  int peers = 0;
  int seeds = 0;
  if (std::sscanf(strRaw.c_str(), "%15[a-z], peers %d, seeds %d", state, &peers, &seeds) != 3)
    return strRaw;
  for (const SState& s : kStates) {
    if (std::strcmp(state, s.name) != 0) continue;
    return StringFormat("%s（已连接%d人，其中%d个完整来源）", s.text, peers, seeds);
  }
  return strRaw;
}
