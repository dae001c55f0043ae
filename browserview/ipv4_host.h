// IPv4 hosts as browsers read them, for the browser address layer and for GetHttpHost on
// WinINet, which takes any name that ends in a number for a host.
#pragma once

#include <algorithm>
#include <cctype>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin {

// A part of an IPv4 address as browsers read it: decimal, octal after a leading 0, hex after 0x.
inline std::optional<std::uint64_t> Ipv4Number(std::string_view s) {
  int radix = 10;
  if (s.size() >= 2 && s[0] == '0' && (s[1] == 'x' || s[1] == 'X'))
    radix = 16, s.remove_prefix(2);
  else if (s.size() >= 2 && s[0] == '0')
    radix = 8, s.remove_prefix(1);
  else if (s.empty())
    return std::nullopt;
  std::uint64_t n = 0;
  for (unsigned char c : s) {
    int digit = std::isdigit(c) ? c - '0' : std::isxdigit(c) ? (c | 0x20) - 'a' + 10 : radix;
    if (digit >= radix) return std::nullopt;
    n = std::min<std::uint64_t>(n * radix + digit, 1ull << 32);
  }
  return n;
}

// A name whose last label is a number is an IPv4 address, in any notation browsers read
// ("0x82.0356.1802", "2196637450", "127.1"), and is written in dotted decimal; empty when it is
// not a valid one. Other names come back as they are.
inline std::optional<std::string> Ipv4(const std::string& host) {
  std::vector<std::string_view> parts;
  for (std::size_t begin = 0; begin <= host.size();) {
    auto end = std::min(host.find('.', begin), host.size());
    parts.push_back(std::string_view(host).substr(begin, end - begin));
    begin = end + 1;
  }
  if (parts.size() > 1 && parts.back().empty()) parts.pop_back();
  auto last = parts.back();
  bool digits = !last.empty() && std::all_of(last.begin(), last.end(),
                                             [](unsigned char c) { return std::isdigit(c); });
  if (!digits && !Ipv4Number(last)) return host;
  if (parts.size() > 4) return std::nullopt;
  std::uint64_t address = 0;
  for (std::size_t i = 0; i < parts.size(); ++i) {
    auto n = Ipv4Number(parts[i]);
    bool isLast = i + 1 == parts.size();
    if (!n || *n >= (isLast ? 1ull << 8 * (5 - parts.size()) : 256)) return std::nullopt;
    address += isLast ? *n : *n << 8 * (3 - i);
  }
  return std::to_string(address >> 24) + '.' + std::to_string(address >> 16 & 255) + '.' +
         std::to_string(address >> 8 & 255) + '.' + std::to_string(address & 255);
}

}  // namespace tavrin
