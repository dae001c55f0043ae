#include "cli/options.h"

#include <getopt.h>
#include <strings.h>

#include <charconv>
#include <optional>
#include <utility>

#include "browserview/portable/browser_url.h"
#include "browserview/portable/text_encoding.h"
#include "cli/output_file.h"

namespace tavrin::cli {
namespace {

constexpr std::string_view kHelpText =
    R"(Usage: tavrin-anchors [OPTION]... INPUT

Lists the links of an HTML page and of its frames, as the Tavrin bar shows them.
INPUT is a local HTML file or an http/https address.

      --domain-only     list only the links to the host of the document that
                        holds them
      --format FORMAT   print the list as FORMAT:
                          html  the bar's list, one table per document (the
                                default)
                          text  one absolute address a line
                          tsv   a header line, then address, link text and the
                                address of the document it came from, separated
                                by tabs
                          csv   the same rows as tsv, as RFC 4180 CSV (quoted
                                where needed, CRLF line ends)
                          json  an array of {"href", "text", "document"} objects
      --unique          list each address once, where it first appears
      --view            print the whole list page (UTF-8 HTML) instead of the
                        list
      --base URL        the http/https address that a local INPUT stands for;
                        addresses under the folder of URL are read from the
                        folder of INPUT
      --encoding LABEL  decode every document as LABEL (for example shift_jis)
      --verbose         report status texts and loaded documents on standard
                        error
      --timeout SECONDS load for at most SECONDS in all (default 60): a frame
                        not loaded by then is left out, a page not loaded fails
  -o, --output FILE     write to FILE, which a failing run leaves as it was (a
                        link keeps pointing to it; a terminal, device or pipe is
                        written into). A replaced file keeps its owner, group
                        and mode; a file the user may not write is refused.
                        "-" is the standard output.
      --snapshot FILE   also write the loaded documents, as they were before
                        the run, to FILE as JSON (for the Windows tests'
                        browser double); written as -o is, only when the run
                        succeeds, and not to the file of -o
  -h, --help            print this help and exit
      --version         print the version and exit

Frames are loaded up to 16 levels deep; local addresses that name one file are
one document. A frame that cannot be loaded, or a local file that is not text,
is left out with a warning. A run reads at most 256 documents and 512 MiB in
all, and its list and the parser's memory and time are bounded by what it read:
a page built to cost more fails with a message saying which bound it met. Web
addresses are fetched with a 10 s connect timeout, 30 s in all, at most 10
redirects and at most 64 MiB; local files are read up to 512 MiB.

Examples:
  tavrin-anchors --base http://www.example.com/ index.html > list.html
  tavrin-anchors --format text https://www.example.com/
  tavrin-anchors --format tsv --unique -o links.tsv https://www.example.com/
  tavrin-anchors --format csv -o links.csv https://www.example.com/
  tavrin-anchors --format json --domain-only https://www.example.com/

Exit status: 0 on success, 1 when INPUT cannot be read or fetched, the run goes
over a bound or the output cannot be written, 2 for a usage error.
)";

// Long options get values outside the character range, so that optopt tells a rejected long
// option (written with "--") from a short one.
enum : int {
  kDomainOnly = 256,
  kView,
  kBase,
  kEncoding,
  kVerbose,
  kOutput,
  kSnapshot,
  kHelp,
  kFormat,
  kUnique,
  kVersion,
  kTimeout,
};

constexpr std::pair<std::string_view, ListFormat> kFormatNames[] = {
    {"html", ListFormat::Html},
    {"text", ListFormat::Text},
    {"tsv", ListFormat::Tsv},
    {"csv", ListFormat::Csv},
    {"json", ListFormat::Json},
};

const option kLongOptions[] = {
    {"domain-only", no_argument, nullptr, kDomainOnly},
    {"view", no_argument, nullptr, kView},
    {"base", required_argument, nullptr, kBase},
    {"encoding", required_argument, nullptr, kEncoding},
    {"verbose", no_argument, nullptr, kVerbose},
    {"output", required_argument, nullptr, kOutput},
    {"snapshot", required_argument, nullptr, kSnapshot},
    {"help", no_argument, nullptr, kHelp},
    {"format", required_argument, nullptr, kFormat},
    {"unique", no_argument, nullptr, kUnique},
    {"version", no_argument, nullptr, kVersion},
    {"timeout", required_argument, nullptr, kTimeout},
    {nullptr, 0, nullptr, 0},
};

bool IsLongOption(int opt) {
  return opt == 0 || opt >= kDomainOnly;
}

// The option getopt just rejected, as the user wrote it.
std::string RejectedOption(char** argv) {
  if (!IsLongOption(optopt)) return std::string("-") + static_cast<char>(optopt);
  std::string written = argv[optind - 1];
  return written.substr(0, written.find('='));
}

std::string NormalizeBase(const std::string& base) {
  std::optional<std::string> normalized = url::NormalizeUrl(base);
  if (!normalized || !url::HttpHost(*normalized))
    throw CUsageError("--base needs an absolute http or https address, not '" + base + "'");
  return *normalized;
}

ListFormat ParseFormat(std::string_view name) {
  for (const auto& [formatName, format] : kFormatNames) {
    if (name == formatName) return format;
  }
  throw CUsageError("unknown format '" + std::string(name) + "' (html, text, tsv, csv or json)");
}

std::chrono::seconds ParseTimeout(std::string_view text) {
  int seconds = 0;
  const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), seconds);
  if (error != std::errc() || end != text.data() + text.size() || seconds <= 0)
    throw CUsageError("--timeout needs a whole number of seconds above 0, not '" +
                      std::string(text) + "'");
  return std::chrono::seconds(seconds);
}

}  // namespace

std::string_view HelpText() {
  return kHelpText;
}

std::string_view VersionText() {
  return "tavrin-anchors " TAVRIN_VERSION "\n";
}

bool IsWebAddress(std::string_view input) {
  auto startsWith = [input](std::string_view prefix) {
    return input.size() >= prefix.size() &&
           strncasecmp(input.data(), prefix.data(), prefix.size()) == 0;
  };
  return startsWith("http://") || startsWith("https://");
}

Options ParseOptions(const std::vector<std::string>& args) {
  // getopt permutes and wants writable strings, so it gets copies.
  std::vector<std::string> storage;
  storage.reserve(args.size() + 1);
  storage.push_back("tavrin-anchors");
  storage.insert(storage.end(), args.begin(), args.end());
  std::vector<char*> argv;
  for (std::string& arg : storage) argv.push_back(arg.data());
  argv.push_back(nullptr);
  const int argc = static_cast<int>(storage.size());

  Options options;
  opterr = 0;
  optind = 0;  // glibc: start afresh, also after an earlier parse
  for (;;) {
    const int opt = getopt_long(argc, argv.data(), ":o:h", kLongOptions, nullptr);
    if (opt == -1) break;
    switch (opt) {
      case kDomainOnly:
        options.domainOnly = true;
        break;
      case kView:
        options.view = true;
        break;
      case kBase:
        options.base = NormalizeBase(optarg);
        break;
      case kEncoding:
        if (!text::EncodingForLabel(optarg))
          throw CUsageError(std::string("unknown encoding '") + optarg + "'");
        options.encoding = optarg;
        break;
      case kVerbose:
        options.verbose = true;
        break;
      case 'o':
      case kOutput:
        if (*optarg == '\0') throw CUsageError("-o needs a file name");
        // "-" is the standard output, as for most programs.
        options.outputPath = std::string_view(optarg) == "-" ? "" : optarg;
        break;
      case kSnapshot:
        if (*optarg == '\0' || std::string_view(optarg) == "-")
          throw CUsageError("--snapshot needs a file name");
        options.snapshotPath = optarg;
        break;
      case 'h':
      case kHelp:
        options.help = true;
        break;
      case kFormat:
        options.format = ParseFormat(optarg);
        break;
      case kUnique:
        options.unique = true;
        break;
      case kVersion:
        options.version = true;
        break;
      case kTimeout:
        options.timeout = ParseTimeout(optarg);
        break;
      case ':':
        throw CUsageError("option '" + RejectedOption(argv.data()) + "' needs a value");
      default:
        if (optopt >= kDomainOnly)
          throw CUsageError("option '" + RejectedOption(argv.data()) + "' takes no value");
        throw CUsageError("unknown option '" + RejectedOption(argv.data()) +
                          "' (see tavrin-anchors --help)");
    }
  }
  if (options.help || options.version) return options;

  const int operands = argc - optind;
  if (operands == 0) throw CUsageError("no INPUT given (see tavrin-anchors --help)");
  if (operands > 1)
    throw CUsageError("more than one INPUT given: '" + std::string(argv[optind + 1]) + "'");
  options.input = argv[optind];
  if (options.input.empty()) throw CUsageError("INPUT is empty");
  if (!options.base.empty() && IsWebAddress(options.input))
    throw CUsageError("--base applies to a local INPUT only, not to a web address");
  if (!options.outputPath.empty() && !options.snapshotPath.empty() &&
      SameOutputFile(options.outputPath, options.snapshotPath))
    throw CUsageError("-o and --snapshot name one file: '" + options.snapshotPath + "'");
  if (options.view && (options.unique || options.format != ListFormat::Html))
    throw CUsageError("--format and --unique apply to the list, not to --view");
  return options;
}

}  // namespace tavrin::cli
