// The media-info task document and the movie pushed at once, as the record
// database takes them from the local server (text the service chose).
#include <json/reader.h>
#include <unistd.h>

#include <cstdint>
#include <cstdlib>
#include <memory>
#include <string>

#include "store/IntfDB.h"
#include "store/MultiUserMgr.h"
#include "zenuModule/src/ProgramException.h"

namespace {
CIntfDB* Database() {
  static CIntfDB* db = [] {
    char folder[] = "/tmp/vadeko-fuzz-XXXXXX";
    const char* made = ::mkdtemp(folder);
    if (!made) std::abort();
    ::setenv("VADEKO_HOME", (std::string(made) + "/").c_str(), 1);
    CMultiUserMgr::GetInstance()->SaveAccountAndPwd("u", "0123456789abcdef0123456789abcdef");
    CIntfDB* d = CIntfDB::GetInstance();
    if (!d->LoadDB()) std::abort();
    return d;
  }();
  return db;
}
}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  if (size == 0) return 0;
  CIntfDB* db = Database();
  // The first byte chooses the document kind.
  const std::string text(reinterpret_cast<const char*>(data) + 1, size - 1);
  if (data[0] & 1) {
    Json::Value movie;
    Json::CharReaderBuilder builder;
    std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
    if (!reader->parse(text.data(), text.data() + text.size(), &movie, nullptr) ||
        !movie.isObject()) {
      return 0;
    }
    CRecord rec;
    try {
      db->AddPushedRecord2(&movie, &rec);
    } catch (CProgramException* e) {
      // A movie without a usable identifier is refused with the program's error.
      e->Delete();
    }
  } else {
    CGIDList gids;
    db->AddPushedRecord(text, &gids);
  }
  return 0;
}
