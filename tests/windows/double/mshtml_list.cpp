// mshtml-list.exe [--domain-only] [--view] [--serializer ie|html5] SNAPSHOT: the anchor list of a
// snapshot's page, built by the pipeline through the MSHTML adapter over the double. With html5
// (the default) it prints exactly what tavrin-anchors prints for the same page, so that the two can
// be compared byte for byte; ie makes the double write and read markup as the legacy engine does.
#include <fcntl.h>
#include <io.h>

#include <cstdint>
#include <cstdio>
#include <exception>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "anchors/refresh_anchor_list.h"
#include "browserview/mshtml/mshtml_document.h"
#include "mshtml_double.h"
#include "web_browser_double.h"

namespace {

constexpr int kExitSuccess = 0;
constexpr int kExitFailure = 1;
constexpr int kExitUsage = 2;

void PrintError(std::string_view message) {
  std::fprintf(stderr, "mshtml-list: %.*s\n", static_cast<int>(message.size()), message.data());
}

struct CArguments {
  bool domainOnly = false;
  bool view = false;
  tavrin::dom::Serialization serialization = tavrin::dom::Serialization::Html5;
  std::wstring snapshot;
};

std::optional<CArguments> ParseArguments(int argc, wchar_t** argv) {
  CArguments arguments;
  bool haveSnapshot = false;
  for (int i = 1; i < argc; ++i) {
    const std::wstring_view argument = argv[i];
    if (argument == L"--domain-only") {
      arguments.domainOnly = true;
    } else if (argument == L"--view") {
      arguments.view = true;
    } else if (argument == L"--serializer" && i + 1 < argc) {
      const std::wstring_view name = argv[++i];
      if (name == L"ie") {
        arguments.serialization = tavrin::dom::Serialization::Ie;
      } else if (name != L"html5") {
        return std::nullopt;
      }
    } else if (argument.starts_with(L"-") || haveSnapshot) {
      return std::nullopt;
    } else {
      arguments.snapshot = argument;
      haveSnapshot = true;
    }
  }
  if (!haveSnapshot) return std::nullopt;
  return arguments;
}

// Runs the pipeline; the text to print. Every reference to the double is given back on return.
std::string BuildOutput(const CArguments& arguments) {
  using namespace tavrin;
  const test_double::CSnapshot snapshot = test_double::LoadSnapshot(arguments.snapshot);
  if (!snapshot.view) throw std::runtime_error("the snapshot has no view page");
  test_double::UseSerialization(arguments.serialization);

  RefreshContext context;
  for (const ComPtr<IHTMLDocument2>& document : snapshot.documents) {
    context.frameDocuments.push_back(mshtml::WrapDocument(document.get()));
  }
  context.readDomainOnly = [&] {
    return std::optional<std::uint32_t>(arguments.domainOnly ? 1 : 0);
  };
  // The view's browser object, as the WebBrowser double gives it for a frame: it only shows
  // the view page.
  const ComPtr<ComObject<test_double::CFrameBrowser>> viewBrowserObject(
      new ComObject<test_double::CFrameBrowser>());
  viewBrowserObject->Show(snapshot.view, L"about:blank");
  const std::unique_ptr<dom::IBrowser> viewBrowser = mshtml::WrapBrowser(viewBrowserObject.get());
  std::string list;
  if (!ListAnchorsIntoView(context, mshtml::WrapDocument(snapshot.top.get()), viewBrowser.get(),
                           &list)) {
    throw std::runtime_error("the anchor list could not be built");
  }
  return arguments.view ? test_double::SerializeDocument(snapshot.view.get()) : list + '\n';
}

}  // namespace

int wmain(int argc, wchar_t** argv) {
  const std::optional<CArguments> arguments = ParseArguments(argc, argv);
  if (!arguments) {
    PrintError("usage: mshtml-list.exe [--domain-only] [--view] [--serializer ie|html5] SNAPSHOT");
    return kExitUsage;
  }
  std::string output;
  try {
    output = BuildOutput(*arguments);
  } catch (const std::exception& error) {
    PrintError(error.what());
    return kExitFailure;
  }
  // Whatever the pipeline or the adapter kept would outlive the run here.
  if (const long leaked = tavrin::test_double::LiveObjectCount()) {
    PrintError(std::to_string(leaked) + " objects of the double outlived the run");
    return kExitFailure;
  }
  // Bytes as they are: no line feed becomes CR LF.
  _setmode(_fileno(stdout), _O_BINARY);
  if (std::fwrite(output.data(), 1, output.size(), stdout) != output.size() ||
      std::fflush(stdout) != 0) {
    PrintError("cannot write to the standard output");
    return kExitFailure;
  }
  return kExitSuccess;
}
