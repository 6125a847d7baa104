#pragma once
#include "Types.h"

// Where the remote service is: a host (a name, an IPv4 address, or an IPv6
// address in brackets, kept with its brackets so that it drops into URLs) and
// a port, 0 when the text named none; bTls when it was named with https.
struct SServiceAddress {
  CString strHost;
  int iPort = 0;
  bool bTls = false;
};

// The one reader of a service address as users and operators write it:
// "host" or "host:port", optionally after "http://" or "https://". False
// with a Chinese reason (GBK) in *error for anything else.
bool ParseServiceAddress(const CString& text, SServiceAddress* out, CString* error);
// "host", or "host:port" when port is not the default one; with bTls
// "https://host", with ":port" unless it is 443.
CString FormatServiceAddress(const CString& host, int port, bool bTls = false);
// The port a service address means when it names none.
int DefaultServicePort(bool bTls);
// A host that is this machine (localhost, 127/8, ::1).
bool IsLoopbackHost(const CString& host);
