// The fetcher of http and https addresses, built on libcurl as a module of its own: a run over
// local files never maps libcurl and the libraries it links. The program loads it on the first
// web address (see page_loader.cpp).
#pragma once

#include <chrono>
#include <cstddef>
#include <map>
#include <string>
#include <vector>

namespace tavrin::cli {

// Bounds of one fetch, redirects included; the defaults are the program's.
struct FetchLimits {
  std::chrono::milliseconds connectTimeout{10'000};
  std::chrono::milliseconds totalTimeout{30'000};
  long maxRedirects = 10;
  std::size_t maxBytes = std::size_t{64} << 20;
  // A local file, which the user chose, may be larger: a page of a million links is 130 MB.
  std::size_t maxFileBytes = std::size_t{512} << 20;
};

// What the server answered, or why there is no answer; the loader judges it.
struct WebReply {
  std::string bytes;
  std::string url;          // the final address, after redirects
  std::string contentType;  // as the server sent it; empty when it sent none
  long status = 0;
  std::string error;        // why the transfer failed; empty when it completed
  bool tooLarge = false;    // the body went over FetchLimits::maxBytes
  bool overBudget = false;  // fetches side by side went over what they may read together
};

class IWebFetcher {
 public:
  // One fetch within `limits` and the `timeLeft` of the run.
  virtual WebReply Fetch(const std::string& address, const FetchLimits& limits,
                         std::chrono::milliseconds timeLeft) = 0;

  // Fetches `addresses` side by side, as a browser fetches the frames of a page: at most six
  // connections to one host, HTTP/2 streams over one connection where the server offers them,
  // and no more bytes in all than `maxBytes`. An address without a reply was not fetched.
  virtual std::map<std::string, WebReply> FetchSideBySide(const std::vector<std::string>& addresses,
                                                          const FetchLimits& limits,
                                                          std::chrono::milliseconds timeLeft,
                                                          std::size_t maxBytes) = 0;

 protected:
  ~IWebFetcher() = default;
};

}  // namespace tavrin::cli

// The module's one export: its fetcher, which lives as long as the module is loaded.
extern "C" __attribute__((visibility("default"))) tavrin::cli::IWebFetcher* TavrinWebFetcher();
