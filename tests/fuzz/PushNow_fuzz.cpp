// The movie pushed at once (command 2's object) as the record database takes it.
#include <json/reader.h>

#include <cstdint>
#include <memory>
#include <string>

#include "tests/fuzz/FuzzDatabase.h"
#include "zenuModule/src/ProgramException.h"

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  CIntfDB* db = FuzzDatabase();
  const char* text = reinterpret_cast<const char*>(data);
  Json::Value movie;
  Json::CharReaderBuilder builder;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  // The channel hands on objects only.
  if (!reader->parse(text, text + size, &movie, nullptr) || !movie.isObject()) return 0;
  CRecord rec;
  try {
    db->AddPushedRecord2(&movie, kFuzzSaveFolder, &rec);
  } catch (CProgramException* e) {
    // A movie without a usable identifier is refused with the program's error.
    e->Delete();
  }
  return 0;
}
