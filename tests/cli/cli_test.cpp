#include <arpa/inet.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include "browserview/portable/browser_url.h"
#include "cli/anchors_program.h"
#include "cli/options.h"
#include "cli/page_loader.h"

namespace tavrin::cli {
namespace {

namespace fs = std::filesystem;

bool Contains(const std::string& text, const std::string& part) {
  return text.find(part) != std::string::npos;
}

std::vector<std::string> Lines(const std::string& text) {
  std::vector<std::string> lines;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) lines.push_back(line);
  return lines;
}

std::string Page(const std::string& body) {
  return "<html><head><meta charset=\"utf-8\"></head><body>" + body + "</body></html>";
}

std::string Frameset(const std::vector<std::string>& sources) {
  std::string frames;
  for (const std::string& source : sources) frames += "<frame src=\"" + source + "\">";
  return "<html><frameset>" + frames + "</frameset></html>";
}

std::string Link(const std::string& href, const std::string& text) {
  return "<a href=\"" + href + "\">" + text + "</a>";
}

class CTempFolder {
 public:
  CTempFolder() {
    std::string pattern = (fs::temp_directory_path() / "tavrin-cli-XXXXXX").string();
    m_pathFolder = mkdtemp(pattern.data());
  }
  ~CTempFolder() { fs::remove_all(m_pathFolder); }

  std::string Write(const std::string& name, const std::string& content) const {
    const fs::path path = m_pathFolder / name;
    fs::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary) << content;
    return path.string();
  }
  std::string Path(const std::string& name) const { return (m_pathFolder / name).string(); }

 private:
  fs::path m_pathFolder;
};

struct RunResult {
  int code;
  std::string out;
  std::string err;
};

RunResult RunCli(const std::vector<std::string>& args, const Limits& limits = {}) {
  std::ostringstream out, err;
  const int code = RunAnchorsProgram(args, out, err, limits);
  return {code, out.str(), err.str()};
}

LoaderSettings Collecting(std::vector<std::string>& warnings, std::string base = {}) {
  LoaderSettings settings;
  settings.base = std::move(base);
  settings.warn = [&warnings](const std::string& line) { warnings.push_back(line); };
  return settings;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), {});
}

std::size_t Count(const std::string& text, const std::string& part) {
  std::size_t count = 0;
  for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
    ++count;
  return count;
}

std::vector<std::string> FrameUrls(CPageLoader& loader) {
  std::vector<std::string> urls;
  for (const dom::DocumentPtr& document : loader.FrameDocuments()) urls.push_back(document->Url());
  return urls;
}

std::string HttpResponse(const std::string& status, const std::string& type,
                         const std::string& body) {
  return "HTTP/1.1 " + status + "\r\nContent-Type: " + type +
         "\r\nContent-Length: " + std::to_string(body.size()) + "\r\nConnection: close\r\n\r\n" +
         body;
}

// Serves canned responses on 127.0.0.1, one connection at a time. An unknown path gets 404;
// a path routed to kHang gets no answer until the client gives up.
class CTestServer {
 public:
  static constexpr const char* kHang = "";

  CTestServer() {
    m_nListener = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t length = sizeof address;
    if (bind(m_nListener, reinterpret_cast<sockaddr*>(&address), length) != 0 ||
        listen(m_nListener, 8) != 0 ||
        getsockname(m_nListener, reinterpret_cast<sockaddr*>(&address), &length) != 0)
      throw std::runtime_error("test server cannot listen");
    m_nPort = ntohs(address.sin_port);
    m_thread = std::thread([this] { Serve(); });
  }
  ~CTestServer() {
    m_bStop = true;
    m_thread.join();
    close(m_nListener);
  }

  void Route(const std::string& path, const std::string& response) {
    std::lock_guard lock(m_mutex);
    m_mapRoutes[path] = response;
  }
  std::string Url(const std::string& path) const {
    return "http://127.0.0.1:" + std::to_string(m_nPort) + path;
  }
  int Hits(const std::string& path) {
    std::lock_guard lock(m_mutex);
    return m_mapHits[path];
  }

 private:
  void Serve() {
    while (!m_bStop) {
      pollfd listener{m_nListener, POLLIN, 0};
      if (poll(&listener, 1, 20) <= 0) continue;
      const int client = accept4(m_nListener, nullptr, nullptr, SOCK_CLOEXEC);
      if (client < 0) continue;
      Answer(client);
      close(client);
    }
  }

  void Answer(int client) {
    std::string request;
    char buffer[4096];
    while (!Contains(request, "\r\n\r\n")) {
      pollfd readable{client, POLLIN, 0};
      if (poll(&readable, 1, 2000) <= 0) return;
      const ssize_t got = read(client, buffer, sizeof buffer);
      if (got <= 0) return;
      request.append(buffer, static_cast<std::size_t>(got));
    }
    const std::size_t start = request.find(' ') + 1;
    const std::string path = request.substr(start, request.find(' ', start) - start);
    std::string response = HttpResponse("404 Not Found", "text/html", Page("gone"));
    {
      std::lock_guard lock(m_mutex);
      ++m_mapHits[path];
      if (auto found = m_mapRoutes.find(path); found != m_mapRoutes.end()) response = found->second;
    }
    if (response.empty()) {
      pollfd closed{client, POLLIN, 0};
      poll(&closed, 1, 5000);
      return;
    }
    for (std::string_view rest = response; !rest.empty();) {
      const ssize_t sent = send(client, rest.data(), rest.size(), MSG_NOSIGNAL);
      if (sent <= 0) return;
      rest.remove_prefix(static_cast<std::size_t>(sent));
    }
  }

  int m_nListener = -1;
  int m_nPort = 0;
  std::atomic<bool> m_bStop = false;
  std::mutex m_mutex;
  std::map<std::string, std::string> m_mapRoutes;
  std::map<std::string, int> m_mapHits;
  std::thread m_thread;
};

// Every usage error: exit 2, one line on stderr, nothing on stdout.
TEST(Options, UsageErrorsExitTwoWithOneLineAndNoOutput) {
  const std::vector<std::vector<std::string>> cases = {
      {},
      {"--frobnicate", "a.html"},
      {"-x", "a.html"},
      {"--view=yes", "a.html"},
      {"a.html", "--base"},
      {"a.html", "-o"},
      {"a.html", "b.html"},
      {"--base", "ftp://files.example/", "a.html"},
      {"--base", "not an address", "a.html"},
      {"--base", "http://www.example/", "http://www.example/page.html"},
      {"--encoding", "no-such-encoding", "a.html"},
      {"-o", "same.json", "--snapshot", "./same.json", "a.html"},
      {"--snapshot", "-", "a.html"},
      {"--timeout", "0", "a.html"},
      {"--timeout", "1.5", "a.html"},
  };
  for (const std::vector<std::string>& args : cases) {
    const RunResult result = RunCli(args);
    SCOPED_TRACE(::testing::PrintToString(args));
    EXPECT_EQ(result.code, kExitUsage);
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("tavrin-anchors: ")) << result.err;
    EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
  }
  EXPECT_TRUE(Contains(RunCli({"--view=yes", "a.html"}).err, "'--view' takes no value"));
  EXPECT_TRUE(Contains(RunCli({"a.html", "--base"}).err, "'--base' needs a value"));
}

TEST(Options, OptionsMayFollowInputAndBaseIsNormalised) {
  const Options options =
      ParseOptions({"page.html", "--domain-only", "--view", "--verbose", "--encoding=Shift_JIS",
                    "--base", "HTTP://WWW.Example:80/site/", "-o", "out.html"});
  EXPECT_EQ(options.input, "page.html");
  EXPECT_TRUE(options.domainOnly && options.view && options.verbose);
  EXPECT_EQ(options.encoding, "Shift_JIS");
  EXPECT_EQ(options.base, "http://www.example/site/");
  EXPECT_EQ(options.outputPath, "out.html");
  // A second parse starts afresh, as the in-process tests rely on.
  EXPECT_FALSE(ParseOptions({"other.html"}).view);
}

// The help fits an 80-column terminal.
TEST(Options, HelpNeedsNoInputAndFitsATerminal) {
  const RunResult result = RunCli({"--help"});
  EXPECT_EQ(result.code, kExitSuccess);
  EXPECT_TRUE(result.out.starts_with("Usage: tavrin-anchors"));
  EXPECT_EQ(result.err, "");
  for (const std::string& line : Lines(result.out)) {
    const auto columns = std::count_if(line.begin(), line.end(), [](char c) {
      return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    });
    EXPECT_LE(columns, 80) << line;
  }
}

TEST(LocalInput, UnreadableInputExitsOneWithoutOutput) {
  CTempFolder folder;
  for (const std::string& input : {folder.Path("missing.html"), folder.Path("")}) {
    const RunResult result = RunCli({input});
    EXPECT_EQ(result.code, kExitFailure) << input;
    EXPECT_EQ(result.out, "");
    EXPECT_TRUE(result.err.starts_with("tavrin-anchors: " + input + ": ")) << result.err;
  }
}

TEST(LocalInput, ListsHttpLinksOfTheFramesAndWarnsAboutMissingOnes) {
  CTempFolder folder;
  // Relative links of a local file are file: addresses, which the list leaves out.
  folder.Write("page.html", Page(Link("next.html", "Next") + Link("http://www.example/x", "X")));
  const std::string input = folder.Write("top.html", Frameset({"page.html", "missing.html"}));
  const RunResult result = RunCli({input});
  ASSERT_EQ(result.code, kExitSuccess) << result.err;
  EXPECT_TRUE(Contains(result.out, "http://www.example/x"));
  EXPECT_FALSE(Contains(result.out, "next.html"));
  EXPECT_TRUE(result.out.ends_with("</TABLE>\n")) << result.out;
  EXPECT_TRUE(result.err.starts_with("tavrin-anchors: warning: frame file://")) << result.err;
  EXPECT_EQ(std::count(result.err.begin(), result.err.end(), '\n'), 1) << result.err;
}

TEST(LocalInput, ViewIsAUtf8DocumentWithTheList) {
  CTempFolder folder;
  const std::string input = folder.Write("page.html", Page(Link("http://www.example/", "日本語")));
  const RunResult result = RunCli({"--view", input});
  ASSERT_EQ(result.code, kExitSuccess) << result.err;
  const std::size_t meta = result.out.find("<meta charset=\"utf-8\">");
  ASSERT_NE(meta, std::string::npos) << result.out;
  EXPECT_LT(meta, result.out.find("</head>"));
  EXPECT_GT(result.out.find("日本語"), result.out.find("<body"));
}

TEST(LocalInput, EncodingOverridesTheDeclaredOne) {
  CTempFolder folder;
  const std::string input = folder.Write(
      "sjis.html", "<html><head><meta charset=\"windows-1252\"></head><body>" +
                       Link("http://www.example/", "\x93\xfa\x96\x7b") + "</body></html>");
  EXPECT_TRUE(Contains(RunCli({"--encoding", "sjis", input}).out, "日本"));
  EXPECT_FALSE(Contains(RunCli({input}).out, "日本"));
}

TEST(LocalInput, FilesHaveTheirOwnSizeLimit) {
  CTempFolder folder;
  const std::string input = folder.Write("big.html", Page(std::string(4000, 'x')));
  const RunResult refused =
      RunCli({input}, {.fetch = {.maxBytes = 1'000'000, .maxFileBytes = 1000}});
  EXPECT_EQ(refused.code, kExitFailure);
  EXPECT_TRUE(Contains(refused.err, "larger than 1000 bytes")) << refused.err;
  // The limit of web fetches does not apply to local files.
  EXPECT_EQ(RunCli({input}, {.fetch = {.maxBytes = 1000}}).code, kExitSuccess);
  // A size of 0 is no bound: files of /proc say so and hold text.
  const RunResult proc = RunCli({"--verbose", "/proc/self/status"});
  EXPECT_EQ(proc.code, kExitSuccess) << proc.err;
  EXPECT_FALSE(Contains(proc.err, "(0 bytes")) << proc.err;
  EXPECT_EQ(RunCli({"/proc/self/status"}, {.fetch = {.maxFileBytes = 10}}).code, kExitFailure);
}

TEST(OutputFile, WrittenOnSuccessUntouchedOnFailure) {
  CTempFolder folder;
  const std::string input = folder.Write("page.html", Page(Link("http://www.example/", "E")));
  const std::string output = folder.Path("list.html");

  const RunResult written = RunCli({"-o", output, input});
  ASSERT_EQ(written.code, kExitSuccess) << written.err;
  EXPECT_EQ(written.out, "");
  std::ifstream in(output);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(in), {}), RunCli({input}).out);

  folder.Write("list.html", "earlier list");
  EXPECT_EQ(RunCli({"-o", output, folder.Path("missing.html")}).code, kExitFailure);
  std::ifstream kept(output);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(kept), {}), "earlier list");

  EXPECT_EQ(RunCli({"-o", folder.Path("new.html"), folder.Path("missing.html")}).code,
            kExitFailure);
  EXPECT_EQ(RunCli({"-o", folder.Path("no/such/folder/list.html"), input}).code, kExitFailure);
  // Neither the new file nor any temporary one is left behind.
  std::vector<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder.Path("")))
    names.push_back(entry.path().filename().string());
  std::sort(names.begin(), names.end());
  EXPECT_EQ(names, (std::vector<std::string>{"list.html", "page.html"}));
}

TEST(Frames, LoadedAtEveryDepthInPreOrderOncePerAddress) {
  CTempFolder folder;
  // Names that the file: address must encode and the loader decode again.
  const std::string site = "サイト 1/";
  folder.Write(site + "top.html", Frameset({"a.html", "b%20c.html", "a.html"}));
  folder.Write(site + "a.html", Frameset({"a1.html", "top.html"}));
  folder.Write(site + "a1.html", Page(Link("http://www.example/a1", "A1")));
  folder.Write(site + "b c.html", Frameset({"b%20c.html", "missing.html"}));
  std::vector<std::string> warnings;
  CPageLoader loader(Collecting(warnings));
  loader.Load(folder.Path(site + "top.html"));

  std::vector<std::string> expected;
  for (const char* name : {"top.html", "a.html", "a1.html", "b c.html"})
    expected.push_back(url::FileUrlFromPath(folder.Path(site + name)));
  EXPECT_EQ(FrameUrls(loader), expected);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_TRUE(Contains(warnings[0], "missing.html")) << warnings[0];
}

TEST(Snapshot, HoldsTheParsedTreesBeforeTheRunAndWhichDocumentEachFrameShows) {
  CTempFolder folder;
  folder.Write("top.html", Frameset({"a.html", "missing.html", "a.html"}));
  folder.Write("a.html", Page("<a href=\"x.html\">\"表\" &amp; <img src=\"i.png\"></a>"
                              "<template><a href=\"t.html\">T</a></template>"));
  const std::string top = folder.Path("top.html");
  const std::string snapshotPath = folder.Path("snapshot.json");
  const RunResult plain = RunCli({top});
  const RunResult withSnapshot = RunCli({"--snapshot", snapshotPath, top});
  ASSERT_EQ(withSnapshot.code, kExitSuccess) << withSnapshot.err;
  EXPECT_EQ(withSnapshot.out, plain.out);

  std::ifstream file(snapshotPath);
  const nlohmann::json snapshot = nlohmann::json::parse(file);
  EXPECT_EQ(snapshot["top"], 0);
  ASSERT_EQ(snapshot["documents"].size(), 2u);
  EXPECT_EQ(snapshot["documents"][0]["url"], url::FileUrlFromPath(top));
  EXPECT_EQ(snapshot["documents"][0]["frames"], nlohmann::json::parse("[1, null, 1]"));
  EXPECT_EQ(snapshot["view"]["url"], "about:blank");

  // html > body > a: the attribute as written, the address resolved, the text decoded.
  const nlohmann::json& body = snapshot["documents"][1]["root"]["children"][0]["children"][1];
  const nlohmann::json& link = body["children"][0];
  EXPECT_EQ(link["name"], "a");
  EXPECT_EQ(link["attributes"], nlohmann::json::parse(R"([["href", "x.html"]])"));
  EXPECT_EQ(link["href"], url::FileUrlFromPath(folder.Path("x.html")));
  EXPECT_EQ(link["children"][0]["data"], "\"表\" & ");
  EXPECT_EQ(link["children"][1]["src"], url::FileUrlFromPath(folder.Path("i.png")));
  // A template's content is written too; the double keeps it out of the collections.
  EXPECT_EQ(body["children"][1]["children"][0]["href"],
            url::FileUrlFromPath(folder.Path("t.html")));
}

TEST(Snapshot, DeepPagesAreWrittenWithoutRecursion) {
  CTempFolder folder;
  const int depth = 100'000;
  std::string page;
  for (int i = 0; i < depth; ++i) page += "<b>";
  const std::string snapshotPath = folder.Path("snapshot.json");
  // The parser's own work grows with the square of such nesting: give it the time.
  const Limits generous{.run = {.processorTime = std::chrono::minutes(5)}};
  ASSERT_EQ(RunCli({"--snapshot", snapshotPath, folder.Write("deep.html", page)}, generous).code,
            kExitSuccess);
  std::ifstream file(snapshotPath);
  const std::string text((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  EXPECT_EQ(std::count(text.begin(), text.end(), '['), std::count(text.begin(), text.end(), ']'));
}

TEST(Frames, NestingStopsAtSixteenLevels) {
  CTempFolder folder;
  for (int level = 0; level < 20; ++level)
    folder.Write(std::to_string(level) + ".html", Frameset({std::to_string(level + 1) + ".html"}));
  std::vector<std::string> warnings;
  CPageLoader loader(Collecting(warnings));
  loader.Load(folder.Path("0.html"));
  EXPECT_EQ(loader.FrameDocuments().size(), 17u);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_TRUE(Contains(warnings[0], "17.html")) << warnings[0];
}

TEST(BaseMapping, SiteFolderIsReadLocallyUnderHttpAddresses) {
  CTestServer server;
  server.Route("/outside.html", HttpResponse("200 OK", "text/html", Page(Link("out.html", "Out"))));
  CTempFolder folder;
  folder.Write("secret.html", Page(Link("http://www.example/secret", "Secret")));
  folder.Write("site/nav.html", Page(Link("sub/page.html", "Page")));
  folder.Write("site/sub/deep.html", Page(Link("../up.html", "Up")));
  const std::string input =
      folder.Write("site/index.html",
                   Frameset({"nav.html", "sub/deep.html", "../outside.html", "..%2Fsecret.html"}));
  const std::string base = server.Url("/site/");

  std::vector<std::string> warnings;
  CPageLoader loader(Collecting(warnings, base));
  loader.Load(input);
  EXPECT_EQ(FrameUrls(loader),
            (std::vector<std::string>{base, base + "nav.html", base + "sub/deep.html",
                                      server.Url("/outside.html")}));
  EXPECT_EQ(server.Hits("/site/nav.html"), 0);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_TRUE(Contains(warnings[0], "%2Fsecret.html")) << warnings[0];

  const RunResult result = RunCli({"--base", base, input});
  EXPECT_TRUE(Contains(result.out, base + "sub/page.html")) << result.out;
  EXPECT_TRUE(Contains(result.out, base + "up.html"));
  EXPECT_TRUE(Contains(result.out, server.Url("/out.html")));
  EXPECT_FALSE(Contains(result.out, "secret"));
}

TEST(BaseMapping, OnlyTheBaseHostIsLocal) {
  CTestServer server;
  server.Route("/outside.html", HttpResponse("200 OK", "text/html", Page("")));
  CTempFolder folder;
  folder.Write("nav.html", Page(""));
  const std::string input =
      folder.Write("index.html", Frameset({"nav.html", server.Url("/outside.html")}));
  std::vector<std::string> warnings;
  CPageLoader loader(Collecting(warnings, "http://www.site.example"));
  loader.Load(input);
  EXPECT_EQ(loader.FrameDocuments().size(), 3u);
  EXPECT_EQ(server.Hits("/outside.html"), 1);
  EXPECT_EQ(warnings, std::vector<std::string>{});
}

TEST(WebInput, FinalAddressAfterRedirectsAndTransportCharset) {
  CTestServer server;
  server.Route("/old/start.html",
               "HTTP/1.1 302 Found\r\nLocation: /new/page.html\r\n"
               "Content-Length: 0\r\nConnection: close\r\n\r\n");
  server.Route(
      "/new/page.html",
      HttpResponse("200 OK", "text/html; charset=\"Shift_JIS\"",
                   "<html><body>" + Link("next.html", "\x93\xfa\x96\x7b") + "</body></html>"));
  const RunResult result = RunCli({server.Url("/old/start.html")});
  ASSERT_EQ(result.code, kExitSuccess) << result.err;
  EXPECT_TRUE(Contains(result.out, server.Url("/new/next.html"))) << result.out;
  EXPECT_TRUE(Contains(result.out, "日本"));
}

TEST(WebInput, FetchFailuresExitOneWithoutOutput) {
  CTestServer server;
  const std::string big = Page(std::string(4000, 'x'));
  server.Route("/image.png", HttpResponse("200 OK", "image/png", "PNG"));
  server.Route("/big.html", HttpResponse("200 OK", "text/html", big));
  // Without a length the size is only known while the body arrives.
  server.Route("/streamed.html",
               "HTTP/1.1 200 OK\r\nContent-Type: text/html\r\nConnection: close\r\n\r\n" + big);
  server.Route("/loop.html",
               "HTTP/1.1 302 Found\r\nLocation: /loop.html\r\nContent-Length: 0\r\n"
               "Connection: close\r\n\r\n");
  server.Route("/slow.html", CTestServer::kHang);
  server.Route("/escape.html", HttpResponse("200 OK", "image/\x1b[2Jpng\u009b", "x"));
  const Limits limits{.fetch = {.connectTimeout = std::chrono::milliseconds(500),
                                .totalTimeout = std::chrono::milliseconds(300),
                                .maxRedirects = 3,
                                .maxBytes = 1000}};
  const std::vector<std::pair<std::string, std::string>> cases = {
      {"/missing.html", "HTTP status 404"},
      {"/image.png", "not an HTML document"},
      {"/big.html", "larger than 1000 bytes"},
      {"/streamed.html", "larger than 1000 bytes"},
      {"/loop.html", "redirect"},
      {"/slow.html", "timed out"},
      {"/escape.html", "(image/\\x1B[2jpng\\u009B)"},
  };
  for (const auto& [path, reason] : cases) {
    const auto start = std::chrono::steady_clock::now();
    const RunResult result = RunCli({server.Url(path)}, limits);
    EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::seconds(3)) << path;
    EXPECT_EQ(result.code, kExitFailure) << path;
    EXPECT_EQ(result.out, "") << path;
    EXPECT_TRUE(Contains(result.err, reason)) << path << ": " << result.err;
    EXPECT_FALSE(Contains(result.err, "\x1b")) << path;
  }
}

TEST(WebInput, FramesOfAWebPage) {
  CTempFolder folder;
  const std::string local = folder.Write("local.html", Page(Link("http://www.example/local", "L")));
  CTestServer server;
  server.Route("/top.html",
               HttpResponse("200 OK", "text/html",
                            Frameset({"a.html", "old.html", "file://" + local, "gone.html"})));
  server.Route("/a.html", HttpResponse("200 OK", "text/html", Page(Link("next.html", "Next"))));
  server.Route("/old.html", "HTTP/1.1 301 Moved\r\nLocation: /a.html\r\nContent-Length: 0\r\n\r\n");
  std::vector<std::string> warnings;
  CPageLoader loader(Collecting(warnings));
  loader.Load(server.Url("/top.html"));
  // A frame redirected to a document already loaded is that document.
  EXPECT_EQ(FrameUrls(loader),
            (std::vector<std::string>{server.Url("/top.html"), server.Url("/a.html")}));
  ASSERT_EQ(warnings.size(), 2u);
  EXPECT_TRUE(Contains(warnings[0], "a web page cannot frame a local file")) << warnings[0];
  EXPECT_TRUE(Contains(warnings[1], "gone.html left out: HTTP status 404")) << warnings[1];

  // The deadline bounds the whole run: frames that miss it are left out, together, and a page
  // that misses it fails.
  server.Route(
      "/stalled.html",
      HttpResponse("200 OK", "text/html",
                   Page("<iframe src=hang1.html></iframe><iframe src=hang2.html></iframe>" +
                        Link("http://www.example/kept", "K"))));
  for (const char* path : {"/hang1.html", "/hang2.html", "/hang.html"})
    server.Route(path, CTestServer::kHang);
  const auto start = std::chrono::steady_clock::now();
  const RunResult framed = RunCli({"--timeout", "1", server.Url("/stalled.html")});
  EXPECT_LT(std::chrono::steady_clock::now() - start, std::chrono::milliseconds(1900));
  EXPECT_EQ(framed.code, kExitSuccess) << framed.err;
  EXPECT_TRUE(Contains(framed.out, "http://www.example/kept"));
  EXPECT_EQ(Count(framed.err, "left out"), 2u) << framed.err;
  const RunResult stalled = RunCli({"--timeout", "1", server.Url("/hang.html")});
  EXPECT_EQ(stalled.code, kExitFailure);
  EXPECT_TRUE(Contains(stalled.err, "timed out")) << stalled.err;
}

// The rows of a list in one form, to compare the forms with each other.
struct ListedRow {
  std::string href, text, document;
  bool operator==(const ListedRow&) const = default;
};

std::vector<std::string> Split(const std::string& line, char separator) {
  std::vector<std::string> fields(1);
  for (const char c : line) {
    if (c == separator)
      fields.emplace_back();
    else
      fields.back().push_back(c);
  }
  return fields;
}

std::vector<ListedRow> TsvRows(const std::string& tsv) {
  std::vector<std::string> lines = Lines(tsv);
  EXPECT_FALSE(lines.empty());
  if (lines.empty()) return {};
  EXPECT_EQ(lines[0], "href\ttext\tdocument");
  std::vector<ListedRow> rows;
  for (std::size_t i = 1; i < lines.size(); ++i) {
    const std::vector<std::string> fields = Split(lines[i], '\t');
    EXPECT_EQ(fields.size(), 3u) << lines[i];
    if (fields.size() == 3) rows.push_back({fields[0], fields[1], fields[2]});
  }
  return rows;
}

// The rows of a CSV list as Python's csv module reads them, strictly (a stray quote fails); every
// line must end in CRLF, as no field here holds a line break.
std::vector<ListedRow> CsvRows(const std::string& csv) {
  std::size_t crlf = 0;
  for (std::size_t at = 0; (at = csv.find("\r\n", at)) != std::string::npos; at += 2) ++crlf;
  EXPECT_EQ(crlf, static_cast<std::size_t>(std::count(csv.begin(), csv.end(), '\n')));
  CTempFolder folder;
  const std::string command =
      "python3 -c 'import csv, json, sys; print(json.dumps(list(csv.reader("
      "open(sys.argv[1], newline=\"\", encoding=\"utf-8\"), strict=True))))' " +
      folder.Write("list.csv", csv);
  FILE* pipe = popen(command.c_str(), "r");
  EXPECT_NE(pipe, nullptr);
  if (!pipe) return {};
  std::string text;
  char buffer[4096];
  for (std::size_t got; (got = fread(buffer, 1, sizeof buffer, pipe)) > 0;)
    text.append(buffer, got);
  EXPECT_EQ(pclose(pipe), 0) << csv;
  const nlohmann::json records = nlohmann::json::parse(text);
  EXPECT_FALSE(records.empty());
  if (records.empty()) return {};
  EXPECT_EQ(records[0], nlohmann::json({"href", "text", "document"}));
  std::vector<ListedRow> rows;
  for (std::size_t i = 1; i < records.size(); ++i) {
    EXPECT_EQ(records[i].size(), 3u) << records[i].dump();
    if (records[i].size() == 3) rows.push_back({records[i][0], records[i][1], records[i][2]});
  }
  return rows;
}

std::vector<ListedRow> JsonRows(const std::string& text) {
  std::vector<ListedRow> rows;
  const nlohmann::json array = nlohmann::json::parse(text);  // throws on invalid JSON
  EXPECT_TRUE(array.is_array());
  for (const nlohmann::json& row : array) {
    EXPECT_EQ(row.size(), 3u) << row.dump();
    rows.push_back({row.at("href"), row.at("text"), row.at("document")});
  }
  return rows;
}

// The HREF values of the HTML list's rows, unescaped.
std::vector<std::string> HtmlHrefs(const std::string& html) {
  std::vector<std::string> hrefs;
  for (std::size_t at = 0; (at = html.find("<A HREF=\"", at)) != std::string::npos;) {
    at += 9;
    std::string href = html.substr(at, html.find('"', at) - at);
    for (const auto& [entity, character] :
         {std::pair<std::string, std::string>{"&quot;", "\""}, {"&amp;", "&"}}) {
      for (std::size_t found; (found = href.find(entity)) != std::string::npos;)
        href.replace(found, entity.size(), character);
    }
    hrefs.push_back(href);
  }
  return hrefs;
}

std::string FramesetSite(const CTempFolder& folder) {
  folder.Write("a.html", Page(Link("http://www.site.example/one", "One") +
                              Link("http://other.example/two", "Two &amp; <b>bold</b>") +
                              Link("one", "One again") + Link("mailto:x@site.example", "Mail")));
  folder.Write("b.html", Page(Link("http://www.site.example/one", "Once more") +
                              Link("http://www.site.example/three", "Three")));
  return folder.Write("top.html", Frameset({"a.html", "b.html"}));
}

// Every form lists the rows of the bar's list, in its order, with each option combination, on
// the sample site and on a frameset; --unique keeps each address's first row.
TEST(ListFormats, EveryFormatListsTheRowsOfTheHtmlList) {
  CTempFolder folder;
  const std::vector<std::pair<std::string, std::string>> sites = {
      {std::string(TAVRIN_TEST_DATA) + "/../../sample/index.html", "http://www.sample.example/"},
      {FramesetSite(folder), "http://www.site.example/"},
  };
  for (const auto& [input, base] : sites) {
    for (const std::vector<std::string>& flags : std::vector<std::vector<std::string>>{
             {}, {"--unique"}, {"--domain-only"}, {"--unique", "--domain-only"}}) {
      SCOPED_TRACE(input + " " + ::testing::PrintToString(flags));
      auto run = [&](const std::string& format) {
        std::vector<std::string> args = flags;
        args.insert(args.end(), {"--format", format, "--base", base, input});
        const RunResult result = RunCli(args);
        EXPECT_EQ(result.code, kExitSuccess) << result.err;
        return result.out;
      };
      auto has = [&flags](const char* flag) {
        return std::find(flags.begin(), flags.end(), flag) != flags.end();
      };
      const bool bUnique = has("--unique");
      const bool bDomainOnly = has("--domain-only");

      std::vector<std::string> allFlags = {"--base", base, input};
      if (bDomainOnly) allFlags.insert(allFlags.begin(), "--domain-only");
      const std::string fullHtml = RunCli(allFlags).out;
      std::vector<std::string> expected;
      for (const std::string& href : HtmlHrefs(fullHtml)) {
        if (!bUnique || std::find(expected.begin(), expected.end(), href) == expected.end())
          expected.push_back(href);
      }
      ASSERT_FALSE(expected.empty());

      const std::string html = run("html");
      if (!bUnique) {
        EXPECT_EQ(html, fullHtml);
      }
      EXPECT_EQ(HtmlHrefs(html), expected);
      EXPECT_EQ(Lines(run("text")), expected);
      const std::vector<ListedRow> tsv = TsvRows(run("tsv"));
      EXPECT_EQ(JsonRows(run("json")), tsv);
      EXPECT_EQ(CsvRows(run("csv")), tsv);
      std::vector<std::string> tsvHrefs;
      for (const ListedRow& row : tsv) {
        tsvHrefs.push_back(row.href);
        if (bDomainOnly) {
          EXPECT_EQ(url::HttpHost(row.href), url::HttpHost(row.document));
        }
      }
      EXPECT_EQ(tsvHrefs, expected);
    }
  }
}

TEST(ListFormats, FramesetRowsNameTheirDocuments) {
  CTempFolder folder;
  const std::string input = FramesetSite(folder);
  const std::string a = "http://www.site.example/a.html", b = "http://www.site.example/b.html";
  // The recorded frame documents are walked, then the top document walks its frames again.
  const std::vector<ListedRow> once = {
      {"http://www.site.example/one", "One", a},
      {"http://other.example/two", "Two & bold", a},
      {"http://www.site.example/three", "Three", b},
  };
  EXPECT_EQ(
      TsvRows(
          RunCli({"--format", "tsv", "--unique", "--base", "http://www.site.example/", input}).out),
      once);
  EXPECT_EQ(RunCli({"--format=text", "--unique", "--domain-only", "--base",
                    "http://www.site.example/", input})
                .out,
            "http://www.site.example/one\nhttp://www.site.example/three\n");
  EXPECT_EQ(JsonRows(RunCli({"--format", "json", "--base", "http://www.site.example/", input}).out)
                .size(),
            10u);
}

// Link texts keep every character but the white space the list collapses; no tab or line feed
// ever splits a TSV row, and the JSON and the CSV read back to the same texts.
TEST(ListFormats, LinkTextsSurviveTsvJsonAndCsv) {
  CTempFolder folder;
  // JSON escapes what TSV must drop: control characters, which a terminal would obey.
  struct Text {
    std::string markup, text, json = text;
  };
  const std::vector<Text> texts = {
      {"esc&#x1b;[31mred&#7;&#x7f;", "esc[31mred", "esc\x1b[31mred\x07\x7f"},
      {"tab&#9;inside", "tab inside"},
      {"line\nfeed\r\nand  spaces ", "line feed and spaces"},
      {"\"double\" and 'single' quotes", "\"double\" and 'single' quotes"},
      {"comma, \"quoted, too\"", "comma, \"quoted, too\""},
      {"日本語 é &lt;tag&gt; \\ back", "日本語 é <tag> \\ back"},
      {"<img src=\"i.png\" alt=\"pic\">", ""},
      {"line\u2028separator / slash", "line\u2028separator / slash"},
  };
  std::string body;
  for (std::size_t i = 0; i < texts.size(); ++i)
    body += Link("http://www.example/" + std::to_string(i), texts[i].markup);
  const std::string input = folder.Write("texts.html", Page(body));

  const std::string tsv = RunCli({"--format", "tsv", input}).out;
  EXPECT_EQ(std::count(tsv.begin(), tsv.end(), '\n'), static_cast<long>(texts.size() + 1));
  const std::vector<ListedRow> rows = TsvRows(tsv);
  const std::vector<ListedRow> json = JsonRows(RunCli({"--format", "json", input}).out);
  EXPECT_EQ(CsvRows(RunCli({"--format", "csv", input}).out), json);
  ASSERT_EQ(rows.size(), texts.size());
  ASSERT_EQ(json.size(), texts.size());
  for (std::size_t i = 0; i < texts.size(); ++i) {
    EXPECT_EQ(rows[i].text, texts[i].text) << i;
    EXPECT_EQ(json[i].text, texts[i].json) << i;
    EXPECT_EQ(json[i].document, url::FileUrlFromPath(input));
  }
}

TEST(ListFormats, EmptyListsAreStillWellFormed) {
  CTempFolder folder;
  const std::string input = folder.Write("none.html", Page("no links"));
  EXPECT_EQ(RunCli({"--format", "text", input}).out, "");
  EXPECT_EQ(RunCli({"--format", "tsv", input}).out, "href\ttext\tdocument\n");
  EXPECT_EQ(RunCli({"--format", "json", input}).out, "[]\n");
  EXPECT_EQ(RunCli({"--format", "csv", input}).out, "href,text,document\r\n");
  EXPECT_EQ(RunCli({"--unique", input}).out, "<TABLE WIDTH=\"100%\"></TABLE>\n");
}

// A list of several mebibytes is written whole, in order, to the standard output and to -o.
TEST(ListFormats, LargeListsAreWrittenWhole) {
  CTempFolder folder;
  const int count = 6000;
  std::string body;
  std::string expectedText;
  for (int i = 0; i < count; ++i) {
    const std::string href = "http://www.example/" + std::to_string(i);
    body += Link(href, std::string(300, 'a' + i % 26));
    expectedText += href + '\n';
  }
  const std::string input = folder.Write("large.html", Page(body));
  EXPECT_EQ(RunCli({"--format", "text", input}).out, expectedText);

  const std::string html = RunCli({input}).out;
  EXPECT_GT(html.size(), std::size_t{2} << 20);
  EXPECT_EQ(HtmlHrefs(html).size(), static_cast<std::size_t>(count));
  EXPECT_TRUE(html.ends_with("</TABLE>\n"));
  const std::string output = folder.Path("large-list.html");
  ASSERT_EQ(RunCli({"-o", output, input}).code, kExitSuccess);
  std::ifstream written(output);
  EXPECT_EQ(std::string(std::istreambuf_iterator<char>(written), {}), html);
}

TEST(Options, VersionAndFormatUsage) {
  const RunResult version = RunCli({"--version"});
  EXPECT_EQ(version.code, kExitSuccess);
  EXPECT_TRUE(version.out.starts_with("tavrin-anchors 1.")) << version.out;
  EXPECT_EQ(std::count(version.out.begin(), version.out.end(), '\n'), 1);
  for (const std::vector<std::string>& args :
       std::vector<std::vector<std::string>>{{"--format", "xml", "a.html"},
                                             {"--format", "a.html"},
                                             {"--view", "--format", "json", "a.html"},
                                             {"--view", "--unique", "a.html"}}) {
    const RunResult result = RunCli(args);
    EXPECT_EQ(result.code, kExitUsage) << ::testing::PrintToString(args);
    EXPECT_EQ(result.out, "");
  }
  EXPECT_EQ(ParseOptions({"--format", "tsv", "--unique", "a.html"}).format, ListFormat::Tsv);
  EXPECT_TRUE(Contains(RunCli({"--help"}).out, "--format FORMAT"));
}

TEST(OutputFile, EachKindOfPathIsWrittenAsItAsks) {
  CTempFolder folder;
  const std::string input = folder.Write("page.html", Page(Link("http://www.example/", "E")));
  const std::string list = RunCli({input}).out;

  // A link stays a link; its target gets the list, also when it does not exist yet.
  folder.Write("real/target.html", "old");
  fs::create_symlink("real/target.html", folder.Path("link.html"));
  fs::create_symlink("real/new.html", folder.Path("dangling.html"));
  for (const char* name : {"link.html", "dangling.html"}) {
    ASSERT_EQ(RunCli({"-o", folder.Path(name), input}).code, kExitSuccess) << name;
    EXPECT_TRUE(fs::is_symlink(fs::symlink_status(folder.Path(name)))) << name;
    EXPECT_EQ(ReadFile(folder.Path(name)), list) << name;
  }
  EXPECT_EQ(ReadFile(folder.Path("real/target.html")), list);

  // A pipe is written into and stays a pipe.
  const std::string fifo = folder.Path("fifo");
  ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
  // A second name for the pipe lets the test release its reader should the pipe be replaced.
  const std::string held = folder.Path("fifo-held");
  fs::create_hard_link(fifo, held);
  std::string piped;
  std::thread reader([&] { piped = ReadFile(fifo); });
  EXPECT_EQ(RunCli({"-o", fifo, input}).code, kExitSuccess);
  if (const int release = open(held.c_str(), O_WRONLY | O_NONBLOCK); release >= 0) close(release);
  reader.join();
  EXPECT_EQ(piped, list);
  EXPECT_TRUE(fs::is_fifo(fifo));

  // "-" is the standard output.
  const RunResult dash = RunCli({"-o", "-", input});
  EXPECT_EQ(dash.out, list);
  EXPECT_FALSE(fs::exists("-"));

  // A replaced file keeps its mode, and its owner and group where the user could give them.
  const std::string owned = folder.Write("owned.html", "old");
  fs::permissions(owned, fs::perms::owner_read | fs::perms::owner_write | fs::perms::group_read);
  const bool root = geteuid() == 0;
  if (root) {
    ASSERT_EQ(chown(owned.c_str(), 65534, 65534), 0);
  }
  ASSERT_EQ(RunCli({"-o", owned, input}).code, kExitSuccess);
  struct stat status {};
  ASSERT_EQ(stat(owned.c_str(), &status), 0);
  EXPECT_EQ(status.st_mode & 07777, 0640u);
  if (root) {
    EXPECT_EQ(status.st_uid, 65534u);
  }
  EXPECT_EQ(ReadFile(owned), list);

  // A folder is refused and left as it is, and so is the snapshot of the run.
  fs::create_directory(folder.Path("folder"));
  const std::string snapshot = folder.Write("snapshot.json", "earlier snapshot");
  const RunResult refused = RunCli({"-o", folder.Path("folder"), "--snapshot", snapshot, input});
  EXPECT_EQ(refused.code, kExitFailure);
  EXPECT_TRUE(Contains(refused.err, "is a folder")) << refused.err;
  EXPECT_TRUE(fs::is_empty(folder.Path("folder")));
  EXPECT_EQ(ReadFile(snapshot), "earlier snapshot");
}

// Pages made to cost far more than their size: each is listed in time and memory that follow
// its size, or refused with a message saying which bound it met, and -o is never half written.
TEST(BoundedWork, HostilePagesAreListedOrRefusedWhole) {
  CTempFolder folder;
  std::string links;
  for (int i = 0; i < 2000; ++i) links += Link("http://e.com/" + std::to_string(i), "x");

  std::string selfFraming;
  for (int i = 0; i < 300; ++i)
    selfFraming += "<iframe src=\"self.html?" + std::to_string(i) + "\"></iframe>";
  folder.Write("self.html", Page(selfFraming + links));

  std::string manyFrames;
  for (int i = 0; i < 300; ++i) {
    const std::string name = "frame" + std::to_string(i) + ".html";
    folder.Write(name, Page("frame"));
    manyFrames += "<iframe src=\"" + name + "\"></iframe>";
  }
  folder.Write("many-frames.html", Page(manyFrames));
  // Missing frames are no documents read: 300 of them are left out, and the page listed.
  std::string missingFrames;
  for (int i = 0; i < 300; ++i)
    missingFrames += "<iframe src=\"missing" + std::to_string(i) + ".html\"></iframe>";
  folder.Write("missing-frames.html", Page(missingFrames + links));

  std::string longBase = "<base href=\"http://e.com/" + std::string(100'000, 'a') + "/\">";
  for (int i = 0; i < 1000; ++i) longBase += "<a href=\"" + std::to_string(i) + "\">x</a>";
  folder.Write("long-base.html", Page(longBase));

  std::string reopened;
  for (int i = 0; i < 1400; ++i) reopened += "<b id=" + std::to_string(i) + "><p>x";
  folder.Write("reopened.html", reopened);

  std::string deep;
  for (int i = 0; i < 20'000; ++i) deep += "<b>";
  folder.Write("deep.html", deep + links);
  // Text after deep nesting: the parser spends time on every character and allocates nothing.
  folder.Write("deep-text.html", deep + std::string(300'000, 'x'));

  struct Case {
    std::string page;
    std::string refusal;  // empty: listed
    Limits limits;
    std::vector<std::string> options;
  };
  // Each resolved address written back under the long base is another 100 kB.
  const Limits smallParser{.run = {.parserBytes = std::size_t{32} << 20}};
  const std::vector<Case> cases = {
      {"self.html", "", {}, {"--snapshot", folder.Path("snapshot.json")}},
      {"many-frames.html", "more than 256 documents", {}},
      {"missing-frames.html", "", {}},
      {"long-base.html", "the list would be larger than", {}},
      {"long-base.html",
       "of memory, more than a page of its size may",
       smallParser,
       {"--domain-only"}},
      {"long-base.html",
       "the snapshot would be larger than",
       {},
       {"--snapshot", folder.Path("snapshot.json")}},
      {"reopened.html",
       "of memory, more than a page of its size may",
       {},
       {"--snapshot", folder.Path("snapshot.json")}},
      {"deep.html",
       "ms of processor time",
       {.run = {.processorTime = std::chrono::milliseconds(0), .processorTimePerByteRead = {}}}},
      {"deep-text.html",
       "ms of processor time",
       {.run = {.processorTime = std::chrono::milliseconds(300), .processorTimePerByteRead = {}}}},
  };
  for (const Case& test : cases) {
    SCOPED_TRACE(test.page + " " + ::testing::PrintToString(test.options));
    const std::string output = folder.Write("list.html", "earlier list");
    const std::string snapshot = folder.Write("snapshot.json", "earlier snapshot");
    std::vector<std::string> args = {"-o", output, folder.Path(test.page)};
    args.insert(args.end(), test.options.begin(), test.options.end());
    const RunResult result = RunCli(args, test.limits);
    if (test.refusal.empty()) {
      ASSERT_EQ(result.code, kExitSuccess) << result.err;
      // One document, its links once: the frames name the page itself.
      EXPECT_EQ(Count(ReadFile(output), "<TR>"), 2000u);
      if (!test.options.empty()) {
        EXPECT_TRUE(ReadFile(snapshot).starts_with("{\"top\":0"));
      }
      continue;
    }
    EXPECT_EQ(result.code, kExitFailure);
    EXPECT_TRUE(Contains(result.err, test.refusal)) << result.err;
    EXPECT_EQ(ReadFile(output), "earlier list");
    EXPECT_EQ(ReadFile(snapshot), "earlier snapshot");
  }
}

TEST(Frames, LocalAddressesOfOneFileAreOneDocument) {
  CTempFolder folder;
  folder.Write("top.html", Frameset({"a.html?1", "a.html?2#x", "./a.html", "top.html?again"}));
  folder.Write("a.html", Page(Link("http://www.example/a", "A")));
  std::vector<std::string> warnings;
  CPageLoader loader(Collecting(warnings));
  loader.Load(folder.Path("top.html"));
  EXPECT_EQ(FrameUrls(loader),
            (std::vector<std::string>{url::FileUrlFromPath(folder.Path("top.html")),
                                      url::FileUrlFromPath(folder.Path("a.html")) + "?1"}));
  EXPECT_TRUE(warnings.empty());
}

// A frame refused at one place (here: too deep) is loaded where it is allowed, and each
// warning gives the reason of its own refusal.
TEST(Frames, ARefusalIsNotRemembered) {
  CTempFolder folder;
  folder.Write("top.html", Frameset({"0.html", "x.html"}));
  for (int level = 0; level < 16; ++level)
    folder.Write(std::to_string(level) + ".html",
                 Frameset({level == 15 ? "x.html" : std::to_string(level + 1) + ".html"}));
  folder.Write("x.html", Page(Link("http://www.example/x", "X")));
  std::vector<std::string> warnings;
  CPageLoader loader(Collecting(warnings));
  loader.Load(folder.Path("top.html"));
  const std::vector<std::string> urls = FrameUrls(loader);
  EXPECT_EQ(urls.back(), url::FileUrlFromPath(folder.Path("x.html")));
  EXPECT_EQ(urls.size(), 18u);
  ASSERT_EQ(warnings.size(), 1u);
  EXPECT_TRUE(Contains(warnings[0], "x.html left out: nested deeper")) << warnings[0];
}

TEST(LocalInput, OnlyFilesThatAreNotTextAreRefused) {
  CTempFolder folder;
  const std::vector<std::pair<std::string, std::string>> binary = {
      {"program", std::string("\x7F"
                              "ELF\x02\x01\x01",
                              7) +
                      "<html><a href=http://e.com/>x</a>"},
      {"picture.png", std::string("\x89PNG\r\n\x1A\n", 8) + "<a href=http://e.com/>x</a>"},
      {"nul.html", std::string("<html>\0\0\0<a href=http://e.com/>x</a>", 35)},
  };
  for (const auto& [name, content] : binary) {
    const RunResult result = RunCli({folder.Write(name, content)});
    EXPECT_EQ(result.code, kExitFailure) << name;
    EXPECT_TRUE(Contains(result.err, "not a text file")) << name << ": " << result.err;
    EXPECT_EQ(result.out, "") << name;
  }
  // Any other bytes are read as a browser reads a page that declares nothing.
  auto Utf16Le = [](std::string_view ascii) {
    std::string wide = "\xFF\xFE";
    for (char c : ascii) wide += {c, '\0'};
    return wide;
  };
  const std::string link = "<a href=http://e.com/>";
  const struct {
    std::string name, content, text;
  } text[] = {
      {"utf16.html", Utf16Le(link) + std::string("\xE5\x65", 2), "日"},
      {"sjis.html", link + "\x93\xFA\x96\x7B\x8C\xEA</a>", "日本語"},
      {"eucjp.html", "<meta charset=euc-jp>" + link + "\xC6\xFC\xCB\xDC</a>", "日本"},
      {"latin1.html", "<meta charset=windows-1252>" + link + "caf\xE9 \xFE\xFF\xFD</a>",
       "café þÿý"},
      {"undeclared-1252.html", link + "caf\xE9 cr\xE8me \x80 5</a>", "café crème € 5"},
      {"stray-latin1.html", link + "日本 caf\xE9 </a>", "café"},
      {"noise.html", link + std::string(4096, '\xFD') + "</a>", "ýýý"},
      {"long-utf8.html", std::string(1023, ' ') + "日本" + link + "x</a>", "\tx\t"},
  };
  for (const auto& [name, content, shown] : text) {
    const RunResult result = RunCli({"--format", "tsv", folder.Write(name, content)});
    EXPECT_EQ(result.code, kExitSuccess) << name << ": " << result.err;
    EXPECT_TRUE(Contains(result.out, shown)) << name << ": " << result.out;
  }
  // The user's choice still wins.
  EXPECT_TRUE(Contains(
      RunCli({"--format", "tsv", "--encoding", "koi8-r", folder.Path("undeclared-1252.html")}).out,
      "cafИ"));

  // A frame that is not text is left out like one that is missing.
  folder.Write("top.html", Frameset({"program", "sjis.html"}));
  const RunResult framed = RunCli({folder.Path("top.html")});
  EXPECT_EQ(framed.code, kExitSuccess);
  EXPECT_TRUE(Contains(framed.err, "program left out: not a text file")) << framed.err;
}

TEST(Verbose, ReportsEachLoadedDocumentAndEachFrameLeftOut) {
  CTempFolder folder;
  folder.Write("top.html", Frameset({"a.html", "a.html?again", "missing.html"}));
  folder.Write("a.html", "<meta charset=shift_jis>" + Link("http://www.example/a", "A"));
  const RunResult quiet = RunCli({folder.Path("top.html")});
  const RunResult verbose = RunCli({"--verbose", folder.Path("top.html")});
  EXPECT_EQ(verbose.out, quiet.out);
  const std::string top = url::FileUrlFromPath(folder.Path("top.html"));
  const std::string a = url::FileUrlFromPath(folder.Path("a.html"));
  for (const std::string& line : std::vector<std::string>{
           "loaded " + top + " (" + std::to_string(fs::file_size(folder.Path("top.html"))) +
               " bytes, UTF-8, frame depth 0)",
           "loaded " + a + " (" + std::to_string(fs::file_size(folder.Path("a.html"))) +
               " bytes, Shift_JIS, frame depth 1)",
           "frame " + a + "?again is " + a, "missing.html left out: ", "HTMLを解析しています。"}) {
    EXPECT_TRUE(Contains(verbose.err, line)) << line << "\n" << verbose.err;
  }
  EXPECT_FALSE(Contains(quiet.err, "loaded ")) << quiet.err;
}

TEST(Program, ProcessExitCodeAndStreams) {
  const std::string command = std::string(TAVRIN_ANCHORS_EXE) + " --no-such-option 2>/dev/null";
  FILE* pipe = popen(command.c_str(), "r");
  ASSERT_NE(pipe, nullptr);
  char buffer[64];
  EXPECT_EQ(fread(buffer, 1, sizeof buffer, pipe), 0u);
  const int status = pclose(pipe);
  ASSERT_TRUE(WIFEXITED(status));
  EXPECT_EQ(WEXITSTATUS(status), kExitUsage);
}

}  // namespace
}  // namespace tavrin::cli
