// The address table of tests/data/http_hosts.tsv, which both sides of the GetHttpHost seam are
// checked against.
#pragma once

#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace tavrin::test {

struct HttpHostCase {
  std::string address;
  std::optional<std::string> host;  // none: the address has no http or https host
  int line = 0;
};

// Empty when the file cannot be read.
inline std::vector<HttpHostCase> ReadHttpHostTable(const std::string& path) {
  std::vector<HttpHostCase> cases;
  std::ifstream file(path, std::ios::binary);
  std::string text;
  for (int line = 1; std::getline(file, text); ++line) {
    if (text.starts_with('#')) continue;
    const std::size_t tab = text.find('\t');
    if (tab == std::string::npos) continue;
    std::string host = text.substr(tab + 1);
    cases.push_back({text.substr(0, tab),
                     host == "-" ? std::nullopt : std::optional<std::string>(std::move(host)),
                     line});
  }
  return cases;
}

}  // namespace tavrin::test
