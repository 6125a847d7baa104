#pragma once
#include "Types.h"

// "无法连接服务器 HOST:PORT：REASON" (GBK) for a transfer that never reached the
// server of url: its name not resolved, the connection refused, no route, or
// the connection timed out. Empty for every other failure.
CString UnreachableServerText(const CString& url, int curlCode, long osErrno, bool bConnected);
// "证书无法验证：HOST:PORT：REASON" for a server certificate that does not
// verify (verifyResult: OpenSSL's verify result; 0 with a failed
// verification means the certificate names another host), "无法建立加密连接
// HOST:PORT：MESSAGE" for another failed TLS handshake. Empty otherwise.
CString TlsFailureText(const CString& url, int curlCode, long verifyResult, const CString& message);
// What the user is told of an engine error: the unreachable text when the
// error carries one, the certificate or TLS text likewise, otherwise "网络错误".
CString HttpErrorForUser(const CString& engineError);
