#pragma once

#include <ostream>

#include "ServiceConfig.h"

namespace zenu {

// What an operator runs against the store of --data without starting the service:
// "movies", "retire ID", "users", and --scan.
class AdminCommands final {
 public:
  // The exit code: 0 done, 1 failed, 2 a wrong command.
  static int Run(const ServiceConfig& config, std::ostream& out, std::ostream& err);
  static int Scan(const ServiceConfig& config, std::ostream& out, std::ostream& err);
  // Opening the store applies the schema steps it lacks.
  static int Migrate(const ServiceConfig& config, std::ostream& out, std::ostream& err);
};

}  // namespace zenu
