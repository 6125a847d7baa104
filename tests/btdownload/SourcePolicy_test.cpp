#include "components/btdownload/SourcePolicy.h"

#include <gtest/gtest.h>

#include "components/btdownload/ArgLine.h"

TEST(SourcePolicy, ThisMachineOnlyAtTheServicesPortInWhateverFormItIsNamed) {
  SArgLine args;
  std::string error;
  ASSERT_TRUE(ParseArgLine(
      "--responsefile t --saveas s --service \"127.0.0.1:8088\" --tracker 127.0.0.1:6969", args,
      error));
  const CSourcePolicy local(args.service);
  for (const char* url :
       {"http://127.0.0.1:8088/content/1/m.mkv", "HTTP://localhost:8088/x", "https://203.0.113.9/m",
        "http://example.com:9999/m", "http://user@127.0.0.1:8088/m"})
    EXPECT_TRUE(local.Allows(url)) << url;
  for (const char* url : {"http://127.0.0.1:8089/m", "http://127.1:631/", "http://2130706433:631/",
                          "http://0x7f.1:631/", "http://[::1]:631/",
                          "http://[::ffff:127.0.0.1]:631/", "http://LOCALHOST.:631/",
                          "http://cups.localhost:631/", "http://0.0.0.0:631/", "http://127.0.0.1/",
                          "http://8088@127.0.0.1:631/", "file:///etc/passwd", "ftp://203.0.113.9/m",
                          "udp://203.0.113.9:80/announce", "http://127.0.0.1:8088x/", "http:///m"})
    EXPECT_FALSE(local.Allows(url)) << url;

  // A service off the machine: nothing on it at all, at any address the
  // resolver or a redirect may lead to.
  const CSourcePolicy remote("203.0.113.9:80");
  EXPECT_FALSE(remote.Allows("http://127.0.0.1:80/m"));
  EXPECT_TRUE(remote.Allows("http://203.0.113.9/m"));
  const lt::ip_filter filter = remote.Filter();
  for (const char* address : {"127.0.0.1", "127.9.9.9", "::1", "0.0.0.0", "::ffff:127.0.0.1"})
    EXPECT_EQ(filter.access(lt::make_address(address)), lt::ip_filter::blocked) << address;
  EXPECT_EQ(filter.access(lt::make_address("203.0.113.9")), 0u);
  EXPECT_EQ(local.Filter().access(lt::make_address("127.0.0.1")), 0u);
  EXPECT_EQ(local.Filter().access(lt::make_address("127.0.0.2")), lt::ip_filter::blocked);
  EXPECT_FALSE(local.AllowsEndpoint({lt::make_address("127.0.0.1"), 631}));
  EXPECT_TRUE(local.AllowsEndpoint({lt::make_address("127.0.0.1"), 8088}));
  EXPECT_FALSE(CSourcePolicy().AllowsEndpoint({lt::make_address("::1"), 8088}));

  // A tracker of its own port on this machine only when the client names it.
  const CSourcePolicy trusting(args.service, args.tracker);
  for (const char* url : {"http://127.0.0.1:6969/announce", "udp://127.0.0.1:6969",
                          "http://127.0.0.1:8088/announce", "udp://203.0.113.9:6969"})
    EXPECT_TRUE(trusting.AllowsTracker(url)) << url;
  for (const char* url : {"http://127.0.0.1:6970/announce", "http://127.0.0.2:6969/announce",
                          "udp://127.0.0.1", "file:///etc/passwd"})
    EXPECT_FALSE(trusting.AllowsTracker(url)) << url;
  EXPECT_FALSE(trusting.Allows("http://127.0.0.1:6969/m"));
  EXPECT_FALSE(local.AllowsTracker("http://127.0.0.1:6969/announce"));
  EXPECT_FALSE(remote.AllowsTracker("udp://127.0.0.1:80"));
  EXPECT_EQ(CSourcePolicy("203.0.113.9:80", "127.0.0.1:6969")
                .Filter()
                .access(lt::make_address("127.0.0.1")),
            0u);
}
