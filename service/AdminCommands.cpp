#include "AdminCommands.h"

#include <cstdio>
#include <ctime>
#include <filesystem>
#include <functional>

#include "GbkText.h"
#include "LibraryScanner.h"
#include "MediaProbe.h"
#include "MovieKinds.h"
#include "Store.h"

namespace zenu {
namespace {

const char* StateName(const Movie& m) {
  switch (m.withdrawal) {
    case Withdrawal::kFileGone:
      return "gone";
    case Withdrawal::kRetired:
      return "retired";
    case Withdrawal::kNone:
      break;
  }
  return "offered";
}

std::string Date(int64_t seconds) {
  if (seconds <= 0) return "-";
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm tm{};
  localtime_r(&t, &tm);
  char text[32];
  std::strftime(text, sizeof(text), "%Y-%m-%d %H:%M", &tm);
  return text;
}

}  // namespace

int AdminCommands::Run(const ServiceConfig& config, std::ostream& out, std::ostream& err) {
  const std::vector<std::string>& cmd = config.command;
  const std::string db = config.StoreTarget();
  if (config.database.empty() && !std::filesystem::exists(db)) {
    err << "zenu-service: no store at " << db << " (see --data)\n";
    return 1;
  }
  Store store(db);
  if (cmd[0] == "movies" && cmd.size() == 1) {
    out << "id\ttitle\tyear\tkinds\tfile\tstate\n";
    for (const Movie& m : store.LoadMovies()) {
      std::string kinds;
      for (int k : m.kinds) kinds += (kinds.empty() ? "" : ",") + MovieKinds::Name(k).value_or("?");
      out << m.id << "\t" << m.title << "\t" << (m.year ? std::to_string(m.year) : "-") << "\t"
          << (kinds.empty() ? "-" : kinds) << "\t"
          << (m.sourcePath.empty() ? "(demo) " + m.fileName : m.sourcePath) << "\t" << StateName(m)
          << "\n";
    }
    return 0;
  }
  if (cmd[0] == "retire" && cmd.size() == 2) {
    const std::string& text = cmd[1];
    if (text.empty() || text.size() > 10 ||
        text.find_first_not_of("0123456789") != std::string::npos) {
      err << "zenu-service: retire needs a movie id, got \"" << text << "\"\n";
      return 2;
    }
    const unsigned long long id = std::stoull(text);
    if (id == 0 || id > 0xFFFFFFFFull ||
        !store.SetWithdrawal(static_cast<uint32_t>(id), Withdrawal::kRetired)) {
      err << "zenu-service: no movie " << text << "\n";
      return 1;
    }
    out << "movie " << id
        << " retired: no longer pushed, searched or downloaded; a running service drops it at "
           "its next scan (SIGHUP)\n";
    return 0;
  }
  if (cmd[0] == "users" && cmd.size() == 1) {
    out << "id\tname\tratings\tlast request\tpushes\tregistered\n";
    for (const UserListRow& row : store.UserList()) {
      out << row.user.id << "\t" << GbkText::ToUtf8Lossy(row.user.name) << "\t" << row.ratings
          << "\t" << Date(row.lastRequest) << "\t" << row.pushes << "\t" << Date(row.created)
          << "\n";
    }
    return 0;
  }
  err << "zenu-service: unknown command \"" << cmd[0] << "\" (movies, retire ID, users)\n";
  return 2;
}

int AdminCommands::Migrate(const ServiceConfig& config, std::ostream& out, std::ostream&) {
  if (config.database.empty()) std::filesystem::create_directories(config.dataDir);
  Store store(config.StoreTarget(), 1);
  out << "migrate: " << WithoutPassword(config.StoreTarget()) << " at schema version "
      << store.SchemaVersion() << "\n";
  return 0;
}

int AdminCommands::Scan(const ServiceConfig& config, std::ostream& out, std::ostream& err) {
  if (config.libraries.empty()) {
    err << "zenu-service: --scan needs at least one --library\n";
    return 2;
  }
  std::vector<std::string> roots;
  for (const std::string& library : config.libraries) {
    roots.push_back(LibraryScanner::CanonicalRoot(library));
  }
  std::filesystem::create_directories(config.dataDir);
  Store store(config.StoreTarget());
  std::string probe = config.probeTool;
  if (probe == "auto") probe = MediaProbe::FindTool();
  if (probe == "none") probe.clear();
  LibraryScanner scanner(store, config.dataDir, roots, probe);
  ScanReport report;
  {
    TerminalProgress line;
    report = scanner.Scan(std::ref(line), nullptr);
  }
  out << report.Summary() << "\n" << report.Details() << "\n";
  for (const std::string& s : report.skipped) out << "  skipped " << s << "\n";
  for (const std::string& e : report.errors) err << "  cannot read " << e << "\n";
  return report.errors.empty() ? 0 : 1;
}

}  // namespace zenu
