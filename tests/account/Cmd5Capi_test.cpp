#include "account/Cmd5Capi.h"

#include <gtest/gtest.h>
#include <openssl/crypto.h>
#include <openssl/provider.h>

TEST(Cmd5CapiTest, DigestsOfGbkBytesAndTheFailureText) {
  const Cmd5Capi md5;
  // Reference values of RFC 1321.
  EXPECT_EQ(md5.Digest(""), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5.Digest("abc"), "900150983cd24fb0d6963f7d28e17f72");
  EXPECT_EQ(md5.Digest("message digest"), "f96b697d7cb7938d525a2f31aaf161d0");
  // The GBK bytes count, not UTF-8: "密码" is C3 DC C2 EB here.
  const CString gbk = "密码";
  ASSERT_EQ(gbk, "\xC3\xDC\xC2\xEB");
  // (md5sum of the same bytes written by iconv -t GBK)
  EXPECT_EQ(md5.Digest(gbk), "d2293e30f0c964c5f6242486aa8a483c");
  EXPECT_NE(md5.Digest(gbk), md5.Digest("\xE5\xAF\x86\xE7\xA0\x81"));

  // A library context whose only provider offers no MD5: the hash cannot be created.
  OSSL_LIB_CTX* bare = OSSL_LIB_CTX_new();
  ASSERT_NE(bare, nullptr);
  OSSL_PROVIDER* nullProvider = OSSL_PROVIDER_load(bare, "null");
  ASSERT_NE(nullProvider, nullptr);
  EXPECT_EQ(Cmd5Capi(bare).Digest("abc"), "Error creating hash");
  OSSL_PROVIDER_unload(nullProvider);
  OSSL_LIB_CTX_free(bare);
}
