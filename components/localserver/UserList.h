#pragma once
#include <cstdint>
#include <set>
#include <string>
#include <vector>

// The logged-in user's movie list as the client keeps it (its record database),
// read only, to tell pages which movies are in it already.
class CUserList final {
 public:
  // The ids among ids that have a record; empty when the file cannot be read.
  static std::set<uint32_t> Holding(const std::string& dbFile, const std::vector<uint32_t>& ids);
  // The stored status (eStatus) of one movie; 0 when it has no record or the
  // file cannot be read.
  static int Status(const std::string& dbFile, uint32_t id);
};
