#include "web_browser_double_pages.h"

#include "framework/text.h"
#include "framework/unique_any.h"
#include "mshtml_double.h"

#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <string_view>

namespace tavrin::test_double {
namespace {

constexpr std::wstring_view kResourceScheme = L"res://";
// RT_HTML, which mingw declares only for resource scripts.
const wchar_t* const kHtmlResourceType = MAKEINTRESOURCEW(23);

VARIANT IndexVariant(long index) noexcept {
  VARIANT value;
  VariantInit(&value);
  V_VT(&value) = VT_I4;
  V_I4(&value) = index;
  return value;
}

// The snapshot file listed for the address in the pages folder's index; empty when the folder is
// not set or does not list the address.
std::filesystem::path SnapshotFile(const std::wstring& url) {
  std::wstring folder(MAX_PATH, L'\0');
  const DWORD length =
      GetEnvironmentVariableW(kPagesVariable, folder.data(), static_cast<DWORD>(folder.size()));
  if (length == 0 || length >= folder.size()) return {};
  folder.resize(length);
  const std::filesystem::path index = std::filesystem::path(folder) / kPageIndexName;
  std::ifstream lines(index);
  if (!lines) throw std::runtime_error("no page index in " + WideToUtf8(folder));
  const std::string address = WideToUtf8(url);
  for (std::string line; std::getline(lines, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    const size_t tab = line.find('\t');
    if (tab != std::string::npos && line.compare(0, tab, address) == 0 && tab == address.size())
      return std::filesystem::path(folder) / Utf8ToWide(line.substr(tab + 1));
  }
  return {};
}

// "res://MODULE/N": HTML resource N (or named N) of the module; null when there is none.
ComPtr<IHTMLDocument2> LoadResourcePage(const std::wstring& url) {
  const size_t slash = url.find_last_of(L'/');
  if (slash < kResourceScheme.size()) return {};
  const std::wstring path = url.substr(kResourceScheme.size(), slash - kResourceScheme.size());
  const std::wstring name = url.substr(slash + 1);
  const bool numbered =
      !name.empty() && name.find_first_not_of(L"0123456789") == std::wstring::npos;
  const UniqueHmodule module(LoadLibraryExW(
      path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE | LOAD_LIBRARY_AS_IMAGE_RESOURCE));
  if (!module) return {};
  const HRSRC resource = FindResourceW(
      module.get(), numbered ? MAKEINTRESOURCEW(std::stoi(name)) : name.c_str(), kHtmlResourceType);
  const HGLOBAL loaded = resource ? LoadResource(module.get(), resource) : nullptr;
  const auto* bytes = loaded ? static_cast<const char*>(LockResource(loaded)) : nullptr;
  if (!bytes) return {};
  return ParseDocument(std::string_view(bytes, SizeofResource(module.get(), resource)), url);
}

// The text a link shows: innerText, else innerHTML without its tags.
std::wstring LinkText(IHTMLElement* link) {
  UniqueBstr text;
  if (SUCCEEDED(link->get_innerText(text.put())) && text)
    return std::wstring(text.get(), SysStringLen(text.get()));
  if (FAILED(link->get_innerHTML(text.put())) || !text) return {};
  std::wstring plain;
  bool inTag = false;
  for (const wchar_t c : std::wstring_view(text.get(), SysStringLen(text.get()))) {
    if (c == L'<') inTag = true;
    if (!inTag) plain += c;
    if (c == L'>') inTag = false;
  }
  return plain;
}

}  // namespace

ComPtr<IHTMLDocument2> LoadPage(const std::wstring& url) {
  if (url == L"about:blank") return ParseDocument("", url);
  if (url.starts_with(kResourceScheme)) return LoadResourcePage(url);
  const std::filesystem::path file = SnapshotFile(url);
  if (file.empty()) return {};
  return LoadSnapshot(file.wstring()).top;
}

std::vector<ComPtr<IHTMLDocument2>> FrameDocuments(IHTMLDocument2* document) {
  std::vector<ComPtr<IHTMLDocument2>> documents;
  ComPtr<IHTMLWindow2> window;
  ComPtr<IHTMLFramesCollection2> frames;
  long length = 0;
  if (!document || FAILED(document->get_parentWindow(window.put())) || !window ||
      FAILED(window->get_frames(frames.put())) || !frames || FAILED(frames->get_length(&length))) {
    return documents;
  }
  for (long i = 0; i < length; ++i) {
    VARIANT index = IndexVariant(i);
    UniqueVariant item;
    if (FAILED(frames->item(&index, item.put())) || V_VT(&item.get()) != VT_DISPATCH ||
        !V_DISPATCH(&item.get())) {
      continue;
    }
    const auto frame = ComPtr<IDispatch>(V_DISPATCH(&item.get())).try_query<IHTMLWindow2>();
    ComPtr<IHTMLDocument2> shown;
    if (frame && SUCCEEDED(frame->get_document(shown.put())) && shown)
      documents.push_back(std::move(shown));
  }
  return documents;
}

std::wstring DocumentUrl(IHTMLDocument2* document) {
  UniqueBstr url;
  if (!document || FAILED(document->get_URL(url.put())) || !url) return {};
  return std::wstring(url.get(), SysStringLen(url.get()));
}

std::vector<std::wstring> LinkTexts(IHTMLDocument2* document) {
  std::vector<std::wstring> texts;
  ComPtr<IHTMLElementCollection> links;
  long length = 0;
  if (!document || FAILED(document->get_links(links.put())) || !links ||
      FAILED(links->get_length(&length))) {
    return texts;
  }
  for (long i = 0; i < length; ++i) {
    VARIANT none;
    VariantInit(&none);
    ComPtr<IDispatch> item;
    if (FAILED(links->item(IndexVariant(i), none, item.put())) || !item) continue;
    if (const auto element = item.try_query<IHTMLElement>())
      texts.push_back(LinkText(element.get()));
  }
  return texts;
}

}  // namespace tavrin::test_double
