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

[[noreturn]] void ThrowWriteError(int error, const std::string& path) {
  throw std::system_error(error, std::generic_category(), "cannot write " + path);
}

// What a newly created file gets: the mode of the file it replaces, else the usual default.
mode_t ModeFor(const std::string& path) {
  struct stat existing {};
  if (stat(path.c_str(), &existing) == 0) return existing.st_mode & 07777;
  const mode_t mask = umask(0);
  umask(mask);
  return 0666 & ~mask;
}

void WriteAll(int fd, const TextPieces& pieces, int& error) {
  for (std::string_view content : pieces) {
    while (error == 0 && !content.empty()) {
      const ssize_t written = write(fd, content.data(), content.size());
      if (written >= 0)
        content.remove_prefix(static_cast<std::size_t>(written));
      else if (errno != EINTR)
        error = errno;
    }
  }
}

// Replaces the regular file `path`, or creates it: the file appears complete or not at all, and
// a failing run never leaves it partial or emptied.
void ReplaceFile(const std::string& path, const TextPieces& pieces) {
  const std::filesystem::path target(path);
  std::string temporary =
      (target.parent_path() / ("." + target.filename().string() + ".XXXXXX")).string();
  const int fd = mkstemp(temporary.data());
  if (fd < 0) ThrowWriteError(errno, path);
  int error = 0;
  WriteAll(fd, pieces, error);
  if (error == 0 && fchmod(fd, ModeFor(path)) != 0) error = errno;
  if (error == 0 && fsync(fd) != 0) error = errno;
  if (close(fd) != 0 && error == 0) error = errno;
  if (error == 0 && std::rename(temporary.c_str(), path.c_str()) != 0) error = errno;
  if (error != 0) {
    unlink(temporary.c_str());
    ThrowWriteError(error, path);
  }
}

// A terminal, a device such as /dev/null, or a pipe: written into, never replaced.
void WriteStream(const std::string& path, const TextPieces& pieces) {
  const int fd = open(path.c_str(), O_WRONLY | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) ThrowWriteError(errno, path);
  int error = 0;
  WriteAll(fd, pieces, error);
  if (close(fd) != 0 && error == 0) error = errno;
  if (error != 0) ThrowWriteError(error, path);
}

// Where a chain of symbolic links ends, whether or not anything is there.
std::string LinkTarget(const std::string& path) {
  constexpr int kMaxLinks = 40;
  std::filesystem::path current(path);
  for (int i = 0; i < kMaxLinks; ++i) {
    std::error_code error;
    if (!std::filesystem::is_symlink(std::filesystem::symlink_status(current, error)))
      return current.string();
    const std::filesystem::path next = std::filesystem::read_symlink(current, error);
    if (error) ThrowWriteError(error.value(), path);
    current = next.is_absolute() ? next : current.parent_path() / next;
  }
  ThrowWriteError(ELOOP, path);
}

// Writes the output file as its kind asks: a regular file (or none yet) is replaced whole; a
// symbolic link keeps being a link and its target is replaced; a terminal, device or pipe is
// written into; anything else is refused.
void WriteOutputFile(const std::string& path, const TextPieces& pieces) {
  struct stat status {};
  if (stat(path.c_str(), &status) != 0) {
    if (errno != ENOENT) ThrowWriteError(errno, path);
    return ReplaceFile(LinkTarget(path), pieces);
  }
  if (S_ISCHR(status.st_mode) || S_ISFIFO(status.st_mode)) return WriteStream(path, pieces);
  if (S_ISDIR(status.st_mode)) throw std::runtime_error("cannot write " + path + ": is a folder");
  if (!S_ISREG(status.st_mode))
    throw std::runtime_error("cannot write " + path + ": not a regular file");
  return ReplaceFile(LinkTarget(path), pieces);
}

// Loads the page and its frames and walks them into `sink` as the bar's run does. The documents
// are gone when it returns.
void ListPage(const Options& options, std::ostream& err, const Limits& limits,
              const std::shared_ptr<CRunBudget>& budget,
              const std::shared_ptr<dom::CHtmlDocument>& view, IAnchorSink& sink) {
  LoaderSettings settings{
      .base = options.base,
      .encodingLabel = options.encoding,
      .limits = limits.fetch,
      .warn =
          [&err](const std::string& line) { err << kMessagePrefix << "warning: " << line << '\n'; },
      .budget = budget};
  if (options.verbose)
    settings.note = [&err](const std::string& line) { err << kMessagePrefix << line << '\n'; };
  CPageLoader loader(std::move(settings));
  const dom::DocumentPtr page = loader.Load(options.input);
  if (!options.snapshotPath.empty()) {
    TextPieces snapshot;
    snapshot.push_back(BuildSnapshot(loader.FrameDocuments(), page, *view));
    WriteOutputFile(options.snapshotPath, snapshot);
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
TextPieces BuildOutput(const Options& options, std::ostream& err, const Limits& limits) {
  const auto budget = std::make_shared<CRunBudget>(limits.run);
  std::shared_ptr<dom::CHtmlDocument> view;
  if (options.view || !options.snapshotPath.empty())
    view = dom::CHtmlDocument::Parse(kBlankListPage, "about:blank", "UTF-8", {}, budget);
  if (!options.view) {
    CListWriter writer(options.format, options.unique, budget.get());
    ListPage(options, err, limits, budget, view, writer);
    return writer.Finish();
  }
  CViewBuilder builder(*view, budget.get());
  ListPage(options, err, limits, budget, view, builder);
  builder.Finish();
  TextPieces output;
  output.push_back(view->Serialize());
  return output;
}

}  // namespace

int RunAnchorsProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const Limits& limits) {
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
      WriteOutputFile(options.outputPath, output);
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
