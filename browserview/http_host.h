// The host of an http or https address, split the way the platform's browser splits it:
// WinINet on Windows, the browser address layer elsewhere. The anchor pipeline reaches the
// platform's address parser only through this seam.
#pragma once

#include <string>

namespace tavrin {

// 1 and the bare host name (no port, no user info) when the address has the http or https
// scheme; else 0 and the host untouched.
int GetHttpHost(const std::string& address, std::string& host);

}  // namespace tavrin
