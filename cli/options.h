// The command line of tavrin-anchors.
#pragma once

#include <chrono>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace tavrin::cli {

// The forms of the list: the bar's HTML, addresses alone, tab-separated rows, RFC 4180 rows, a
// JSON array.
enum class ListFormat { Html, Text, Tsv, Csv, Json };

struct Options {
  bool help = false;
  bool version = false;
  bool domainOnly = false;
  bool view = false;
  bool verbose = false;
  bool unique = false;  // each address once, at its first row
  std::chrono::seconds timeout{60};  // the whole run, fetches included
  ListFormat format = ListFormat::Html;
  std::string base;          // normalised http or https address; empty without --base
  std::string encoding;      // a known encoding label as given; empty without --encoding
  std::string outputPath;    // empty: standard output
  std::string snapshotPath;  // empty without --snapshot
  std::string input;         // a local path or an http/https address
};

// A command line that cannot be run; what() says why, in one line.
class CUsageError : public std::runtime_error {
 public:
  using std::runtime_error::runtime_error;
};

// The options of `args`, the arguments after the program name. Throws CUsageError. Not
// reentrant: it runs on the C library's getopt state.
Options ParseOptions(const std::vector<std::string>& args);

// True when INPUT names an http or https address rather than a local file.
bool IsWebAddress(std::string_view input);

// The text of --help.
std::string_view HelpText();

// The line --version prints.
std::string_view VersionText();

}  // namespace tavrin::cli
