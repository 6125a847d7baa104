#include "BulletinHtml.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <ctime>
#include <sstream>

namespace {
std::string Text(const Json::Value& v, const char* key) {
  const Json::Value& x = v[key];
  return x.isString() ? x.asString() : std::string();
}

long long Int(const Json::Value& v, const char* key) {
  const Json::Value& x = v[key];
  return x.isIntegral() ? x.asLargestInt() : 0;
}

std::string Stars(double score) {
  int full = static_cast<int>(std::lround(score));
  if (full < 0) full = 0;
  if (full > 5) full = 5;
  std::string out;
  for (int i = 0; i < 5; ++i) out += i < full ? "★" : "☆";
  return out;
}

std::string Date(long long epoch) {
  if (epoch <= 0) return "";
  const std::time_t t = static_cast<std::time_t>(epoch);
  std::tm local{};
  localtime_r(&t, &local);
  char buf[32];
  std::strftime(buf, sizeof buf, "%Y-%m-%d", &local);
  return buf;
}

// The first character of a UTF-8 title, for the generated poster.
std::string FirstChar(const std::string& title) {
  if (title.empty()) return "?";
  const unsigned char lead = static_cast<unsigned char>(title[0]);
  size_t len = lead < 0x80 ? 1 : (lead >> 5) == 6 ? 2 : (lead >> 4) == 14 ? 3 : 4;
  return title.substr(0, std::min(len, title.size()));
}

const char* const kScoreWords[] = {"很差", "较差", "还行", "推荐", "力荐"};

std::string AverageText(double average, long long count) {
  if (count <= 0) return "暂无评分";
  char avg[16];
  std::snprintf(avg, sizeof avg, "%.1f", average);
  return "<span class=\"stars\">" + Stars(average) + "</span> " + avg + "（" +
         std::to_string(count) + "人评价）";
}

void Head(std::ostringstream& out, const std::string& title, const std::string& token,
          const char* bodyClass) {
  out << "<!DOCTYPE html>\n<html lang=\"zh-CN\">\n<head>\n<meta charset=\"utf-8\">\n"
      << "<meta name=\"vadeko-token\" content=\"" << HtmlEscape(token) << "\">\n"
      << "<title>" << HtmlEscape(title) << " - Vadeko</title>\n"
      << "<link rel=\"stylesheet\" href=\"/css/vadeko.css\">\n</head>\n<body class=\"" << bodyClass
      << "\"";
}
}  // namespace

std::string HtmlEscape(const std::string& text) {
  std::string out;
  out.reserve(text.size());
  for (char c : text) {
    switch (c) {
      case '&':
        out += "&amp;";
        break;
      case '<':
        out += "&lt;";
        break;
      case '>':
        out += "&gt;";
        break;
      case '"':
        out += "&quot;";
        break;
      case '\'':
        out += "&#39;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string ListStatusText(int status) {
  switch (status) {
    case 1:
      return "这部电影在“已删除”中，可以重新下载。";
    case 2:
      return "已下载完成：在“已下载”列表中双击这部电影即可播放。";
    case 4:
      return "Vadeko 正在下载这部电影，进度见“正下载”。";
    case 12:
      return "这部电影在“正下载”中排队，前一部下完就开始。";
    case 20:
      return "这部电影的下载已停止，可以继续下载。";
    case 64:
      return "这部电影已交给迅雷下载，请在迅雷中查看进度。";
    default:
      return "";
  }
}

std::string RenderBulletin(const Json::Value& movie, const std::string& token, int status) {
  const long long id = Int(movie, "id");
  const std::string title = Text(movie, "title");
  const int fetchMethod = static_cast<int>(Int(movie, "fetch_method"));
  const bool thunderOnly = fetchMethod == 5;
  std::ostringstream out;
  Head(out, title, token, "bulletin");
  out << " data-movie-id=\"" << id << "\" data-fetch-method=\"" << fetchMethod
      << "\" data-list-status=\"" << status << "\"";
  if (thunderOnly) out << " data-fetch-url=\"" << HtmlEscape(Text(movie, "fetch_url")) << "\"";
  out << ">\n<main class=\"page\">\n<header class=\"movie-head card\">\n"
      << "<div class=\"poster poster-c" << (id % 6) << "\"><span>" << HtmlEscape(FirstChar(title))
      << "</span></div>\n<div class=\"movie-info\">\n<h1>" << HtmlEscape(title);
  if (Int(movie, "year") > 0) out << " <span class=\"year\">(" << Int(movie, "year") << ")</span>";
  out << "</h1>\n<div class=\"tags\">";
  for (const Json::Value& kind : movie["kinds"]) {
    if (kind.isObject())
      out << "<span class=\"tag\">" << HtmlEscape(Text(kind, "name")) << "</span>";
  }
  const double average = movie["average_score"].isNumeric() ? movie["average_score"].asDouble() : 0;
  const long long count = Int(movie, "rating_count");
  out << "</div>\n<dl class=\"facts\">\n<dt>大小</dt><dd>" << HtmlEscape(Text(movie, "size"))
      << "</dd>\n<dt>下载方式</dt><dd>"
      << (thunderOnly ? "仅支持迅雷下载" : "BT 下载（也可交给迅雷）")
      << "</dd>\n<dt>网友评分</dt><dd id=\"average\">" << AverageText(average, count)
      << "</dd>\n</dl>\n<div class=\"actions\">\n";
  // Downloaded, running or handed over: a download button would do nothing.
  const bool canStart = status == 0 || status == 1 || status == 20 || status == 32;
  if (!thunderOnly && canStart) {
    out << "<button type=\"button\" class=\"btn primary\" id=\"btnDownload\" data-client=\"1\">"
        << (status == 20 ? "继续下载" : "用 Vadeko 下载") << "</button>\n";
  }
  // Only while our own download runs: the client streams that one alone.
  if (status == 4) {
    out << "<button type=\"button\" class=\"btn primary\" id=\"btnStream\">边下边播</button>\n";
  }
  if (canStart) {
    out << "<button type=\"button\" class=\"btn" << (thunderOnly ? " primary" : "")
        << "\" id=\"btnThunder\" data-client=\"0\">用迅雷下载</button>\n";
  }
  out << "</div>\n<p class=\"status\" id=\"status\" role=\"status\">"
      << HtmlEscape(ListStatusText(status)) << "</p>\n</div>\n</header>\n";

  const std::string why = Text(movie, "why_pushed");
  if (!why.empty()) {
    const bool dismissed = movie["dismissed"].isBool() && movie["dismissed"].asBool();
    out << "<section class=\"card why\">\n<h2>为什么推荐</h2>\n<p class=\"reason\">"
        << HtmlEscape(why) << "</p>\n<div class=\"footer\"><p class=\"status\" "
        << "id=\"dismissStatus\" role=\"status\">"
        << (dismissed ? "您已表示不感兴趣，不会再推荐这部电影。" : "") << "</p>";
    if (!dismissed)
      out << "<button type=\"button\" class=\"btn\" id=\"btnDismiss\">不感兴趣</button>";
    out << "</div>\n</section>\n";
  }

  out << "<section class=\"card\">\n<h2>剧情简介</h2>\n<p class=\"description\">"
      << HtmlEscape(Text(movie, "description")) << "</p>\n</section>\n";

  // The user's own rating, when there is one: shown again, and the form starts from it.
  const long long mine = Int(movie, "my_score");
  const bool rated = mine >= 1 && mine <= 5;
  out << "<section class=\"card rate\" data-my-score=\"" << (rated ? mine : 0)
      << "\">\n<h2>我的评价</h2>\n<p class=\"muted\" id=\"myRating\">";
  if (rated) {
    out << "您已评价：" << mine << "分（" << kScoreWords[mine - 1] << "）。可以修改后再次发送。";
  } else {
    out << "选一个分数，写下短评（可选），然后发送。";
  }
  out << "</p>\n<div class=\"score-buttons\">\n";
  for (int s = 1; s <= 5; ++s) {
    out << "<button type=\"button\" class=\"score" << (s == mine ? " chosen" : "")
        << "\" id=\"score" << s << "\" data-score=\"" << s << "\" aria-pressed=\""
        << (s == mine ? "true" : "false") << "\"><b>" << s << "分</b><small>" << kScoreWords[s - 1]
        << "</small></button>\n";
  }
  out << "</div>\n<textarea id=\"comment\" maxlength=\"500\" "
         "placeholder=\"写下您的短评（可选，500字以内）\">"
      << HtmlEscape(Text(movie, "my_comment")) << "</textarea>\n"
      << "<label class=\"check\"><input type=\"checkbox\" id=\"recommendAll\"> "
         "推荐给所有关注我的好友</label>\n"
      << "<div class=\"footer\"><p class=\"status\" id=\"rateStatus\" role=\"status\"></p>"
      << "<button type=\"button\" class=\"btn primary\" id=\"btnRate\""
      << (rated ? "" : " disabled") << ">发送评价</button></div>\n</section>\n";

  out << "<section class=\"card\">\n<h2>网友短评</h2>\n";
  const Json::Value& comments = movie["comments"];
  if (!comments.isArray() || comments.empty()) {
    out << "<p class=\"muted\">还没有人写短评，来写第一条吧。</p>\n";
  } else {
    out << "<ul class=\"comments\">\n";
    for (const Json::Value& c : comments) {
      if (!c.isObject()) continue;
      out << "<li><div class=\"comment-head\"><span class=\"user\">"
          << HtmlEscape(Text(c, "username")) << "</span><span class=\"stars\">"
          << Stars(static_cast<double>(Int(c, "score"))) << "</span><span class=\"muted\">"
          << Date(Int(c, "rated_at")) << "</span></div><p>" << HtmlEscape(Text(c, "comment"))
          << "</p></li>\n";
    }
    out << "</ul>\n";
  }
  out << "</section>\n</main>\n<script src=\"/js/vadeko.js\"></script>\n"
      << "<script src=\"/js/bulletin.js\"></script>\n</body>\n</html>\n";
  return out.str();
}

std::string RenderMessagePage(const std::string& heading, const std::string& text) {
  std::ostringstream out;
  Head(out, heading, "", "message");
  out << ">\n<main class=\"page\">\n<section class=\"card notice\">\n<h1>" << HtmlEscape(heading)
      << "</h1>\n<p>" << HtmlEscape(text) << "</p>\n</section>\n</main>\n</body>\n</html>\n";
  return out.str();
}
