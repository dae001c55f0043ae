#include "cli/anchors_program.h"

#include <cstdint>
#include <cstdio>
#include <optional>
#include <stdexcept>
#include <string_view>

#include "anchors/anchor_listing.h"
#include "browserview/portable/html_document.h"
#include "cli/blank_page.h"
#include "cli/list_writers.h"
#include "cli/options.h"
#include "cli/output_file.h"
#include "cli/snapshot.h"
#include "cli/view_builder.h"

namespace tavrin::cli {
namespace {

// One line on standard error. Control characters, which a server's header, a page's address or
// a file name may hold and a terminal would obey, are shown as escapes.
void Report(std::ostream& err, std::string_view line) {
  std::string shown = "tavrin-anchors: ";
  for (std::size_t i = 0; i < line.size(); ++i) {
    const auto byte = static_cast<unsigned char>(line[i]);
    // C1 controls are U+0080 to U+009F, 0xC2 0x80 to 0xC2 0x9F in UTF-8.
    const bool c1 = byte == 0xC2 && i + 1 < line.size() &&
                    static_cast<unsigned char>(line[i + 1]) >= 0x80 &&
                    static_cast<unsigned char>(line[i + 1]) <= 0x9F;
    if (byte >= 0x20 && byte != 0x7F && !c1) {
      shown += line[i];
      continue;
    }
    char escape[8];
    if (c1)
      std::snprintf(escape, sizeof escape, "\\u%04X", static_cast<unsigned char>(line[++i]));
    else
      std::snprintf(escape, sizeof escape, "\\x%02X", byte);
    shown += escape;
  }
  err << shown << '\n';
}

constexpr char kNoList[] = "the anchor list could not be built";

// Loads the page and its frames and walks them into `sink` as the bar's run does; with
// --snapshot, the documents as loaded go to `snapshot` first. The documents are gone when it
// returns.
void ListPage(const Options& options, std::ostream& err, const Limits& limits,
              const std::shared_ptr<CRunBudget>& budget,
              const std::shared_ptr<dom::CHtmlDocument>& view, IAnchorSink& sink,
              TextPieces& snapshot) {
  LoaderSettings settings{
      .base = options.base,
      .encodingLabel = options.encoding,
      .limits = limits.fetch,
      .warn = [&err](const std::string& line) { Report(err, "warning: " + line); },
      .budget = budget,
      .deadline = std::chrono::steady_clock::now() + options.timeout};
  if (options.verbose) settings.note = [&err](const std::string& line) { Report(err, line); };
  CPageLoader loader(std::move(settings));
  const dom::DocumentPtr page = loader.Load(options.input);
  if (!options.snapshotPath.empty())
    snapshot.push_back(BuildSnapshot(loader.FrameDocuments(), page, *view, budget.get()));
  const RefreshContext context{
      .frameDocuments = loader.FrameDocuments(),
      .setStatusText =
          [&](const std::string& text) {
            // The pipeline clears the status line when it is done; that has nothing to report.
            if (options.verbose && !text.empty()) Report(err, text);
          },
      .readDomainOnly = [&] { return std::optional<std::uint32_t>(options.domainOnly ? 1 : 0); },
  };
  if (!ListAnchors(context, page, sink)) throw std::runtime_error(kNoList);
}

// The text to print. The list is written straight from the walk; with --view, the view page is
// built from the walk's rows once the documents are gone.
TextPieces BuildOutput(const Options& options, std::ostream& err, const Limits& limits,
                       TextPieces& snapshot) {
  const auto budget = std::make_shared<CRunBudget>(limits.run);
  std::shared_ptr<dom::CHtmlDocument> view;
  if (options.view || !options.snapshotPath.empty())
    view = dom::CHtmlDocument::Parse(kBlankListPage, "about:blank", "UTF-8", {}, budget);
  if (!options.view) {
    CListWriter writer(options.format, options.unique, budget.get());
    ListPage(options, err, limits, budget, view, writer, snapshot);
    return writer.Finish();
  }
  CViewBuilder builder(*view, budget.get());
  ListPage(options, err, limits, budget, view, builder, snapshot);
  builder.Finish();
  return view->SerializeInPieces(kTextPieceSize);
}

}  // namespace

int RunAnchorsProgram(const std::vector<std::string>& args, std::ostream& out, std::ostream& err,
                      const Limits& limits) {
  Options options;
  try {
    options = ParseOptions(args);
  } catch (const CUsageError& error) {
    Report(err, error.what());
    return kExitUsage;
  }
  if (options.help || options.version) {
    out << (options.help ? HelpText() : VersionText());
    return kExitSuccess;
  }
  try {
    TextPieces snapshot;
    TextPieces output = BuildOutput(options, err, limits, snapshot);
    // Both files are complete beside their targets before either replaces its target.
    std::optional<CPreparedOutput> list;
    if (!options.outputPath.empty()) list.emplace(options.outputPath, std::move(output));
    std::optional<CPreparedOutput> documents;
    if (!options.snapshotPath.empty()) documents.emplace(options.snapshotPath, std::move(snapshot));
    if (list) {
      list->Commit();
    } else {
      for (const std::string& piece : output) out << piece;
      if (!out.flush()) throw std::runtime_error("cannot write to the standard output");
    }
    if (documents) documents->Commit();
    return kExitSuccess;
  } catch (const std::exception& error) {
    // Load and write failures, and whatever else stops a run (a model failure, no memory).
    Report(err, error.what());
    return kExitFailure;
  }
}

}  // namespace tavrin::cli
