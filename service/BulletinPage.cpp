#include "BulletinPage.h"

#include <cstdio>

#include "MediaInfoWriter.h"
#include "MovieKinds.h"

namespace zenu {

std::string BulletinPage::HtmlEscape(const std::string& text) {
  return MediaInfoWriter::XmlEscape(text);
}

std::string BulletinPage::Render(const Movie& m, double averageScore, int ratingCount,
                                 const std::vector<BulletinComment>& comments,
                                 const std::string& fetchUrl) {
  std::string kinds;
  for (int k : m.kinds) {
    if (!kinds.empty()) kinds += " / ";
    kinds += MovieKinds::Name(k).value_or("?");
  }
  char score[64];
  if (ratingCount > 0) {
    std::snprintf(score, sizeof(score), "%.1f 分（%d 人评价）", averageScore, ratingCount);
  } else {
    std::snprintf(score, sizeof(score), "暂无评价");
  }
  std::string title = HtmlEscape(m.title);
  std::string html =
      "<!DOCTYPE html>\n<html lang=\"zh-CN\"><head><meta charset=\"UTF-8\">"
      "<title>" +
      title +
      "</title>"
      "<style>body{font-family:sans-serif;margin:16px;}dt{font-weight:bold;float:left;"
      "width:6em;}dd{margin-left:7em;}li{margin:4px 0;}</style></head><body>\n"
      "<h1 id=\"title\">" +
      title + "</h1>\n" +
      (m.Available()
           ? std::string()
           : std::string("<p id=\"withdrawn\"><strong>本片已下架，不再提供下载。</strong></p>\n")) +
      (m.posterPath.empty()
           ? std::string()
           : "<img id=\"poster\" src=\"/poster/" + std::to_string(m.id) +
                 "\" alt=\"海报\" style=\"float:right;max-width:40%;max-height:420px;"
                 "margin:0 0 12px 16px\">\n") +
      "<dl>"
      "<dt>类型</dt><dd id=\"kinds\">" +
      HtmlEscape(kinds) +
      "</dd>"
      "<dt>年份</dt><dd>" +
      (m.year ? std::to_string(m.year) : std::string("不详")) + "</dd>" +
      (m.durationSeconds > 0
           ? "<dt>片长</dt><dd>" + std::to_string((m.durationSeconds + 30) / 60) + " 分钟</dd>"
           : std::string()) +
      "<dt>大小</dt><dd>" + MediaInfoWriter::SizeText(m.sizeBytes) +
      "</dd>"
      "<dt>评分</dt><dd id=\"score\">" +
      score +
      "</dd></dl>\n"
      "<p id=\"description\">" +
      HtmlEscape(m.description) + "</p>\n";
  if (!m.Available()) {
    // Nothing to download any more; the page stays for those who have the movie.
  } else if (m.fetchMethod == FetchMethod::kBitTorrent) {
    html += "<p><a id=\"download\" href=\"/torrent/" + std::to_string(m.id) +
            ".torrent\">下载种子文件</a></p>\n";
  } else {
    html += "<p><a id=\"download\" href=\"" + HtmlEscape(fetchUrl) +
            "\">使用迅雷下载</a>（本片只提供迅雷下载）</p>\n";
  }
  html += "<h2>网友评论</h2>\n<ul id=\"comments\">\n";
  int shown = 0;
  for (const auto& c : comments) {
    if (c.rating.comment.empty()) continue;
    html += "<li>" + HtmlEscape(c.userName) + "（" + std::to_string(c.rating.score) + "分）：" +
            HtmlEscape(c.rating.comment) + "</li>\n";
    ++shown;
  }
  if (shown == 0) html += "<li>还没有评论</li>\n";
  html += "</ul>\n</body></html>\n";
  return html;
}

}  // namespace zenu
