#include "RequestParams.h"

#include <json/writer.h>

#include <cerrno>
#include <cstdlib>

#include "ServiceContext.h"

namespace zenu {

std::string RequestParams::Required(const char* name) const {
  if (!req_.has_param(name)) {
    throw HttpError(400, std::string("missing parameter ") + name);
  }
  return req_.get_param_value(name);
}

std::optional<std::string> RequestParams::Optional(const char* name) const {
  if (!req_.has_param(name)) return std::nullopt;
  return req_.get_param_value(name);
}

long long RequestParams::ParseInt(const std::string& text, const std::string& what, long long min,
                                  long long max) {
  if (text.empty() || text.size() > 19 ||
      text.find_first_not_of("-0123456789") != std::string::npos) {
    throw HttpError(400, what + " must be an integer, got \"" + text + "\"");
  }
  errno = 0;
  char* end = nullptr;
  long long value = std::strtoll(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0') {
    throw HttpError(400, what + " must be an integer, got \"" + text + "\"");
  }
  if (value < min || value > max) {
    throw HttpError(
        400, what + " must be between " + std::to_string(min) + " and " + std::to_string(max));
  }
  return value;
}

long long RequestParams::Int(const char* name, long long min, long long max) const {
  return ParseInt(Required(name), name, min, max);
}

long long RequestParams::IntOr(const char* name, long long fallback, long long min,
                               long long max) const {
  auto text = Optional(name);
  return text ? ParseInt(*text, name, min, max) : fallback;
}

uint32_t RequestParams::MovieId(const httplib::Request& req, size_t match) {
  return static_cast<uint32_t>(ParseInt(req.matches[match].str(), "movie id", 1, 0xFFFFFFFFll));
}

std::string JsonReply::Write(const Json::Value& body) {
  Json::StreamWriterBuilder builder;
  builder["indentation"] = "";
  builder["emitUTF8"] = true;
  return Json::writeString(builder, body);
}

void JsonReply::Send(httplib::Response& res, const Json::Value& body, int status) {
  res.status = status;
  res.set_content(Write(body), "application/json; charset=utf-8");
}

}  // namespace zenu
