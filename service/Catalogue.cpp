#include "Catalogue.h"

#include <algorithm>
#include <cstdlib>

#include "MovieKinds.h"

namespace zenu {

Catalogue::Catalogue(std::vector<Movie> movies) : movies_(std::move(movies)) {
  for (size_t i = 0; i < movies_.size(); ++i) index_[movies_[i].id] = i;
}

const Movie* Catalogue::Find(uint32_t id) const {
  auto it = index_.find(id);
  return it == index_.end() ? nullptr : &movies_[it->second];
}

size_t Catalogue::AvailableCount() const {
  return static_cast<size_t>(
      std::count_if(movies_.begin(), movies_.end(), [](const Movie& m) { return m.Available(); }));
}

std::vector<const Movie*> Catalogue::Search(const std::string& query, size_t limit) const {
  std::vector<const Movie*> found;
  if (query.empty()) return found;
  auto kind = MovieKinds::Parse(query);
  bool numeric = query.find_first_not_of("0123456789") == std::string::npos;
  int year = numeric && query.size() == 4 ? std::atoi(query.c_str()) : 0;
  for (const Movie& m : movies_) {
    if (found.size() >= limit) break;
    if (!m.Available()) continue;
    bool match =
        m.title.find(query) != std::string::npos || (year != 0 && m.year == year) ||
        (kind && !numeric && std::find(m.kinds.begin(), m.kinds.end(), *kind) != m.kinds.end());
    if (match) found.push_back(&m);
  }
  return found;
}

}  // namespace zenu
