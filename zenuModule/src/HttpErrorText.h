#pragma once
#include "Types.h"

// "无法连接服务器 HOST:PORT：REASON" (GBK) for a transfer that never reached the
// server of url: its name not resolved, the connection refused, no route, or
// the connection timed out. Empty for every other failure.
CString UnreachableServerText(const CString& url, int curlCode, long osErrno, bool bConnected);
// What the user is told of an engine error: the unreachable text when the
// error carries one, otherwise "网络错误".
CString HttpErrorForUser(const CString& engineError);
