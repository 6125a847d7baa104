#pragma once
#include "Types.h"

// Where the remote service is: a host (a name, an IPv4 address, or an IPv6
// address in brackets, kept with its brackets so that it drops into URLs) and
// a port, 0 when the text named none.
struct SServiceAddress {
  CString strHost;
  int iPort = 0;
};

// The one reader of a service address as users and operators write it:
// "host" or "host:port", optionally after "http://". False with a Chinese
// reason (GBK) in *error for anything else.
bool ParseServiceAddress(const CString& text, SServiceAddress* out, CString* error);
// "host", or "host:port" when port is not the default one.
CString FormatServiceAddress(const CString& host, int port);
