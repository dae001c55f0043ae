#include "cli/web_fetcher.h"

#include <curl/curl.h>

#include <algorithm>
#include <memory>

namespace tavrin::cli {
namespace {

struct CurlCleanup {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
using UniqueCurl = std::unique_ptr<CURL, CurlCleanup>;

struct MultiCleanup {
  void operator()(CURLM* multi) const { curl_multi_cleanup(multi); }
};
using UniqueMulti = std::unique_ptr<CURLM, MultiCleanup>;

struct Download {
  std::string bytes;
  std::size_t maxBytes = 0;
  bool tooLarge = false;
  // Transfers side by side share what the run may still read.
  std::size_t* pBatchBytes = nullptr;
  std::size_t batchMaxBytes = 0;
  bool overBudget = false;
};

std::size_t AppendBody(char* data, std::size_t size, std::size_t count, void* context) {
  auto* download = static_cast<Download*>(context);
  const std::size_t length = size * count;
  // Returning less than was given makes libcurl abort the transfer.
  if (length > download->maxBytes - download->bytes.size()) {
    download->tooLarge = true;
    return 0;
  }
  if (download->pBatchBytes) {
    if (length > download->batchMaxBytes - *download->pBatchBytes) {
      download->overBudget = true;
      return 0;
    }
    *download->pBatchBytes += length;
  }
  try {
    download->bytes.append(data, length);
  } catch (...) {
    return 0;
  }
  return length;
}

// One fetch; its handle points at the download and the error buffer, so it does not move.
struct Transfer {
  std::string address;
  UniqueCurl curl;
  Download download;
  char error[CURL_ERROR_SIZE] = "";
};

// A transfer of `address` within the fetch limits and the `timeLeft` of the run; null when
// libcurl cannot make one.
std::unique_ptr<Transfer> StartTransfer(const std::string& address, const FetchLimits& limits,
                                        std::chrono::milliseconds timeLeft) {
  auto transfer = std::make_unique<Transfer>();
  transfer->address = address;
  transfer->curl.reset(curl_easy_init());
  if (!transfer->curl) return nullptr;
  CURL* handle = transfer->curl.get();
  transfer->download.maxBytes = limits.maxBytes;
  curl_easy_setopt(handle, CURLOPT_URL, transfer->address.c_str());
  curl_easy_setopt(handle, CURLOPT_ERRORBUFFER, transfer->error);
  curl_easy_setopt(handle, CURLOPT_NOSIGNAL, 1L);
  // A redirect must not lead a web page to a local file or to another protocol.
  curl_easy_setopt(handle, CURLOPT_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(handle, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(handle, CURLOPT_MAXREDIRS, limits.maxRedirects);
  curl_easy_setopt(handle, CURLOPT_CONNECTTIMEOUT_MS,
                   static_cast<long>(std::min(limits.connectTimeout, timeLeft).count()));
  curl_easy_setopt(handle, CURLOPT_TIMEOUT_MS,
                   static_cast<long>(std::min(limits.totalTimeout, timeLeft).count()));
  curl_easy_setopt(handle, CURLOPT_MAXFILESIZE_LARGE, static_cast<curl_off_t>(limits.maxBytes));
  curl_easy_setopt(handle, CURLOPT_ACCEPT_ENCODING, "");
  curl_easy_setopt(handle, CURLOPT_USERAGENT, "tavrin-anchors");
  curl_easy_setopt(handle, CURLOPT_WRITEFUNCTION, AppendBody);
  curl_easy_setopt(handle, CURLOPT_WRITEDATA, &transfer->download);
  return transfer;
}

WebReply FinishTransfer(Transfer& transfer, CURLcode result) {
  WebReply reply;
  reply.tooLarge = transfer.download.tooLarge || result == CURLE_FILESIZE_EXCEEDED;
  reply.overBudget = transfer.download.overBudget;
  if (result != CURLE_OK) {
    reply.error = *transfer.error ? transfer.error : curl_easy_strerror(result);
    return reply;
  }
  CURL* handle = transfer.curl.get();
  curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &reply.status);
  const char* contentType = nullptr;
  curl_easy_getinfo(handle, CURLINFO_CONTENT_TYPE, &contentType);
  if (contentType) reply.contentType = contentType;
  const char* finalAddress = nullptr;
  curl_easy_getinfo(handle, CURLINFO_EFFECTIVE_URL, &finalAddress);
  reply.url = finalAddress ? finalAddress : transfer.address;
  reply.bytes = std::move(transfer.download.bytes);
  return reply;
}

class CCurlFetcher final : public IWebFetcher {
 public:
  WebReply Fetch(const std::string& address, const FetchLimits& limits,
                 std::chrono::milliseconds timeLeft) override {
    const std::unique_ptr<Transfer> transfer = StartTransfer(address, limits, timeLeft);
    if (!transfer) return {.error = "libcurl cannot be started"};
    return FinishTransfer(*transfer, curl_easy_perform(transfer->curl.get()));
  }

  std::map<std::string, WebReply> FetchSideBySide(const std::vector<std::string>& addresses,
                                                  const FetchLimits& limits,
                                                  std::chrono::milliseconds timeLeft,
                                                  std::size_t maxBytes) override {
    std::map<std::string, WebReply> replies;
    UniqueMulti multi(curl_multi_init());
    if (!multi) return replies;
    curl_multi_setopt(multi.get(), CURLMOPT_MAX_HOST_CONNECTIONS, 6L);
    curl_multi_setopt(multi.get(), CURLMOPT_PIPELINING, CURLPIPE_MULTIPLEX);
    std::size_t batchBytes = 0;
    std::map<CURL*, std::unique_ptr<Transfer>> running;
    // The handles leave the multi handle before either is cleaned up, also when this throws.
    struct Detach {
      CURLM* multi;
      std::map<CURL*, std::unique_ptr<Transfer>>& running;
      ~Detach() {
        for (const auto& entry : running) curl_multi_remove_handle(multi, entry.first);
      }
    } detach{multi.get(), running};
    for (const std::string& address : addresses) {
      std::unique_ptr<Transfer> transfer = StartTransfer(address, limits, timeLeft);
      if (!transfer) continue;
      transfer->download.pBatchBytes = &batchBytes;
      transfer->download.batchMaxBytes = maxBytes;
      CURL* handle = transfer->curl.get();
      running.emplace(handle, std::move(transfer));
      curl_multi_add_handle(multi.get(), handle);
    }
    int active = 1;
    while (active > 0) {
      if (curl_multi_perform(multi.get(), &active) != CURLM_OK) break;
      int queued = 0;
      while (CURLMsg* message = curl_multi_info_read(multi.get(), &queued)) {
        if (message->msg != CURLMSG_DONE) continue;
        const auto found = running.find(message->easy_handle);
        if (found == running.end()) continue;
        std::unique_ptr<Transfer> transfer = std::move(found->second);
        running.erase(found);
        curl_multi_remove_handle(multi.get(), transfer->curl.get());
        replies[transfer->address] = FinishTransfer(*transfer, message->data.result);
      }
      if (active > 0 && curl_multi_poll(multi.get(), nullptr, 0, 1000, nullptr) != CURLM_OK) break;
    }
    return replies;
  }
};

}  // namespace
}  // namespace tavrin::cli

extern "C" tavrin::cli::IWebFetcher* TavrinWebFetcher() {
  static tavrin::cli::CCurlFetcher fetcher;
  return &fetcher;
}
