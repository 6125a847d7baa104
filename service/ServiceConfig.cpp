#include "ServiceConfig.h"

#include <fstream>
#include <stdexcept>

#include "DemoVideo.h"

namespace zenu {
namespace {

int ToInt(const std::string& key, const std::string& value) {
  size_t used = 0;
  int n = 0;
  try {
    n = std::stoi(value, &used);
  } catch (const std::exception&) {
    used = 0;
  }
  if (used == 0 || used != value.size()) {
    throw std::invalid_argument("--" + key + " needs an integer, got \"" + value + "\"");
  }
  return n;
}

std::string Trim(const std::string& s) {
  size_t b = s.find_first_not_of(" \t\r\n");
  if (b == std::string::npos) return "";
  size_t e = s.find_last_not_of(" \t\r\n");
  return s.substr(b, e - b + 1);
}

}  // namespace

void ServiceConfig::Set(const std::string& key, const std::string& value) {
  if (key == "host") {
    host = value;
  } else if (key == "port") {
    port = ToInt(key, value);
    if (port < 0 || port > 65535) throw std::invalid_argument("--port out of range");
  } else if (key == "data") {
    dataDir = value;
  } else if (key == "public-host") {
    publicHost = value;
  } else if (key == "threads") {
    threads = std::max(1, ToInt(key, value));
  } else if (key == "demo-movies") {
    catalogue.movies = std::max(1, ToInt(key, value));
  } else if (key == "demo-min-kib") {
    catalogue.minBytes = static_cast<uint64_t>(std::max(1, ToInt(key, value))) * 1024;
  } else if (key == "demo-max-kib") {
    catalogue.maxBytes = static_cast<uint64_t>(std::max(1, ToInt(key, value))) * 1024;
  } else if (key == "demo-video") {
    // "auto": the ffmpeg in PATH, if any; otherwise the tool's path, or empty for none.
    catalogue.videoTool = value == "auto" ? DemoVideo::FindTool() : value;
  } else if (key == "min-prediction") {
    planner.minPrediction = std::stod(value);
  } else if (key == "new-version") {
    update.newVersion = ToInt(key, value);
  } else if (key == "new-version-display") {
    update.newVersionDisplay = value;
  } else if (key == "new-version-function") {
    update.newVersionFunction = value;
  } else if (key == "abandon-version") {
    update.abandonVersion = ToInt(key, value);
  } else if (key == "abandon-version-display") {
    update.abandonVersionDisplay = value;
  } else if (key == "update-url") {
    update.updateUrl = value;
  } else if (key == "config") {
    LoadFile(value);
  } else {
    throw std::invalid_argument("unknown option --" + key);
  }
}

void ServiceConfig::LoadFile(const std::string& path) {
  std::ifstream in(path);
  if (!in) throw std::invalid_argument("cannot read config file " + path);
  std::string line;
  int number = 0;
  while (std::getline(in, line)) {
    ++number;
    line = Trim(line);
    if (line.empty() || line[0] == '#' || line[0] == ';' || line[0] == '[') continue;
    size_t eq = line.find('=');
    if (eq == std::string::npos) {
      throw std::invalid_argument(path + ":" + std::to_string(number) + ": expected key = value");
    }
    Set(Trim(line.substr(0, eq)), Trim(line.substr(eq + 1)));
  }
}

ServiceConfig ServiceConfig::FromArguments(const std::vector<std::string>& args) {
  ServiceConfig config;
  for (size_t i = 0; i < args.size(); ++i) {
    const std::string& arg = args[i];
    if (arg.rfind("--", 0) != 0 || arg.size() < 3) {
      throw std::invalid_argument("unexpected argument " + arg);
    }
    std::string key = arg.substr(2);
    std::string value;
    size_t eq = key.find('=');
    if (eq != std::string::npos) {
      value = key.substr(eq + 1);
      key = key.substr(0, eq);
    } else {
      if (i + 1 >= args.size()) throw std::invalid_argument("--" + key + " needs a value");
      value = args[++i];
    }
    config.Set(key, value);
  }
  return config;
}

std::string ServiceConfig::Usage() {
  return "usage: zenu-service [--host ADDR] [--port N] [--data DIR] [--public-host NAME]\n"
         "         [--threads N] [--demo-movies N] [--demo-min-kib N] [--demo-max-kib N]\n"
         "         [--demo-video auto|FFMPEG]\n"
         "         [--min-prediction X] [--new-version N] [--new-version-display TEXT]\n"
         "         [--new-version-function TEXT] [--abandon-version N]\n"
         "         [--abandon-version-display TEXT] [--update-url URL] [--config FILE]\n";
}

}  // namespace zenu
