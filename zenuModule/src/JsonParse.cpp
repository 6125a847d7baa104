#include "JsonParse.h"

#include <json/reader.h>

#include <memory>

bool ParseJsonText(const CString& text, Json::Value& root) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = true;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  try {
    return reader->parse(text.data(), text.data() + text.size(), &root, &errors);
  } catch (const std::exception&) {
    return false;
  }
}
