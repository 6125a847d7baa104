#include "zenuModule/src/PortSelect.h"

#include <gtest/gtest.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include "tests/support/TempHome.h"
#include "zenuModule/src/desktop/FileSystem.h"

namespace {
// Holds a TCP port on all addresses for the life of the object.
class CHeldPort final {
 public:
  CHeldPort() : m_fd(::socket(AF_INET, SOCK_STREAM, 0)) {
    sockaddr_in addr{};
    addr.sin_family = AF_INET;
    addr.sin_addr.s_addr = htonl(INADDR_ANY);
    ::bind(m_fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr);
    ::listen(m_fd, 1);
    socklen_t len = sizeof addr;
    ::getsockname(m_fd, reinterpret_cast<sockaddr*>(&addr), &len);
    m_port = ntohs(addr.sin_port);
  }
  ~CHeldPort() { ::close(m_fd); }
  int Port() const { return m_port; }

 private:
  int m_fd;
  int m_port = 0;
};
}  // namespace

TEST(PortSelect, ServicesFileReservesByContainment) {
  CTempHome home;
  EXPECT_FALSE(IsReservedPort(80, 1));
  EXPECT_NE(home.TraceLog().find("Cannot open reserve port file: " + home.Path() + "services.txt"),
            CString::npos);

  ASSERT_TRUE(WriteWholeFile(home.Path() + "services.txt", "http-alt 8080/tcp\ndns 53/udp\n"));
  EXPECT_TRUE(IsReservedPort(80, 1));   // "8080/tcp" contains "80/tcp"
  EXPECT_TRUE(IsReservedPort(8080, 1));
  EXPECT_FALSE(IsReservedPort(80, 2));
  EXPECT_TRUE(IsReservedPort(53, 2));
  EXPECT_FALSE(IsReservedPort(53, 1));
}

TEST(PortSelect, ChoosesABindablePortAndAvoidsReservedOrBusyOnes) {
  CTempHome home;
  const int drawn = DetectAndSelectPort(0, 1);
  ASSERT_GT(drawn, 0);
  EXPECT_LE(drawn, 32768);

  CHeldPort held;
  const int other = DetectAndSelectPort(held.Port(), 1);
  EXPECT_NE(other, held.Port());
  EXPECT_GT(other, 0);

  // A port the kernel hands out lies above the drawn range, so a redraw never lands on it.
  int free = 0;
  {
    CHeldPort probe;
    free = probe.Port();
  }
  ASSERT_TRUE(WriteWholeFile(home.Path() + "services.txt", "mine " + std::to_string(free) + "/tcp\n"));
  EXPECT_NE(DetectAndSelectPort(free, 1), free);
  // Reserved for TCP only: UDP may take it.
  EXPECT_EQ(DetectAndSelectPort(free, 2), free);
}
