#pragma once

#include <memory>
#include <mutex>

#include "Catalogue.h"

namespace zenu {

// The current catalogue. A scan builds a new one and publishes it whole; a request keeps the
// snapshot it took for as long as it uses the movies in it, so it never sees a half-built one.
class CatalogueHolder final {
 public:
  std::shared_ptr<const Catalogue> Get() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return current_;
  }
  void Set(std::shared_ptr<const Catalogue> catalogue) {
    std::lock_guard<std::mutex> lock(mutex_);
    current_.swap(catalogue);
  }

 private:
  mutable std::mutex mutex_;
  std::shared_ptr<const Catalogue> current_ =
      std::make_shared<const Catalogue>(std::vector<Movie>{});
};

}  // namespace zenu
