#include "TextCodec.h"

#include <errno.h>
#include <iconv.h>

#include <memory>

namespace {

class CIconv final {
 public:
  CIconv(const char* to, const char* from, bool utf8Source)
      : m_cd(iconv_open(to, from)), m_bUtf8Source(utf8Source) {}
  ~CIconv() {
    if (m_cd != reinterpret_cast<iconv_t>(-1)) iconv_close(m_cd);
  }
  CIconv(const CIconv&) = delete;
  CIconv& operator=(const CIconv&) = delete;

  CString Convert(const CString& in) {
    if (in.empty() || m_cd == reinterpret_cast<iconv_t>(-1)) return in;
    iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    CString out;
    out.reserve(in.size() * 3 / 2 + 4);
    char* src = const_cast<char*>(in.data());
    size_t srcLeft = in.size();
    char chunk[4096];
    while (srcLeft > 0) {
      char* dst = chunk;
      size_t dstLeft = sizeof chunk;
      const size_t rc = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
      out.append(chunk, dst - chunk);
      if (rc != static_cast<size_t>(-1)) break;
      if (errno == E2BIG) continue;
      // A character the target lacks, a malformed sequence or a cut one at the
      // end becomes one '?'.
      out.push_back('?');
      const size_t skip = BadSequenceLength(reinterpret_cast<const unsigned char*>(src), srcLeft);
      src += skip;
      srcLeft -= skip;
      iconv(m_cd, nullptr, nullptr, nullptr, nullptr);
    }
    char* dst = chunk;
    size_t dstLeft = sizeof chunk;
    iconv(m_cd, nullptr, nullptr, &dst, &dstLeft);
    out.append(chunk, dst - chunk);
    return out;
  }

 private:
  // A well-formed UTF-8 character is skipped whole; anything else one byte at a time.
  size_t BadSequenceLength(const unsigned char* p, size_t left) const {
    if (!m_bUtf8Source) return 1;
    size_t len = p[0] >= 0xF0 ? 4 : p[0] >= 0xE0 ? 3 : p[0] >= 0xC0 ? 2 : 1;
    if (len > left) return 1;
    for (size_t i = 1; i < len; ++i) {
      if ((p[i] & 0xC0) != 0x80) return 1;
    }
    return len;
  }

  iconv_t m_cd;
  bool m_bUtf8Source;
};

CIconv& ToUtf8() {
  thread_local CIconv cv("UTF-8", "GBK", false);
  return cv;
}
CIconv& ToGbk() {
  thread_local CIconv cv("GBK", "UTF-8", true);
  return cv;
}

}  // namespace

CString GBKToUtf8(const CString& gbk) { return ToUtf8().Convert(gbk); }
CString Utf8ToGBK(const CString& utf8) { return ToGbk().Convert(utf8); }
void ConvertGBKToUtf8(CString& text) { text = GBKToUtf8(text); }
void ConvertUtf8ToGBK(CString& text) { text = Utf8ToGBK(text); }
