#pragma once

#include <optional>
#include <string>

namespace zenu {

// The client keeps its texts in GBK and URL-encodes those bytes; the service stores what
// arrives and converts only where text is shown or compared.
class GbkText final {
 public:
  // Empty optional when the input is not valid in the source encoding.
  static std::optional<std::string> ToUtf8(const std::string& gbk);
  static std::optional<std::string> FromUtf8(const std::string& utf8);
  // GBK text shown as UTF-8; invalid bytes become U+FFFD so a bad name never breaks a page.
  static std::string ToUtf8Lossy(const std::string& gbk);
  static bool IsValidUtf8(const std::string& text);

  // Percent-decoding without '+' handling: the client's encoder never leaves a '+' raw.
  // Empty optional on a malformed escape.
  static std::optional<std::string> PercentDecode(const std::string& text);
  // The client's own encoder: letters, digits and "-./_" stay, every other byte is escaped.
  static std::string PercentEncode(const std::string& bytes);
};

}  // namespace zenu
