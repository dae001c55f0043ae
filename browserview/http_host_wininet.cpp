// GetHttpHost on WinINet: the address canonicalised the way the browser does, then split.
#include <windows.h>
#include <wininet.h>

#include <optional>
#include <string>
#include <string_view>

#include "browserview/ascii_case.h"
#include "browserview/http_host.h"
#include "browserview/ipv4_host.h"
#include "framework/text.h"

namespace tavrin {
namespace {

// Canonical form of the address; empty when WinINet refuses it.
std::wstring Canonicalize(const std::wstring& address) {
  std::wstring canonical(INTERNET_MAX_URL_LENGTH, L'\0');
  DWORD size = static_cast<DWORD>(canonical.size());
  if (!InternetCanonicalizeUrlW(address.c_str(), canonical.data(), &size, ICU_BROWSER_MODE)) {
    if (GetLastError() != ERROR_INSUFFICIENT_BUFFER) return {};
    // The reported size counts the terminating null.
    canonical.assign(size, L'\0');
    if (!InternetCanonicalizeUrlW(address.c_str(), canonical.data(), &size, ICU_BROWSER_MODE)) {
      return {};
    }
  }
  canonical.resize(size);
  return canonical;
}

// Browsers ignore leading and trailing blanks and control characters of an address; WinINet
// refuses the address instead.
std::string_view TrimControlsAndSpaces(std::string_view address) {
  const auto isTrimmed = [](char c) { return static_cast<unsigned char>(c) <= 0x20; };
  while (!address.empty() && isTrimmed(address.front())) address.remove_prefix(1);
  while (!address.empty() && isTrimmed(address.back())) address.remove_suffix(1);
  return address;
}

}  // namespace

int GetHttpHost(const std::string& address, std::string& host) {
  const std::wstring canonical = Canonicalize(Utf8ToWide(TrimControlsAndSpaces(address)));
  if (canonical.empty()) return 0;

  std::wstring hostName(INTERNET_MAX_URL_LENGTH, L'\0');
  std::wstring path(INTERNET_MAX_URL_LENGTH, L'\0');
  URL_COMPONENTSW parts{};
  parts.dwStructSize = sizeof(parts);
  parts.lpszHostName = hostName.data();
  parts.dwHostNameLength = static_cast<DWORD>(hostName.size());
  parts.lpszUrlPath = path.data();
  parts.dwUrlPathLength = static_cast<DWORD>(path.size());
  if (!InternetCrackUrlW(canonical.c_str(), static_cast<DWORD>(canonical.size()), 0, &parts)) {
    return 0;
  }
  if (parts.nScheme != INTERNET_SCHEME_HTTP && parts.nScheme != INTERNET_SCHEME_HTTPS) return 0;
  // WinINet splits "http://" into an empty host; a browser has no address there.
  if (parts.dwHostNameLength == 0) return 0;
  // WinINet takes a name that ends in a number for a host name even when it is no IPv4 address.
  std::optional<std::string> name =
      Ipv4(AsciiLower(WideToUtf8({hostName.data(), parts.dwHostNameLength})));
  if (!name) return 0;
  host = std::move(*name);
  return 1;
}

}  // namespace tavrin
