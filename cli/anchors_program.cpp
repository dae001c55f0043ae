#include "cli/anchors_program.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string_view>
#include <system_error>

#include "anchors/anchor_listing.h"
#include "browserview/portable/html_document.h"
#include "cli/blank_page.h"
#include "cli/list_writers.h"
#include "cli/options.h"
#include "cli/snapshot.h"
#include "cli/view_builder.h"

namespace tavrin::cli {
namespace {

constexpr std::string_view kMessagePrefix = "tavrin-anchors: ";
constexpr char kNoList[] = "the anchor list could not be built";

// What a newly created file gets: the mode of the file it replaces, else the usual default.
mode_t ModeFor(const std::string& path) {
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0) return existing.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

// The file appears complete or not at all: a failing run never leaves it partial or emptied.
void WriteFileAtomically(const std::string& path, const TextPieces& pieces) {
  const std::filesystem::path target(path);
  std::string temporary =
      (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temporary.data());
  if (fd < 0) throw std::system_error(errno, std::generic_category(), "cannot write " + path);
  int error = 0;
  for (std::string_view content : pieces) {
    while (error == 0 && !content.empty()) {
      const ssize_t written = write(fd, content.data(), content.size());
      if (written >= 0)
        content.remove_prefix(static_cast<std::size_t>(written));
      else if (errno != EINTR)
        error = errno;
    }
  }
  if (error == 0 && fchmod(fd, ModeFor(path)) != 0) error = errno;
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temporary.c_str());
    throw std::system_error(error, std::generic_category(), "cannot write " + path);
  }
}

// Loads the page and its frames and walks them into `sink` as the bar's run does. The documents
// are gone when it returns.
void ListPage(const Options& options, std::ostream& err, const FetchLimits& limits,
              const std::shared_ptr<dom::CHtmlDocument>& view, IAnchorSink& sink) {
  CPageLoader loader({.base = options.base,
                      .encodingLabel = options.encoding,
                      .limits = limits,
                      .warn = [&err](const std::string& line) {
                        err << kMessagePrefix << "warning: " << line << '\n';
                      }});
  const dom::DocumentPtr page = loader.Load(options.input);
  if (!options.snapshotPath.empty()) {
    TextPieces snapshot;
    snapshot.push_back(BuildSnapshot(loader.FrameDocuments(), page, *view));
    WriteFileAtomically(options.snapshotPath, snapshot);
  }
  const RefreshContext context{
      .frameDocuments = loader.FrameDocuments(),
      .setStatusText =
          [&](const std::string& text) {
            // The pipeline clears the status line when it is done; that has nothing to report.
            if (options.verbose && !text.empty()) err << kMessagePrefix << text << '\n';
          },
      .readDomainOnly = [&] { return std::optional<std::uint32_t>(options.domainOnly ? 1 : 0); },
  };
  if (!ListAnchors(context, page, sink)) throw std::runtime_error(kNoList);
}

// The text to print. The list is written straight from the walk; with --view, the view page is
// built from the walk's rows once the documents are gone.
TextPieces BuildOutput(const Options& options, std::ostream& err, const FetchLimits& limits) {
  std::shared_ptr<dom::CHtmlDocument> view;
  if (options.view || !options.snapshotPath.empty())
    view = dom::CHtmlDocument::Parse(kBlankListPage, "about:blank");
  if (!options.view) {
    CListWriter writer(options.format, options.unique);
    ListPage(options, err, limits, view, writer);
    return writer.Finish();
  }
  CViewBuilder builder(*view);
  ListPage(options, err, limits, view, builder);
  builder.Finish();
  TextPieces output;
  output.push_back(view->Serialize());
  return output;
}

}  // namespace

int RunAnchorsProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const FetchLimits& limits) {
  Options options;
  try {
    options = ParseOptions(args);
  } catch (const CUsageError& error) {
    err << kMessagePrefix << error.what() << '\n';
    return kExitUsage;
  }
  if (options.help || options.version) {
    out << (options.help ? HelpText() : VersionText());
    return kExitSuccess;
  }
  try {
    const TextPieces output = BuildOutput(options, err, limits);
    if (!options.outputPath.empty()) {
      WriteFileAtomically(options.outputPath, output);
    } else {
      for (const std::string& piece : output) out << piece;
      if (!out.flush()) throw std::runtime_error("cannot write to the standard output");
    }
    return kExitSuccess;
  } catch (const std::exception& error) {
    // Load and write failures, and whatever else stops a run (a model failure, no memory).
    err << kMessagePrefix << error.what() << '\n';
    return kExitFailure;
  }
}

}  // namespace tavrin::cli
