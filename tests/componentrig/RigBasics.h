#pragma once
#include <json/value.h>

#include <functional>
#include <string>

// Runs the Qt loop (so bus calls to this process are served) until done() or
// the time-out; returns done().
bool WaitFor(const std::function<bool()>& done, int timeoutMs = 15000);
// Runs the Qt loop for a while, e.g. to see that nothing more arrives.
void Pump(int ms);

// A loopback TCP port nobody listens on at the moment.
int FreeLoopbackPort();

// Compact, UTF-8 kept as it is.
std::string WriteJson(const Json::Value& v);
bool ParseJson(const std::string& text, Json::Value& out);
// Null when the text is not JSON.
Json::Value ParseJson(const std::string& text);
