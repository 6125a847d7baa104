#pragma once
#include <string>
#include <vector>

#include "tests/support/Bombs.h"

// What a hostile local process does with sockets, and what it costs the victim.

// A connected loopback socket, or -1.
int ConnectLoopback(int port);
// The same, owned by another local account when this process may choose
// (run as root), else by this one's.
int ConnectLoopbackAs(int port, unsigned uid);
// The account the tests play the other local user with.
constexpr unsigned kOtherUser = 65534;
// True when a socket of this account, asking to share, could listen on the
// loopback port beside the one already there.
bool CanShareLoopbackPort(int port);
// Sends what it can without waiting; false once the peer has closed.
bool SendSome(int fd, const std::string& bytes);
// True when the peer has closed the connection (reads and drops what came).
bool PeerClosed(int fd);
// Whole answer of one request on a fresh connection ("" when none came within ms).
std::string Exchange(int port, const std::string& request, int ms);
// Status code of an HTTP answer text, 0 when there is none.
int StatusOf(const std::string& answer);
