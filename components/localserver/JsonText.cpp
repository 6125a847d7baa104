#include "JsonText.h"

#include <json/reader.h>
#include <json/writer.h>

#include <memory>

bool ParseJson(const std::string& text, Json::Value& root) {
  Json::CharReaderBuilder builder;
  builder["collectComments"] = false;
  std::unique_ptr<Json::CharReader> reader(builder.newCharReader());
  std::string errors;
  try {
    return reader->parse(text.data(), text.data() + text.size(), &root, &errors);
  } catch (const std::exception&) {
    return false;
  }
}

bool ParseJsonObject(const std::string& text, Json::Value& root) {
  return ParseJson(text, root) && root.isObject();
}

std::string WriteCompactJson(const Json::Value& value) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, value);
}
