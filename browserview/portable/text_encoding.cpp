// Encoding labels from the WHATWG Encoding Standard; conversion by the C library's iconv, with the
// few encodings iconv lacks (or names differently) handled here.
#include "browserview/portable/text_encoding.h"

#include "browserview/ascii_case.h"

#include <iconv.h>

#include <algorithm>
#include <cerrno>
#include <stdexcept>
#include <string>
#include <utility>
#include <vector>

namespace tavrin::text {
namespace {

struct LabelEntry {
  std::string_view label;  // lower case
  std::string_view name;
};

constexpr LabelEntry kLabels[] = {
#include "browserview/portable/encoding_labels.inc"
};
static_assert(std::ranges::is_sorted(kLabels, {}, &LabelEntry::label));

enum class Kind {
  kUtf8,         // decoded here, by the standard's rules for invalid sequences
  kUtf16,        // decoded by iconv; written as UTF-8 where an encoder is asked for (as URLs do)
  kSingleByte,   // one byte, one character
  kWindows,      // single byte; 0x80-0x9F bytes iconv leaves undefined are the C1 controls
  kMultiByte,    // lead byte then trail bytes; `lead` says which bytes begin a sequence
  kEucJp,        // encoded by iconv, decoded by DecodeEucJp
  kStateful,     // ISO-2022-JP: escape sequences switch the character set
  kReplacement,  // decodes to one U+FFFD
  kUserDefined,  // x-user-defined: 0x80-0xFF are U+F780-U+F7FF
};

struct Codec {
  std::string_view name;  // canonical WHATWG name
  const char* iconvName;  // glibc's name; nullptr where converted here
  Kind kind;
  unsigned char lead[4] = {0x81, 0xFE, 0, 0};  // kMultiByte: lead byte ranges [0]-[1], [2]-[3]
  // Lead bytes [0]-[1] of rows a browser decodes but never encodes to.
  unsigned char unwritten[2] = {0, 0};
};

// Our Shift_JIS is Microsoft's code page 932, Big5 includes HKSCS and EUC-KR is the Unified
// Hangul Code, as browsers decode them. Of glibc's EUC-JP tables, only EUC-JP-MS writes code page
// 932's characters where browsers do.
constexpr Codec kCodecs[] = {
    {"UTF-8", "UTF-8", Kind::kUtf8},
    {"IBM866", "IBM866", Kind::kSingleByte},
    {"ISO-8859-2", "ISO-8859-2", Kind::kSingleByte},
    {"ISO-8859-3", "ISO-8859-3", Kind::kSingleByte},
    {"ISO-8859-4", "ISO-8859-4", Kind::kSingleByte},
    {"ISO-8859-5", "ISO-8859-5", Kind::kSingleByte},
    {"ISO-8859-6", "ISO-8859-6", Kind::kSingleByte},
    {"ISO-8859-7", "ISO-8859-7", Kind::kSingleByte},
    {"ISO-8859-8", "ISO-8859-8", Kind::kSingleByte},
    {"ISO-8859-8-I", "ISO-8859-8", Kind::kSingleByte},  // same bytes, logical order
    {"ISO-8859-10", "ISO-8859-10", Kind::kSingleByte},
    {"ISO-8859-13", "ISO-8859-13", Kind::kSingleByte},
    {"ISO-8859-14", "ISO-8859-14", Kind::kSingleByte},
    {"ISO-8859-15", "ISO-8859-15", Kind::kSingleByte},
    {"ISO-8859-16", "ISO-8859-16", Kind::kSingleByte},
    {"KOI8-R", "KOI8-R", Kind::kSingleByte},
    {"KOI8-U", "KOI8-U", Kind::kSingleByte},
    {"macintosh", "MACINTOSH", Kind::kSingleByte},
    {"windows-874", "CP874", Kind::kWindows},
    {"windows-1250", "CP1250", Kind::kWindows},
    {"windows-1251", "CP1251", Kind::kWindows},
    {"windows-1252", "CP1252", Kind::kWindows},
    {"windows-1253", "CP1253", Kind::kWindows},
    {"windows-1254", "CP1254", Kind::kWindows},
    {"windows-1255", "CP1255", Kind::kWindows},
    {"windows-1256", "CP1256", Kind::kWindows},
    {"windows-1257", "CP1257", Kind::kWindows},
    {"windows-1258", "CP1258", Kind::kWindows},
    {"x-mac-cyrillic", "MAC-CYRILLIC", Kind::kSingleByte},
    {"GBK", "CP936", Kind::kMultiByte},
    {"gb18030", "GB18030", Kind::kMultiByte},
    {"Big5", "BIG5-HKSCS", Kind::kMultiByte, {0x81, 0xFE}, {0x81, 0xA0}},
    {"EUC-JP", "EUC-JP-MS", Kind::kEucJp, {}, {0x8F, 0x8F}},
    {"ISO-2022-JP", "ISO-2022-JP", Kind::kStateful},
    {"Shift_JIS", "CP932", Kind::kMultiByte, {0x81, 0x9F, 0xE0, 0xFC}, {0xF0, 0xF9}},
    {"EUC-KR", "CP949", Kind::kMultiByte},
    {"replacement", nullptr, Kind::kReplacement},
    {"UTF-16BE", "UTF-16BE", Kind::kUtf16},
    {"UTF-16LE", "UTF-16LE", Kind::kUtf16},
    {"x-user-defined", nullptr, Kind::kUserDefined},
};

const Codec& CodecFor(std::string_view name) {
  for (const Codec& codec : kCodecs) {
    if (codec.name == name) return codec;
  }
  throw std::logic_error("no converter for encoding " + std::string(name));
}

constexpr std::string_view kReplacementChar = "\xEF\xBF\xBD";

void AppendUtf8(std::string& out, char32_t cp) {
  if (cp < 0x80) {
    out += static_cast<char>(cp);
  } else if (cp < 0x800) {
    out += static_cast<char>(0xC0 | (cp >> 6));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    out += static_cast<char>(0xE0 | (cp >> 12));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  } else {
    out += static_cast<char>(0xF0 | (cp >> 18));
    out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
    out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
    out += static_cast<char>(0x80 | (cp & 0x3F));
  }
}

// The UTF-8 decoder of the Encoding Standard: well-formed sequences are copied, each maximal
// ill-formed subsequence becomes one U+FFFD. `valid` tells whether there was none.
std::string SanitizeUtf8(std::string_view in, bool* valid = nullptr) {
  std::string out;
  out.reserve(in.size());
  bool clean = true;
  size_t kept = 0;  // where the well-formed bytes not yet copied begin: they are copied whole
  for (size_t i = 0; i < in.size();) {
    const auto b = static_cast<unsigned char>(in[i]);
    if (b < 0x80) {
      ++i;
      continue;
    }
    int needed = 0;
    unsigned char lower = 0x80, upper = 0xBF;
    if (b >= 0xC2 && b <= 0xDF) {
      needed = 1;
    } else if (b >= 0xE0 && b <= 0xEF) {
      needed = 2;
      if (b == 0xE0) lower = 0xA0;  // overlong
      if (b == 0xED) upper = 0x9F;  // surrogates
    } else if (b >= 0xF0 && b <= 0xF4) {
      needed = 3;
      if (b == 0xF0) lower = 0x90;  // overlong
      if (b == 0xF4) upper = 0x8F;  // beyond U+10FFFF
    }
    size_t end = i + 1;
    int seen = 0;
    for (; seen < needed && end < in.size(); ++seen, ++end) {
      const auto c = static_cast<unsigned char>(in[end]);
      if (c < lower || c > upper) break;
      lower = 0x80;
      upper = 0xBF;
    }
    if (needed == 0 || seen < needed) {
      out.append(in.substr(kept, i - kept));
      out += kReplacementChar;
      clean = false;
      kept = end;
    }
    i = end;
  }
  out.append(in.substr(kept));
  if (valid) *valid = clean;
  return out;
}

// The code point of the well-formed UTF-8 sequence at the start of `s`, and its length.
std::pair<char32_t, size_t> NextCodePoint(std::string_view s) {
  const auto b = static_cast<unsigned char>(s[0]);
  const size_t length = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
  char32_t cp = length == 1 ? b : b & (0x3F >> (length - 1));
  for (size_t i = 1; i < length && i < s.size(); ++i) {
    cp = (cp << 6) | (static_cast<unsigned char>(s[i]) & 0x3F);
  }
  return {cp, length};
}

void AppendCharacterReference(std::string& out, char32_t cp) {
  out += "&#" + std::to_string(static_cast<unsigned long>(cp)) + ';';
}

// An iconv conversion descriptor, closed when it goes.
class UniqueIconv {
 public:
  UniqueIconv(const char* to, const char* from) : m_cd(iconv_open(to, from)) {
    if (m_cd == kInvalid) {
      throw std::runtime_error(std::string("iconv cannot convert from ") + from + " to " + to);
    }
  }
  ~UniqueIconv() { iconv_close(m_cd); }
  UniqueIconv(const UniqueIconv&) = delete;
  UniqueIconv& operator=(const UniqueIconv&) = delete;

  // Converts as much of `in` as iconv accepts, appending to `out`. Returns the bytes consumed
  // and 0, or errno (EILSEQ, EINVAL) when iconv stopped at input it rejects.
  std::pair<size_t, int> Convert(std::string_view in, std::string& out) {
    char* src = const_cast<char*>(in.data());  // iconv does not write through it
    size_t srcLeft = in.size();
    for (;;) {
      const size_t used = out.size();
      out.resize(used + srcLeft * 4 + 16);
      char* dst = out.data() + used;
      size_t dstLeft = out.size() - used;
      const size_t result = iconv(m_cd, &src, &srcLeft, &dst, &dstLeft);
      const int error = errno;
      out.resize(out.size() - dstLeft);
      if (result != static_cast<size_t>(-1)) return {in.size(), 0};
      if (error != E2BIG) return {in.size() - srcLeft, error};
    }
  }

  // Writes what returns a stateful encoding to its initial state (ISO-2022-JP's ESC ( B), or
  // what a decoder holds back (code pages 1255 and 1258 wait for a combining mark).
  void Reset(std::string& out) {
    const size_t used = out.size();
    out.resize(used + 16);
    char* dst = out.data() + used;
    size_t dstLeft = 16;
    iconv(m_cd, nullptr, nullptr, &dst, &dstLeft);
    out.resize(out.size() - dstLeft);
  }

 private:
  static inline const iconv_t kInvalid = reinterpret_cast<iconv_t>(-1);
  iconv_t m_cd;
};

std::string EncodeUserDefined(std::string_view text) {
  std::string out;
  while (!text.empty()) {
    const auto [cp, length] = NextCodePoint(text);
    if (cp < 0x80) {
      out += static_cast<char>(cp);
    } else if (cp >= 0xF780 && cp <= 0xF7FF) {
      out += static_cast<char>(cp - 0xF780 + 0x80);
    } else {
      AppendCharacterReference(out, cp);
    }
    text.remove_prefix(std::min(length, text.size()));
  }
  return out;
}

bool IsAsciiAlpha(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z');
}

// Bytes a browser decodes to the code point of the same value where iconv has no mapping: the C1
// controls of the Windows code pages, and Shift_JIS's 0x80.
bool MapsToItself(const Codec& codec, char32_t c) {
  return (codec.kind == Kind::kWindows && c >= 0x80 && c <= 0x9F) ||
         (codec.name == "Shift_JIS" && c == 0x80);
}

// Decodes with iconv. A rejected sequence becomes one U+FFFD and decoding goes on after it: a
// multi-byte lead with a non-ASCII trail is one sequence, an ASCII byte after a lead is read
// again (the Encoding Standard's rules); input ending inside a sequence ends in one U+FFFD.
// `clean`, when given, tells whether nothing was rejected.
std::string DecodeWithIconv(std::string_view bytes, const Codec& codec, bool* clean = nullptr) {
  if (clean) *clean = true;
  UniqueIconv cd("UTF-8", codec.iconvName);
  std::string out;
  while (!bytes.empty()) {
    const auto [used, error] = cd.Convert(bytes, out);
    bytes.remove_prefix(used);
    if (bytes.empty()) break;
    // A character held back goes before the error; ISO-2022-JP's state outlasts the error.
    if (codec.kind != Kind::kStateful) cd.Reset(out);
    const auto b = static_cast<unsigned char>(bytes[0]);
    size_t bad = 1;
    if (error == EINVAL) {
      bad = bytes.size();
    } else if (codec.kind == Kind::kUtf16) {
      bad = std::min<size_t>(2, bytes.size());
    } else if (codec.kind == Kind::kMultiByte && bytes.size() > 1 &&
               static_cast<unsigned char>(bytes[1]) >= 0x80 &&
               ((b >= codec.lead[0] && b <= codec.lead[1]) ||
                (b >= codec.lead[2] && b <= codec.lead[3]))) {
      bad = 2;
    }
    if (MapsToItself(codec, b)) {
      AppendUtf8(out, b);
    } else {
      out += kReplacementChar;
      if (clean) *clean = false;
    }
    bytes.remove_prefix(bad);
  }
  cd.Reset(out);
  return out;
}

// EUC-JP as browsers read it. Their EUC-JP and Shift_JIS share one JIS X 0208 table (with NEC's
// row 13 and the IBM extensions, which neither glibc EUC-JP table has in full), so a two-byte
// sequence is read as the code page 932 sequence of the same row and cell; 0x8F sequences are
// JIS X 0212 as glibc's plain EUC-JP has it. A rejected sequence becomes one U+FFFD, and an ASCII
// byte that ends it is read again.
std::string DecodeEucJp(std::string_view bytes) {
  UniqueIconv jis0208("UTF-8", "CP932");
  UniqueIconv jis0212("UTF-8", "EUC-JP");
  const auto at = [&bytes](size_t i) { return static_cast<unsigned char>(bytes[i]); };
  const auto inRow = [](unsigned char c) { return c >= 0xA1 && c <= 0xFE; };
  std::string out;
  while (!bytes.empty()) {
    const unsigned char lead = at(0);
    const bool starts = lead < 0x80 || lead == 0x8E || lead == 0x8F || inRow(lead);
    const size_t length = lead == 0x8F ? 3 : lead >= 0x80 && starts ? 2 : 1;
    size_t valid = starts ? 1 : 0;
    while (valid < length && valid < bytes.size() && inRow(at(valid)) &&
           !(lead == 0x8E && at(valid) > 0xDF)) {
      ++valid;
    }
    if (valid < length) {
      out += kReplacementChar;
      const bool trailConsumed = valid < bytes.size() && at(valid) >= 0x80;
      bytes.remove_prefix(valid + (trailConsumed ? 1 : 0));
      continue;
    }
    if (length == 1) {
      out += bytes[0];
    } else if (lead == 0x8E) {
      AppendUtf8(out, 0xFF61 + (at(1) - 0xA1));  // half-width katakana
    } else if (length == 2) {
      const unsigned pointer = (lead - 0xA1) * 94 + (at(1) - 0xA1);
      const unsigned row = pointer / 188, cell = pointer % 188;
      const char sjis[] = {static_cast<char>(row + (row < 0x1F ? 0x81 : 0xC1)),
                           static_cast<char>(cell + (cell < 0x3F ? 0x40 : 0x41))};
      if (jis0208.Convert({sjis, 2}, out).second != 0) out += kReplacementChar;
    } else if (jis0212.Convert(bytes.substr(0, 3), out).second != 0) {
      out += kReplacementChar;
    }
    bytes.remove_prefix(length);
  }
  return out;
}

std::string Decode(std::string_view bytes, const Codec& codec) {
  switch (codec.kind) {
    case Kind::kEucJp:
      return DecodeEucJp(bytes);
    case Kind::kUtf8:
      return SanitizeUtf8(bytes);
    case Kind::kReplacement:
      return bytes.empty() ? std::string() : std::string(kReplacementChar);
    case Kind::kUserDefined: {
      std::string out;
      for (const char c : bytes) {
        const auto b = static_cast<unsigned char>(c);
        AppendUtf8(out, b < 0x80 ? b : 0xF780 + (b - 0x80));
      }
      return out;
    }
    default:
      return DecodeWithIconv(bytes, codec);
  }
}

// Whether a browser's encoder would write `ch` (not ASCII): browsers encode a character only
// where their decoder reads the same bytes back, whereas iconv also writes best-fit mappings (code
// page 932's U+301C as the bytes of U+FF5E).
bool Encodable(std::string_view ch, const Codec& codec, UniqueIconv& probe) {
  std::string bytes;
  if (probe.Convert(ch, bytes).second != 0) return false;
  probe.Reset(bytes);
  const auto lead = static_cast<unsigned char>(bytes[0]);
  if (lead >= codec.unwritten[0] && lead <= codec.unwritten[1]) return false;
  return Decode(bytes, codec) == ch;
}

// What browsers write to EUC-JP and Shift_JIS in place of `cp`: three characters their tables
// lack are written as the ones these encodings hold in their place.
char32_t JapaneseStandIn(char32_t cp) {
  switch (cp) {
    case 0xA5:  // YEN SIGN, where JIS X 0201 has it
      return '\\';
    case 0x203E:  // OVERLINE, likewise
      return '~';
    case 0x2212:  // MINUS SIGN, decoded from these bytes as FULLWIDTH HYPHEN-MINUS
      return 0xFF0D;
    default:
      return cp;
  }
}

std::string EncodeWithIconv(std::string_view text, const Codec& codec) {
  UniqueIconv cd(codec.iconvName, "UTF-8");
  UniqueIconv probe(codec.iconvName, "UTF-8");
  const bool japanese = codec.name == "EUC-JP" || codec.name == "Shift_JIS";
  std::string out;
  while (!text.empty()) {
    const auto [cp, length] = NextCodePoint(text);
    const char32_t written = japanese ? JapaneseStandIn(cp) : cp;
    std::string ch;
    AppendUtf8(ch, written);
    if ((written >= 0x80 && !Encodable(ch, codec, probe)) || cd.Convert(ch, out).second != 0) {
      cd.Reset(out);
      const std::string byte(1, static_cast<char>(cp));
      if (MapsToItself(codec, cp) && Decode(byte, codec) == ch) {
        out += byte;
      } else {
        AppendCharacterReference(out, cp);
      }
    }
    text.remove_prefix(length);
  }
  cd.Reset(out);
  return out;
}

// The encoding a byte-order mark names, and the mark's length.
std::optional<std::pair<std::string, size_t>> SniffBom(std::string_view bytes) {
  if (bytes.starts_with("\xEF\xBB\xBF")) return std::pair<std::string, size_t>{"UTF-8", 3};
  if (bytes.starts_with("\xFE\xFF")) return std::pair<std::string, size_t>{"UTF-16BE", 2};
  if (bytes.starts_with("\xFF\xFE")) return std::pair<std::string, size_t>{"UTF-16LE", 2};
  return std::nullopt;
}

// --- The HTML standard's "prescan a byte stream to determine its encoding" ---

constexpr size_t kPrescanLength = 1024;

bool StartsWithNoCase(std::string_view s, size_t pos, std::string_view lowerPrefix) {
  if (s.size() - pos < lowerPrefix.size()) return false;
  for (size_t i = 0; i < lowerPrefix.size(); ++i) {
    if (AsciiLower(s[pos + i]) != lowerPrefix[i]) return false;
  }
  return true;
}

struct Attribute {
  std::string name;
  std::string value;
};

// "Get an attribute": the next attribute of a tag, names and values in lower case. Empty at the
// tag's '>' and when the input ends (then pos == s.size(), which ends the prescan).
std::optional<Attribute> GetAttribute(std::string_view s, size_t& pos) {
  const size_t n = s.size();
  while (pos < n && (IsAsciiWhitespace(s[pos]) || s[pos] == '/')) ++pos;
  if (pos >= n || s[pos] == '>') return std::nullopt;
  Attribute attr;
  for (;; ++pos) {  // the name
    if (pos >= n) return std::nullopt;
    const char c = s[pos];
    if (c == '=' && !attr.name.empty()) break;
    if (IsAsciiWhitespace(c)) {
      while (pos < n && IsAsciiWhitespace(s[pos])) ++pos;
      if (pos >= n) return std::nullopt;
      if (s[pos] != '=') return attr;
      break;
    }
    if (c == '/' || c == '>') return attr;
    attr.name += AsciiLower(c);
  }
  ++pos;  // past '='
  while (pos < n && IsAsciiWhitespace(s[pos])) ++pos;
  if (pos >= n) return std::nullopt;
  if (s[pos] == '"' || s[pos] == '\'') {
    const char quote = s[pos];
    for (++pos; pos < n; ++pos) {
      if (s[pos] == quote) {
        ++pos;
        return attr;
      }
      attr.value += AsciiLower(s[pos]);
    }
    return std::nullopt;
  }
  if (s[pos] == '>') return attr;
  for (; pos < n; ++pos) {
    if (IsAsciiWhitespace(s[pos]) || s[pos] == '>') return attr;
    attr.value += AsciiLower(s[pos]);
  }
  return std::nullopt;
}

// "Extracting a character encoding from a meta element": charset=... in a content attribute.
std::optional<std::string> EncodingFromContent(std::string_view content) {
  for (size_t pos = 0;;) {
    size_t found = std::string_view::npos;
    for (size_t i = pos; found == std::string_view::npos && i < content.size(); ++i) {
      if (StartsWithNoCase(content, i, "charset")) found = i;
    }
    if (found == std::string_view::npos) return std::nullopt;
    pos = found + 7;
    while (pos < content.size() && IsAsciiWhitespace(content[pos])) ++pos;
    if (pos >= content.size() || content[pos] != '=') continue;
    ++pos;
    while (pos < content.size() && IsAsciiWhitespace(content[pos])) ++pos;
    if (pos >= content.size()) return std::nullopt;
    if (content[pos] == '"' || content[pos] == '\'') {
      const size_t close = content.find(content[pos], pos + 1);
      if (close == std::string_view::npos) return std::nullopt;
      return EncodingForLabel(content.substr(pos + 1, close - pos - 1));
    }
    const size_t end = content.find_first_of("\t\n\f\r ;", pos);
    return EncodingForLabel(content.substr(pos, end == std::string_view::npos ? end : end - pos));
  }
}

// The encoding a <meta> declares, read the way the HTML standard's prescan reads it: comments
// and the attributes of other tags are skipped, input that ends inside a construct declares
// nothing.
std::optional<std::string> PrescanForEncoding(std::string_view s) {
  const size_t n = s.size();
  for (size_t pos = 0; pos < n; ++pos) {
    if (s.compare(pos, 4, "<!--") == 0) {
      const size_t end = s.find("-->", pos + 2);  // "<!-->" is a whole comment
      if (end == std::string_view::npos) return std::nullopt;
      pos = end + 2;
    } else if (StartsWithNoCase(s, pos, "<meta") && pos + 5 < n &&
               (IsAsciiWhitespace(s[pos + 5]) || s[pos + 5] == '/')) {
      pos += 6;
      std::vector<std::string> seen;
      bool gotPragma = false;
      std::optional<bool> needPragma;
      bool charsetSet = false;  // charset is no longer "null", though it may be "failure"
      std::optional<std::string> charset;
      while (auto attr = GetAttribute(s, pos)) {
        if (std::ranges::find(seen, attr->name) != seen.end()) continue;
        seen.push_back(attr->name);
        if (attr->name == "http-equiv") {
          if (attr->value == "content-type") gotPragma = true;
        } else if (attr->name == "content") {
          auto fromContent = EncodingFromContent(attr->value);
          if (fromContent && !charsetSet) {
            charset = std::move(fromContent);
            charsetSet = true;
            needPragma = true;
          }
        } else if (attr->name == "charset") {
          charset = EncodingForLabel(attr->value);
          charsetSet = true;
          needPragma = false;
        }
      }
      if (pos >= n) return std::nullopt;
      if (!needPragma || (*needPragma && !gotPragma) || !charset) continue;
      if (*charset == "UTF-16BE" || *charset == "UTF-16LE") return "UTF-8";
      if (*charset == "x-user-defined") return "windows-1252";
      return charset;
    } else if (s[pos] == '<' && pos + 1 < n &&
               (IsAsciiAlpha(s[pos + 1]) ||
                (s[pos + 1] == '/' && pos + 2 < n && IsAsciiAlpha(s[pos + 2])))) {
      pos = s.find_first_of("\t\n\f\r >", pos);
      if (pos == std::string_view::npos) return std::nullopt;
      while (GetAttribute(s, pos)) {
      }
      if (pos >= n) return std::nullopt;
    } else if (s.compare(pos, 2, "<!") == 0 || s.compare(pos, 2, "</") == 0 ||
               s.compare(pos, 2, "<?") == 0) {
      pos = s.find('>', pos + 1);
      if (pos == std::string_view::npos) return std::nullopt;
    }
  }
  return std::nullopt;
}

}  // namespace

std::optional<std::string> EncodingForLabel(std::string_view label) {
  while (!label.empty() && IsAsciiWhitespace(label.front())) label.remove_prefix(1);
  while (!label.empty() && IsAsciiWhitespace(label.back())) label.remove_suffix(1);
  std::string key(label);
  key = AsciiLower(key);
  const auto it = std::ranges::lower_bound(kLabels, std::string_view(key), {}, &LabelEntry::label);
  if (it == std::end(kLabels) || it->label != key) return std::nullopt;
  return std::string(it->name);
}

std::optional<DecodedHtml> DecodeHtml(std::string_view bytes, std::string_view transportCharset,
                                      std::string_view overrideLabel) {
  std::optional<std::string> overridden;
  if (!overrideLabel.empty()) {
    overridden = EncodingForLabel(overrideLabel);
    if (!overridden) return std::nullopt;
  }
  std::string encoding;
  if (auto bom = SniffBom(bytes)) {
    encoding = bom->first;
    bytes.remove_prefix(bom->second);
  } else if (overridden) {
    encoding = *overridden;
  } else if (auto transport = EncodingForLabel(transportCharset)) {
    encoding = *transport;
  } else if (auto declared = PrescanForEncoding(bytes.substr(0, kPrescanLength))) {
    encoding = *declared;
  } else {
    bool valid = false;
    std::string utf8 = SanitizeUtf8(bytes, &valid);
    if (valid) return DecodedHtml{std::move(utf8), "UTF-8"};
    // The legacy encodings of the bar's users and of the web at large.
    bool readsAsShiftJis = false;
    utf8 = DecodeWithIconv(bytes, CodecFor("Shift_JIS"), &readsAsShiftJis);
    if (readsAsShiftJis) return DecodedHtml{std::move(utf8), "Shift_JIS"};
    encoding = "windows-1252";
  }
  std::string utf8 = Decode(bytes, CodecFor(encoding));
  return DecodedHtml{std::move(utf8), std::move(encoding)};
}

std::string EncodeFromUtf8(std::string_view utf8, std::string_view encoding) {
  std::string text = SanitizeUtf8(utf8);
  const std::optional<std::string> name = EncodingForLabel(encoding);
  const Codec& codec = CodecFor(name.value_or("UTF-8"));
  switch (codec.kind) {
    case Kind::kUtf8:
    case Kind::kUtf16:
    case Kind::kReplacement:
      return text;
    case Kind::kUserDefined:
      return EncodeUserDefined(text);
    default:
      return EncodeWithIconv(text, codec);
  }
}

}  // namespace tavrin::text
