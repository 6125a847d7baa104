#include "PortSelect.h"

#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <ctime>

#include "Log.h"
#include "OperationWrapper.h"
#include "PathHelpers.h"
#include "desktop/FileSystem.h"

namespace {
bool CanBind(int port, int type) {
  const int fd = ::socket(AF_INET, (type == 1 ? SOCK_STREAM : SOCK_DGRAM) | SOCK_CLOEXEC, 0);
  if (fd < 0) return false;
  sockaddr_in addr{};
  addr.sin_family = AF_INET;
  addr.sin_addr.s_addr = htonl(INADDR_ANY);
  addr.sin_port = htons(static_cast<uint16_t>(port));
  const bool ok = ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) == 0;
  ::close(fd);
  return ok;
}
}  // namespace

BOOL IsReservedPort(int port, int type) {
  OP_BEGIN("IsReservedPort")
  const CString path = GetExePath(0) + "services.txt";
  FILE* f = OpenFile(path, "r");
  if (!f) {
    ZTRACE(1, "IsReservedPort", "Cannot open reserve port file: %s", path.c_str());
    return FALSE;
  }
  char wanted[64];
  std::snprintf(wanted, sizeof wanted, "%d/%s", port, type == 1 ? "tcp" : "udp");
  char line[1024];
  BOOL reserved = FALSE;
  while (std::fgets(line, sizeof line, f)) {
    if (CString(line).find(wanted) != CString::npos) {
      reserved = TRUE;
      break;
    }
  }
  std::fclose(f);
  return reserved;
  OP_END
}

int DetectAndSelectPort(int port, int type) {
  OP_BEGIN("DetectAndSelectPort")
  std::srand(static_cast<unsigned>(std::time(nullptr)));
  for (int attempt = 0; attempt < 11; ++attempt) {
    if (port == 0 || IsReservedPort(port, type)) port = std::rand() % 32768 + 1;
    if (CanBind(port, type)) return port;
    port = 0;
  }
  return 0;
  OP_END
}
