#include "Cmd5Capi.h"

#include <openssl/evp.h>

#include <cstdio>
#include <memory>

namespace {
struct SEvpDeleter {
  void operator()(EVP_MD_CTX* ctx) const { EVP_MD_CTX_free(ctx); }
  void operator()(EVP_MD* md) const { EVP_MD_free(md); }
};
}  // namespace

CString Cmd5Capi::Digest(const CString& strText) const {
  std::unique_ptr<EVP_MD_CTX, SEvpDeleter> ctx(EVP_MD_CTX_new());
  if (!ctx) return "Error acquiring context";
  std::unique_ptr<EVP_MD, SEvpDeleter> md(EVP_MD_fetch(m_libraryContext, "MD5", nullptr));
  if (!md || EVP_DigestInit_ex(ctx.get(), md.get(), nullptr) != 1) return "Error creating hash";
  if (EVP_DigestUpdate(ctx.get(), strText.data(), strText.size()) != 1) return "Error hashing data";
  unsigned char digest[EVP_MAX_MD_SIZE];
  unsigned int size = 0;
  if (EVP_DigestFinal_ex(ctx.get(), digest, &size) != 1 || size != 16) {
    return "Error getting hash param";
  }
  CString hex;
  char pair[3];
  for (unsigned int i = 0; i < size; ++i) {
    std::snprintf(pair, sizeof pair, "%02x", digest[i]);
    hex += pair;
  }
  return hex;
}
