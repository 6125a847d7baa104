#pragma once

#include <json/value.h>

#include <string>
#include <vector>

#include "PushPlanner.h"
#include "ServiceUrls.h"

namespace zenu {

// The documents the client stores as records: the media-info list and the push-now object.
class MediaInfoWriter final {
 public:
  explicit MediaInfoWriter(const ServiceUrls& urls) : urls_(urls) {}

  std::string MediaInfo(const std::vector<PushedMovie>& movies) const;
  Json::Value PushNowObject(const Movie& movie) const;

  // The client reads the number before the unit as an integer and treats "MB" as bytes, so
  // sizes go out as whole megabytes with "M", small ones as kilobytes with "KB".
  static std::string SizeText(uint64_t bytes);
  static std::string XmlEscape(const std::string& text);

 private:
  const ServiceUrls& urls_;
};

}  // namespace zenu
