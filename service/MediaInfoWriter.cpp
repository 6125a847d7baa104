#include "MediaInfoWriter.h"

#include <cstdio>

namespace zenu {

std::string MediaInfoWriter::SizeText(uint64_t bytes) {
  if (bytes >= 1000000) return std::to_string((bytes + 500000) / 1000000) + "M";
  return std::to_string(std::max<uint64_t>(1, (bytes + 999) / 1000)) + "KB";
}

std::string MediaInfoWriter::XmlEscape(const std::string& text) {
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
        out += "&apos;";
        break;
      default:
        out += c;
    }
  }
  return out;
}

std::string MediaInfoWriter::MediaInfo(const std::vector<PushedMovie>& movies) const {
  std::string xml = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<media_info>\n";
  for (const PushedMovie& p : movies) {
    const Movie& m = *p.movie;
    bool bt = m.fetchMethod == FetchMethod::kBitTorrent;
    char expect[32];
    std::snprintf(expect, sizeof(expect), "%.2f", p.expectEval);
    auto attr = [&xml](const char* name, const std::string& value) {
      xml += std::string(" ") + name + "=\"" + XmlEscape(value) + "\"";
    };
    xml += "  <movie";
    attr("gid", std::to_string(m.id));
    attr("file_name", m.fileName);
    attr("bt_seed_url", bt ? urls_.Torrent(m.id) : "");
    attr("task_display_name", m.title);
    attr("expect_eval", expect);
    attr("size", SizeText(m.sizeBytes));
    attr("bulletin_url", urls_.Bulletin(m.id));
    attr("use_public_torrent", "0");
    attr("store_name", "zenu");
    attr("fetch_method", std::to_string(static_cast<int>(m.fetchMethod)));
    attr("fetch_url", urls_.Fetch(m));
    xml += "/>\n";
  }
  xml += "</media_info>\n";
  return xml;
}

Json::Value MediaInfoWriter::PushNowObject(const Movie& m) const {
  Json::Value v(Json::objectValue);
  v["INT_MOVIE_ID"] = m.id;
  v["UTF8_MOVIE_NAME"] = m.title;
  if (m.fetchMethod == FetchMethod::kBitTorrent) v["ASC_BTSEED_URL"] = urls_.Torrent(m.id);
  v["ASC_BULLETIN_URL"] = urls_.Bulletin(m.id);
  v["ASC_SIZE"] = SizeText(m.sizeBytes);
  v["INT_FETCH_METHOD"] = static_cast<int>(m.fetchMethod);
  v["ASC_FETCH_URL"] = urls_.Fetch(m);
  return v;
}

}  // namespace zenu
