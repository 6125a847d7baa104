#pragma once
#include <json/value.h>

#include "Types.h"

// Parses a JSON text with its comments collected; false when it is not JSON,
// also when it nests deeper than the reader allows (jsoncpp throws then).
bool ParseJsonText(const CString& text, Json::Value& root);
