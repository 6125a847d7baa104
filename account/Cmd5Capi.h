#pragma once
#include <openssl/types.h>

#include "zenuModule/src/Types.h"

// MD5 digests of passwords: 32 lower-case hexadecimal characters of the GBK bytes.
class Cmd5Capi final {
 public:
  // libraryContext: the OpenSSL library context to fetch MD5 from; null = the default.
  explicit Cmd5Capi(OSSL_LIB_CTX* libraryContext = nullptr) : m_libraryContext(libraryContext) {}

  // The digest, or one of the failure texts in its place.
  CString Digest(const CString& strText) const;

 private:
  OSSL_LIB_CTX* m_libraryContext;
};
