// Time and memory per link of the parse alone, of the list (the walk into the list's HTML, as
// tavrin-anchors prints it) and of the whole run into the view, on synthetic pages. Targets: at
// 10,000 links the whole run costs at most 6 times the parse alone; the 100,000-link page costs
// at most 12 times the 10,000-link page (the run stays linear).
//
// bytes_per_link is the peak memory that one parse and run adds, measured in a fresh process
// (this program started again with --peak-memory), so that no memory an earlier benchmark left
// to the process hides any.
#include <benchmark/benchmark.h>
#include <malloc.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <map>
#include <string>
#include <string_view>

#include "anchors/anchor_listing.h"
#include "anchors/refresh_anchor_list.h"
#include "browserview/portable/html_document.h"
#include "browserview/portable/text_encoding.h"

namespace {

using tavrin::dom::CHtmlDocument;
using tavrin::dom::DocumentPtr;

// About 130 bytes of markup a link: one in ten an image link, one in ten a FONT, one in ten a
// SPAN with a BR, the rest plain text.
std::string LinkMarkup(int i) {
  std::string n = std::to_string(i);
  switch (i % 10) {
    case 3:
      return "<li><a href=\"/items/" + n + "/detail.html\" class=\"item\"><img src=\"/img/" + n +
             ".png\" alt=\"Item " + n + "\" width=\"16\"></a> image link</li>\n";
    case 6:
      return "<li><a href=\"https://other.example.net/p/" + n +
             "\"><font color=\"#c00000\" size=\"2\">Other site " + n + "</font></a> plain</li>\n";
    case 9:
      return "<li><a href=\"/news/" + n + ".html\" title=\"n\"><span>News</span><br>Headline " + n +
             " text</a> and more</li>\n";
    default:
      return "<li><a href=\"/articles/" + n + "/index.html\" class=\"plain\">Article number " + n +
             " of the day</a></li>\n";
  }
}

std::string SyntheticPage(int links) {
  std::string page = "<!DOCTYPE html><html><head><title>Links</title></head><body><ul>\n";
  for (int i = 0; i < links; ++i) page += LinkMarkup(i);
  return page + "</ul></body></html>\n";
}

const std::string& CachedPage(int links) {
  static std::map<int, std::string> pages;
  auto [it, added] = pages.try_emplace(links);
  if (added) it->second = SyntheticPage(links);
  return it->second;
}

DocumentPtr ParseBytes(const std::string& bytes, const std::string& url,
                       tavrin::dom::FrameLoader loader = {}) {
  auto decoded = tavrin::text::DecodeHtml(bytes);
  return CHtmlDocument::Parse(decoded->utf8, url, decoded->encoding, std::move(loader));
}

tavrin::RefreshContext Context(std::vector<DocumentPtr> frames) {
  return {std::move(frames), [](const std::string&) {},
          [] { return std::optional<std::uint32_t>(0); }};
}

int RunPipeline(const DocumentPtr& main, std::vector<DocumentPtr> frames) {
  auto view = CHtmlDocument::Parse("<html><head></head><body></body></html>", "about:blank");
  tavrin::dom::CHtmlBrowser viewBrowser(view);
  return tavrin::ListAnchorsIntoView(Context(std::move(frames)), main, &viewBrowser);
}

std::size_t RunList(const DocumentPtr& main) {
  std::string list;
  tavrin::CAnchorTableWriter writer(list);
  tavrin::ListAnchors(Context({main}), main, writer);
  return list.size();
}

enum class Stage { Parse, List, View };

void RunOnce(Stage run, const std::string& page) {
  DocumentPtr document = ParseBytes(page, "http://www.example.com/");
  if (run == Stage::List) benchmark::DoNotOptimize(RunList(document));
  if (run == Stage::View) benchmark::DoNotOptimize(RunPipeline(document, {document}));
}

// A figure of /proc/self/status in bytes ("VmRSS", "VmHWM").
long StatusBytes(std::string_view name) {
  std::ifstream status("/proc/self/status");
  for (std::string line; std::getline(status, line);) {
    if (line.starts_with(name) && line[name.size()] == ':')
      return std::stol(line.substr(name.size() + 1)) * 1024;
  }
  return 0;
}

// The child's side of bytes_per_link: the peak resident memory one run adds to the process.
int PrintPeakMemory(Stage run, int links) {
  const std::string& page = CachedPage(links);
  const long before = StatusBytes("VmRSS");
  RunOnce(run, page);
  std::printf("%ld\n", StatusBytes("VmHWM") - before);
  return 0;
}

double PeakMemoryPerLink(Stage run, int links) {
  char self[4096];
  const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
  if (length <= 0) return 0;
  self[length] = '\0';
  const std::string command = std::string(self) + " --peak-memory " +
                              std::to_string(static_cast<int>(run)) + " " + std::to_string(links);
  FILE* child = popen(command.c_str(), "r");
  if (!child) return 0;
  long bytes = 0;
  if (std::fscanf(child, "%ld", &bytes) != 1) bytes = 0;
  pclose(child);
  return static_cast<double>(bytes) / links;
}

// Runs `once` untimed first, so that every size is measured with memory the process already
// holds: otherwise the single-iteration large pages alone pay the kernel for fresh pages.
template <typename Run>
void Measure(benchmark::State& state, double links, Run once) {
  once();
  for (auto _ : state) once();
  state.counters["per_link"] = benchmark::Counter(
      links, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void MeasureRun(benchmark::State& state, Stage run) {
  const int links = static_cast<int>(state.range(0));
  const std::string& page = CachedPage(links);
  Measure(state, links, [&] { RunOnce(run, page); });
  state.counters["bytes_per_link"] = PeakMemoryPerLink(run, links);
}

void BM_ParseAlone(benchmark::State& state) {
  MeasureRun(state, Stage::Parse);
}

void BM_List(benchmark::State& state) {
  MeasureRun(state, Stage::List);
}

void BM_WholeRun(benchmark::State& state) {
  MeasureRun(state, Stage::View);
}

// A frameset of three such frames, recorded as the bar records a page load.
void BM_WholeRunFrameset(benchmark::State& state) {
  const int links = static_cast<int>(state.range(0));
  Measure(state, 3.0 * links, [&] {
    std::map<std::string, DocumentPtr> frames;
    auto loader = [&frames](const std::string& url) { return frames[url]; };
    for (const char* name : {"a", "b", "c"}) {
      std::string url = std::string("http://www.example.com/") + name + ".html";
      frames[url] = ParseBytes(CachedPage(links), url);
    }
    DocumentPtr top = ParseBytes(
        "<frameset cols=\"*,*,*\"><frame src=a.html><frame src=b.html><frame src=c.html>"
        "</frameset>",
        "http://www.example.com/", loader);
    std::vector<DocumentPtr> recorded{top};
    for (const auto& entry : frames) recorded.push_back(entry.second);
    benchmark::DoNotOptimize(RunPipeline(top, recorded));
  });
}

}  // namespace

void PageSizes(benchmark::internal::Benchmark* benchmark) {
  for (int links : {50, 200, 1000, 10000, 100000}) benchmark->Arg(links);
  benchmark->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_ParseAlone)->Apply(PageSizes);
BENCHMARK(BM_List)->Apply(PageSizes);
BENCHMARK(BM_WholeRun)->Apply(PageSizes);
BENCHMARK(BM_WholeRunFrameset)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  if (argc == 4 && std::string_view(argv[1]) == "--peak-memory")
    return PrintPeakMemory(static_cast<Stage>(std::stoi(argv[2])), std::stoi(argv[3]));
  // Freed memory stays with the process between iterations (see Measure).
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_MAX, 0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
