#pragma once

#include <string>
#include <vector>

#include "Movie.h"
#include "Store.h"

namespace zenu {

struct BulletinComment final {
  std::string userName;  // UTF-8
  RatingRecord rating;
};

// The movie's page in the client's bulletin view (UTF-8 HTML).
class BulletinPage final {
 public:
  static std::string Render(const Movie& movie, double averageScore, int ratingCount,
                            const std::vector<BulletinComment>& comments,
                            const std::string& fetchUrl);
  static std::string HtmlEscape(const std::string& text);
};

}  // namespace zenu
