#pragma once
#include <json/value.h>

#include <string>

// JSON text of the component's own answers and of what it reads from the
// client, the pages and the service.

// False when the text is not JSON (also when it nests too deep for the reader).
bool ParseJson(const std::string& text, Json::Value& root);
// True only for a JSON object.
bool ParseJsonObject(const std::string& text, Json::Value& root);
// One line, UTF-8 kept as it is.
std::string WriteCompactJson(const Json::Value& value);
