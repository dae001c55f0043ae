#include "cli/page_loader.h"

#include <dlfcn.h>

#include <algorithm>
#include <boost/beast/http/rfc7230.hpp>
#include <boost/url/parse.hpp>
#include <boost/url/pct_string_view.hpp>
#include <cerrno>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <string_view>

#include "browserview/ascii_case.h"
#include "browserview/portable/browser_url.h"
#include "browserview/portable/html_document.h"
#include "browserview/portable/text_encoding.h"
#include "cli/options.h"

namespace tavrin::cli {
namespace {

constexpr int kMaxFrameDepth = 16;

struct Resource {
  std::string bytes;
  std::string url;      // the final address, after redirects
  std::string charset;  // the transport charset; empty when none was sent
  bool local = false;   // read from a file
};

bool IsFileUrl(std::string_view address) {
  return address.starts_with("file:");
}

std::string_view Trim(std::string_view text) {
  const std::size_t first = text.find_first_not_of(" \t");
  if (first == std::string_view::npos) return {};
  return text.substr(first, text.find_last_not_of(" \t") - first + 1);
}

std::string DescribeSize(std::size_t bytes) {
  constexpr std::size_t kMiB = std::size_t{1} << 20;
  if (bytes % kMiB == 0) return std::to_string(bytes / kMiB) + " MiB";
  return std::to_string(bytes) + " bytes";
}

[[noreturn]] void ThrowTooLarge(std::size_t maxBytes) {
  throw CLoadError("larger than " + DescribeSize(maxBytes));
}

struct ContentType {
  std::string mediaType;  // lower case; empty when the server sent none
  std::string charset;
};

ContentType ParseContentType(std::string_view value) {
  ContentType type;
  const std::size_t parameters = std::min(value.find(';'), value.size());
  type.mediaType = AsciiLower(Trim(value.substr(0, parameters)));
  for (const auto& [name, parameter] : boost::beast::http::param_list(value.substr(parameters)))
    if (EqualsIgnoringAsciiCase(name, "charset"))
      type.charset.assign(parameter.data(), parameter.size());
  return type;
}

bool IsHtmlType(const std::string& mediaType) {
  // A server that names no type leaves the choice to the client, which takes it as HTML.
  return mediaType.empty() || mediaType == "text/html" || mediaType == "application/xhtml+xml";
}

// What a web fetch brought, judged as a browser judges it. Throws CLoadError when it brought no
// document.
Resource ResourceOfReply(WebReply reply, const std::string& address, const FetchLimits& limits) {
  if (reply.tooLarge) ThrowTooLarge(limits.maxBytes);
  if (!reply.error.empty()) throw CLoadError(reply.error);
  // A 3xx left over is a redirect without a usable target: its body is not the page.
  if (reply.status >= 300) throw CLoadError("HTTP status " + std::to_string(reply.status));
  ContentType type = ParseContentType(reply.contentType);
  if (!IsHtmlType(type.mediaType))
    throw CLoadError("not an HTML document (" + type.mediaType + ")");
  std::optional<std::string> normalized = url::NormalizeUrl(reply.url);
  return {std::move(reply.bytes), normalized.value_or(address), std::move(type.charset)};
}

struct ModuleClose {
  void operator()(void* module) const { dlclose(module); }
};
using UniqueModule = std::unique_ptr<void, ModuleClose>;

// The web fetcher's module, found through the program's run path in ../lib/tavrin-anchors, in the
// build as once installed. It stays mapped to the end of the process: unmapping libcurl and its
// libraries at exit made a fetching run 3 ms slower than the program linked with them.
class CWebFetcherModule {
 public:
  CWebFetcherModule()
      : m_module(dlopen(TAVRIN_WEB_FETCHER_MODULE, RTLD_NOW | RTLD_LOCAL | RTLD_NODELETE)) {
    if (!m_module) Fail();
    auto* entry = reinterpret_cast<IWebFetcher* (*)()>(dlsym(m_module.get(), "TavrinWebFetcher"));
    if (!entry) Fail();
    m_pFetcher = entry();
  }

  IWebFetcher& Fetcher() const { return *m_pFetcher; }

 private:
  [[noreturn]] static void Fail() {
    throw CLoadError(std::string("cannot load the web fetcher: ") + dlerror());
  }

  UniqueModule m_module;
  IWebFetcher* m_pFetcher = nullptr;
};

// Loaded on the first web address and kept for the rest of the process; a failed load is tried
// again on the next.
IWebFetcher& WebFetcher() {
  static const CWebFetcherModule module;
  return module.Fetcher();
}

std::string ReadLocalFile(const std::filesystem::path& path, std::size_t maxBytes) {
  std::error_code error;
  const std::filesystem::file_status status = std::filesystem::status(path, error);
  if (error) throw CLoadError(error.message());
  if (std::filesystem::is_directory(status)) throw CLoadError("is a folder, not a file");
  // Opening a FIFO or a device could block or never end.
  if (!std::filesystem::is_regular_file(status)) throw CLoadError("not a regular file");
  const std::uintmax_t size = std::filesystem::file_size(path, error);
  if (error) throw CLoadError(error.message());
  if (size > maxBytes) ThrowTooLarge(maxBytes);
  std::ifstream in(path, std::ios::binary);
  if (!in) throw CLoadError(std::strerror(errno));
  // The size is where reading starts, not where it ends: files of /proc say 0 and hold text,
  // and a file may grow while it is read.
  constexpr std::size_t kBlock = std::size_t{64} << 10;
  std::string bytes;
  for (std::size_t want = static_cast<std::size_t>(size) + 1; in; want = kBlock) {
    const std::size_t at = bytes.size();
    if (at > maxBytes) ThrowTooLarge(maxBytes);
    bytes.resize(at + std::min(want, maxBytes + 1 - at));
    in.read(bytes.data() + at, static_cast<std::streamsize>(bytes.size() - at));
    bytes.resize(at + static_cast<std::size_t>(in.gcount()));
  }
  if (in.bad()) throw CLoadError("read error");
  if (bytes.size() > maxBytes) ThrowTooLarge(maxBytes);
  return bytes;
}

std::filesystem::path PathFromFileUrl(const std::string& address) {
  auto parsed = boost::urls::parse_uri(address);
  if (!parsed) throw CLoadError("malformed file address");
  const std::string host = parsed->host();
  if (!host.empty() && host != "localhost") throw CLoadError("a file on another host");
  const std::string path = parsed->path();
  if (path.find('\0') != std::string::npos) throw CLoadError("malformed file address");
  return path;
}

// One path segment of a site address as a file name. Decoded dots and slashes would step out
// of the site's folder, so they stand for no file.
std::string FileNameOfSegment(std::string_view segment) {
  auto encoded = boost::urls::make_pct_string_view(segment);
  if (!encoded) throw CLoadError("malformed address");
  std::string name = encoded->decode();
  if (name.empty() || name == "." || name == ".." ||
      name.find_first_of(std::string_view("/\0", 2)) != std::string::npos)
    throw CLoadError("no file of the site's folder stands for this address");
  return name;
}

std::string_view WithoutQuery(std::string_view address) {
  return address.substr(0, address.find_first_of("?#"));
}

// The folder that holds the http or https address `base`, ending in "/".
std::string FolderOf(std::string_view base) {
  const std::size_t path = base.find('/', base.find("://") + 3);
  if (path == std::string_view::npos) return std::string(base) + '/';
  return std::string(base.substr(0, base.rfind('/') + 1));
}

// A file that is not text at all: a known binary signature, or a NUL byte early on. Any other
// bytes are a page in some encoding, which DecodeHtml picks as a browser does.
bool LooksBinary(std::string_view bytes, std::string_view overrideLabel) {
  using namespace std::string_view_literals;
  // Signatures whose bytes a text file would not start with; formats that begin with plain
  // letters ("MZ", "RIFF") have NUL bytes soon after and are caught by those.
  static constexpr std::string_view kSignatures[] = {
      "\x7F"
      "ELF"sv,
      "\x89PNG"sv,
      "GIF87a"sv,
      "GIF89a"sv,
      "\xFF\xD8\xFF"sv,
      "%PDF-"sv,
      "PK\x03\x04"sv,
      "\x1F\x8B"sv,
      "\xFD"
      "7zXZ"sv,
      "7z\xBC\xAF"sv,
      "!<arch>\n"sv,
      "\xCA\xFE\xBA\xBE"sv,
      "\xCF\xFA\xED\xFE"sv};
  constexpr std::size_t kHead = 1024;
  const std::string_view head = bytes.substr(0, kHead);
  for (std::string_view signature : kSignatures)
    if (head.starts_with(signature)) return true;
  // UTF-16 text is full of NUL bytes.
  const std::optional<text::DecodedHtml> chosen = text::DecodeHtml(head, {}, overrideLabel);
  if (chosen && chosen->encoding.starts_with("UTF-16")) return false;
  return head.find('\0') != std::string_view::npos;
}

}  // namespace

class CPageLoader::CState : public std::enable_shared_from_this<CState> {
 public:
  explicit CState(LoaderSettings settings) : m_settings(std::move(settings)) {}

  dom::DocumentPtr LoadInput(const std::string& input) {
    std::string address;
    if (IsWebAddress(input)) {
      std::optional<std::string> normalized = url::NormalizeUrl(input);
      if (!normalized) throw CLoadError(input + ": not a valid address");
      address = *normalized;
    } else {
      m_pathInput = std::filesystem::absolute(input).lexically_normal();
      address =
          m_settings.base.empty() ? url::FileUrlFromPath(m_pathInput.string()) : m_settings.base;
    }
    try {
      dom::DocumentPtr document = LoadDocument(address, Reserve(DocumentKey(address)), 0);
      m_bLoading = false;
      return document;
    } catch (const CLoadError& error) {
      throw CLoadError(input + ": " + error.what());
    }
  }

  std::vector<dom::DocumentPtr> Documents() const {
    std::vector<dom::DocumentPtr> documents;
    for (const dom::DocumentPtr& document : m_arrDocuments)
      if (document) documents.push_back(document);
    return documents;
  }

 private:
  // The frame loader of a document at `depth - 1`: the document at `address`, loaded at most
  // once; addresses that name the same local file are one document. Null while it is still
  // loading (a document framing itself), when it cannot be had, and for any address once the
  // load phase is over. A refusal is not remembered: the same frame may be had elsewhere.
  dom::DocumentPtr Frame(const std::string& address, int depth, bool parentIsFile) {
    if (m_pCollecting) {
      m_pCollecting->push_back(address);
      return nullptr;
    }
    try {
      if (IsFileUrl(address) && !parentIsFile)
        throw CLoadError("a web page cannot frame a local file");
      const std::string key = DocumentKey(address);
      if (auto found = m_mapSlots.find(key); found != m_mapSlots.end()) {
        const dom::DocumentPtr& document = m_arrDocuments[found->second];
        if (m_bLoading && document && document->Url() != address)
          Note("frame " + address + " is " + document->Url());
        return document;
      }
      if (!m_bLoading) return nullptr;
      if (depth > kMaxFrameDepth)
        throw CLoadError("nested deeper than " + std::to_string(kMaxFrameDepth) + " levels");
      const std::size_t slot = Reserve(key);
      try {
        return LoadDocument(address, slot, depth);
      } catch (const CLoadError&) {
        m_mapSlots.erase(key);
        throw;
      }
    } catch (const CLoadError& error) {
      if (m_settings.warn) m_settings.warn("frame " + address + " left out: " + error.what());
      return nullptr;
    }
  }

  // Slots are taken before anything loads, so the list comes out in pre-order and a document
  // that is asked for again while it loads is found.
  std::size_t Reserve(const std::string& key) {
    m_arrDocuments.emplace_back();
    m_mapSlots.emplace(key, m_arrDocuments.size() - 1);
    return m_arrDocuments.size() - 1;
  }

  // What names one document: the file for a local address (its query and fragment name no
  // other file), else the address.
  std::string DocumentKey(const std::string& address) const {
    if (std::optional<std::filesystem::path> path = LocalPath(address))
      return "file " + path->lexically_normal().string();
    return address;
  }

  dom::DocumentPtr LoadDocument(const std::string& address, std::size_t slot, int depth) {
    Resource resource = Fetch(address);
    if (m_settings.budget) m_settings.budget->ChargeRead(resource.bytes.size());
    const std::string finalKey = DocumentKey(resource.url);
    if (auto found = m_mapSlots.find(finalKey);
        found != m_mapSlots.end() && found->second != slot) {
      // Redirected to a document loaded before.
      m_mapSlots[DocumentKey(address)] = found->second;
      return m_arrDocuments[found->second];
    }
    if (resource.local && LooksBinary(resource.bytes, m_settings.encodingLabel))
      throw CLoadError("not a text file");
    const std::size_t size = resource.bytes.size();
    // The bytes go as soon as they are decoded, before the parse needs its memory.
    std::optional<text::DecodedHtml> decoded = text::DecodeHtml(
        std::string(std::move(resource.bytes)), resource.charset, m_settings.encodingLabel);
    if (!decoded) throw CLoadError("unknown encoding");
    const bool isFile = IsFileUrl(resource.url);
    dom::FrameLoader loader = [weak = weak_from_this(), depth, isFile](const std::string& frame) {
      std::shared_ptr<CState> state = weak.lock();
      return state ? state->Frame(frame, depth + 1, isFile) : nullptr;
    };
    dom::DocumentPtr document = dom::CHtmlDocument::Parse(
        decoded->utf8, resource.url, decoded->encoding, std::move(loader), m_settings.budget);
    m_arrDocuments[slot] = document;
    m_mapSlots.emplace(finalKey, slot);
    Note("loaded " + document->Url() + " (" + std::to_string(size) + " bytes, " +
         decoded->encoding + ", frame depth " + std::to_string(depth) + ")");
    decoded.reset();
    LoadFrames(*document);
    return document;
  }

  // Asking each frame window for its document makes the model load it, whether it does so
  // while parsing or on first access. The frames' web documents are fetched side by side first;
  // they are then parsed one by one, so the documents keep their order.
  void LoadFrames(dom::IDocument& document) {
    dom::WindowPtr window = document.ParentWindow();
    if (!window) return;
    std::vector<dom::WindowPtr> frames;
    for (long i = 0, count = window->FrameCount(); i < count; ++i)
      if (dom::WindowPtr frame = window->Frame(i)) frames.push_back(std::move(frame));
    if (frames.size() > 1) Prefetch(frames);
    for (const dom::WindowPtr& frame : frames) frame->Document();
  }

  void Prefetch(const std::vector<dom::WindowPtr>& frames) {
    std::vector<std::string> requested;
    m_pCollecting = &requested;
    for (const dom::WindowPtr& frame : frames) frame->Document();
    m_pCollecting = nullptr;
    std::vector<std::string> addresses;
    for (const std::string& address : requested) {
      if (!url::HttpHost(address) || m_mapSlots.contains(address) ||
          m_mapPrefetched.contains(address) ||
          std::find(addresses.begin(), addresses.end(), address) != addresses.end())
        continue;
      // A site address that names a local file is read, not fetched; a refused one is
      // refused when its frame is loaded.
      try {
        if (LocalPath(address)) continue;
      } catch (const CLoadError&) {
        continue;
      }
      addresses.push_back(address);
    }
    std::size_t maxBytes = SIZE_MAX;
    if (m_settings.budget) {
      addresses.resize(std::min(addresses.size(), m_settings.budget->DocumentsLeft()));
      maxBytes = m_settings.budget->BytesLeft();
    }
    if (addresses.size() < 2) return;
    try {
      m_mapPrefetched.merge(
          WebFetcher().FetchSideBySide(addresses, m_settings.limits, TimeLeft(), maxBytes));
    } catch (const CLoadError&) {
      // Each frame is then fetched on its own, and fails on its own.
    }
  }

  // What is left of the run's time. Throws CLoadError when nothing is.
  std::chrono::milliseconds TimeLeft() const {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
        m_settings.deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0) throw CLoadError("the run's time is up");
    return left;
  }

  void Note(const std::string& line) const {
    if (m_settings.note) m_settings.note(line);
  }

  // A fetch from the web counts as a document even when it fails, for the time it takes; a
  // local file counts once it was read, so missing frames are only missing.
  Resource Fetch(const std::string& address) {
    if (auto found = m_mapPrefetched.find(address); found != m_mapPrefetched.end()) {
      WebReply reply = std::move(found->second);
      m_mapPrefetched.erase(found);
      ChargeDocument();
      // Bytes the frames together could not have: the run goes over what it may read.
      if (reply.overBudget && m_settings.budget)
        m_settings.budget->ChargeRead(m_settings.budget->BytesLeft() + 1);
      return ResourceOfReply(std::move(reply), address, m_settings.limits);
    }
    if (address == "about:blank") {
      ChargeDocument();
      return {{}, address, {}};
    }
    if (std::optional<std::filesystem::path> path = LocalPath(address)) {
      std::string bytes = ReadLocalFile(*path, m_settings.limits.maxFileBytes);
      ChargeDocument();
      return {std::move(bytes), address, {}, true};
    }
    if (!url::HttpHost(address)) throw CLoadError("not an http, https or file address");
    ChargeDocument();
    return ResourceOfReply(WebFetcher().Fetch(address, m_settings.limits, TimeLeft()), address,
                           m_settings.limits);
  }

  void ChargeDocument() const {
    if (m_settings.budget) m_settings.budget->ChargeDocument();
  }

  // The local file that stands for `address`; none when it is to be fetched from the web.
  std::optional<std::filesystem::path> LocalPath(const std::string& address) const {
    if (IsFileUrl(address)) return PathFromFileUrl(address);
    if (m_settings.base.empty()) return std::nullopt;
    const std::string_view resource = WithoutQuery(address);
    const std::string_view base = WithoutQuery(m_settings.base);
    if (resource == base) return m_pathInput;
    const std::string folder = FolderOf(base);
    if (!resource.starts_with(folder)) return std::nullopt;
    std::filesystem::path path = m_pathInput.parent_path();
    std::string_view rest = resource.substr(folder.size());
    for (;;) {
      const std::size_t slash = rest.find('/');
      path /= FileNameOfSegment(rest.substr(0, slash));
      if (slash == std::string_view::npos) return path;
      rest.remove_prefix(slash + 1);
    }
  }

  LoaderSettings m_settings;
  std::filesystem::path m_pathInput;
  bool m_bLoading = true;
  // Slots in depth-first pre-order; a null slot is a document still loading or left out.
  std::vector<dom::DocumentPtr> m_arrDocuments;
  // Requested and final addresses to their slot.
  std::map<std::string, std::size_t> m_mapSlots;
  // Frames fetched side by side and not yet parsed, by requested address.
  std::map<std::string, WebReply> m_mapPrefetched;
  // While set, frame look-ups only note their addresses here.
  std::vector<std::string>* m_pCollecting = nullptr;
};

CPageLoader::CPageLoader(LoaderSettings settings)
    : m_pState(std::make_shared<CState>(std::move(settings))) {}

CPageLoader::~CPageLoader() = default;

dom::DocumentPtr CPageLoader::Load(const std::string& input) {
  return m_pState->LoadInput(input);
}

std::vector<dom::DocumentPtr> CPageLoader::FrameDocuments() const {
  return m_pState->Documents();
}

}  // namespace tavrin::cli
