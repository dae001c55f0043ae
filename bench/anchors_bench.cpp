// Time per link of the parse alone and of the whole anchor-list run, on synthetic pages.
// Targets: at 10,000 links the whole run costs at most 6 times the parse alone; the
// 100,000-link page costs at most 12 times the 10,000-link page (the run stays linear).
#include <benchmark/benchmark.h>
#include <malloc.h>

#include <map>
#include <string>

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

int RunPipeline(const DocumentPtr& main, std::vector<DocumentPtr> frames) {
  auto view = CHtmlDocument::Parse("<html><head></head><body></body></html>", "about:blank");
  tavrin::dom::CHtmlBrowser viewBrowser(view);
  tavrin::RefreshContext context{std::move(frames), [](const std::string&) {},
                                 [] { return std::optional<std::uint32_t>(0); }};
  return tavrin::RefreshAnchorList(context, main, &viewBrowser);
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

void BM_ParseAlone(benchmark::State& state) {
  const std::string& page = CachedPage(static_cast<int>(state.range(0)));
  Measure(state, static_cast<double>(state.range(0)),
          [&] { benchmark::DoNotOptimize(ParseBytes(page, "http://www.example.com/")); });
}

void BM_WholeRun(benchmark::State& state) {
  const std::string& page = CachedPage(static_cast<int>(state.range(0)));
  Measure(state, static_cast<double>(state.range(0)), [&] {
    DocumentPtr document = ParseBytes(page, "http://www.example.com/");
    benchmark::DoNotOptimize(RunPipeline(document, {document}));
  });
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
BENCHMARK(BM_WholeRun)->Apply(PageSizes);
BENCHMARK(BM_WholeRunFrameset)->Arg(10000)->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
  // Freed memory stays with the process between iterations (see Measure).
  mallopt(M_TRIM_THRESHOLD, 1 << 30);
  mallopt(M_MMAP_MAX, 0);
  benchmark::Initialize(&argc, argv);
  benchmark::RunSpecifiedBenchmarks();
  benchmark::Shutdown();
}
