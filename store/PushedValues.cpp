#include "PushedValues.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <vector>

#include "zenuModule/src/StringHelpers.h"
#include "zenuModule/src/TextCodec.h"

namespace {
// "Contains" in the size rules: found after the first character.
bool Has(const CString& text, const char* part) {
  const auto pos = text.find(part);
  return pos != CString::npos && pos > 0;
}

CString AllBut(const CString& text, size_t n) {
  return text.size() > n ? text.substr(0, text.size() - n) : CString();
}

bool IsGbkPair(const CString& text, size_t i) {
  if (i + 1 >= text.size()) return false;
  const auto lead = static_cast<unsigned char>(text[i]);
  const auto trail = static_cast<unsigned char>(text[i + 1]);
  return lead >= 0x81 && lead <= 0xFE && trail >= 0x40 && trail <= 0xFE && trail != 0x7F;
}

// Longest file name the system takes, in UTF-8 bytes, with room to spare.
constexpr size_t kMaxNameBytes = 240;
}  // namespace

int ReadInt(const CString& text) {
  errno = 0;
  const long long v = std::strtoll(text.c_str(), nullptr, 10);
  if (v > INT_MAX) return INT_MAX;
  if (v < INT_MIN) return INT_MIN;
  return static_cast<int>(v);
}

RecordGID ReadGID(const CString& text) {
  return static_cast<RecordGID>(std::strtoll(text.c_str(), nullptr, 10));
}

RecordGID ParseGID(const CString& text) {
  const CString t = TrimWhite(text);
  if (t.empty() || t[0] < '0' || t[0] > '9') return 0;
  errno = 0;
  const unsigned long long v = std::strtoull(t.c_str(), nullptr, 10);
  if (errno == ERANGE || v >= kReservedGID) return 0;
  return static_cast<RecordGID>(v);
}

double XmlTaskSizeMB(const CString& size) {
  double mb = size.empty() ? 0 : 1;
  if (Has(size, "M")) mb = ReadInt(AllBut(size, 1));
  if (Has(size, "G")) mb = ReadInt(AllBut(size, 1)) * 1000.0;
  if (Has(size, "B") && !Has(size, "K")) mb = ReadInt(AllBut(size, 1)) * 0.000001;
  if (Has(size, "K")) mb = ReadInt(AllBut(size, 2)) * 0.001;
  return mb;
}

double PushNowSizeMB(const CString& size) {
  double mb = 0;
  if (Has(size, "M")) mb = ReadInt(AllBut(size, 1));
  if (Has(size, "G")) mb = ReadInt(AllBut(size, 1)) * 1000.0;
  if (Has(size, "B") && !Has(size, "K")) mb = ReadInt(AllBut(size, 1)) * 0.000001;
  if (Has(size, "K") && !Has(size, "B")) mb = ReadInt(AllBut(size, 1)) * 0.001;
  if (Has(size, "KB")) mb = ReadInt(AllBut(size, 2)) * 0.001;
  return mb;
}

double RoundAsStored(double value) {
  return std::strtod(StringFormat("%.2f", value).c_str(), nullptr);
}

double ClampSizeMB(double megabytes) {
  if (!(megabytes > 0)) return 0;
  return megabytes > INT_MAX ? INT_MAX : megabytes;
}

CString SafePathElement(const CString& title, RecordGID gid) {
  std::vector<CString> units;  // whole characters, so a cut never splits one
  for (size_t i = 0; i < title.size(); ++i) {
    if (IsGbkPair(title, i)) {
      units.push_back(title.substr(i, 2));
      ++i;
      continue;
    }
    const auto c = static_cast<unsigned char>(title[i]);
    units.emplace_back(1, (c == '/' || c == '\\' || c < 0x20 || c == 0x7F) ? '_' : title[i]);
  }
  CString name;
  for (const auto& u : units) name += u;
  while (!units.empty() && GBKToUtf8(name).size() > kMaxNameBytes) {
    name.resize(name.size() - units.back().size());
    units.pop_back();
  }
  name = TrimWhite(name);
  if (name.find_first_not_of('.') == CString::npos) name = StringFormat("%u", gid);
  return name;
}
