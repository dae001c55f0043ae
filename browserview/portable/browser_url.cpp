// Addresses as browsers give them. Boost.URL parses and resolves (RFC 3986); around it, each
// function below is one rule of the WHATWG URL Standard as Chromium applies it.
#include "browserview/portable/browser_url.h"

#include <idn2.h>

#include <algorithm>
#include <boost/url.hpp>
#include <cctype>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <vector>

#include "browserview/ascii_case.h"
#include "browserview/ipv4_host.h"
#include "browserview/portable/text_encoding.h"

namespace tavrin::url {
namespace {

namespace bu = boost::urls;

// The URL Standard's special schemes and their default ports (-1: none). Their addresses get the
// browser rules; those of any other scheme pass through.
struct SpecialScheme {
  std::string_view name;
  int defaultPort;
};
constexpr SpecialScheme kSpecialSchemes[] = {{"http", 80}, {"https", 443}, {"ws", 80},
                                             {"wss", 443}, {"ftp", 21},    {"file", -1}};

const SpecialScheme* Special(std::string_view scheme) {
  for (const auto& s : kSpecialSchemes)
    if (s.name == scheme) return &s;
  return nullptr;
}

// What Chromium percent-encodes in each part, besides C0 controls, DEL and non-ASCII bytes.
constexpr std::string_view kUserinfoSet = " \"#<>?`{}/:;=@[\\]^|'";
constexpr std::string_view kPathSet = " \"#<>?`{}|^";
constexpr std::string_view kOpaquePathSet = "";  // about:blank, mailto:x
constexpr std::string_view kQuerySet = " \"#<>'";
constexpr std::string_view kFragmentSet = " \"<>`";
constexpr std::string_view kFilePathSet = " \"#<>?`{}|^%\\";  // a local name has no escapes

std::string Escape(std::string_view s, std::string_view set) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : s) {
    if (c < 0x20 || c >= 0x7F || set.find(static_cast<char>(c)) != set.npos)
      out += {'%', kHex[c >> 4], kHex[c & 15]};
    else
      out += static_cast<char>(c);
  }
  return out;
}

// Leading and trailing C0 controls and spaces go, and every tab, CR and LF.
std::string Strip(std::string_view s) {
  while (!s.empty() && static_cast<unsigned char>(s.front()) <= 0x20) s.remove_prefix(1);
  while (!s.empty() && static_cast<unsigned char>(s.back()) <= 0x20) s.remove_suffix(1);
  std::string out;
  for (char c : s)
    if (c != '\t' && c != '\n' && c != '\r') out += c;
  return out;
}

// The scheme `s` starts with, in lower case; empty when it starts with none.
std::string SchemeOf(std::string_view s) {
  auto isAlpha = [](char c) { return (c | 0x20) >= 'a' && (c | 0x20) <= 'z'; };
  if (s.empty() || !isAlpha(s[0])) return {};
  std::size_t n = 1;
  while (n < s.size() && (isAlpha(s[n]) || (s[n] >= '0' && s[n] <= '9') || s[n] == '+' ||
                          s[n] == '-' || s[n] == '.'))
    ++n;
  if (n == s.size() || s[n] != ':') return {};
  std::string scheme(s.substr(0, n));
  for (char& c : scheme) c = static_cast<char>(c | 0x20);
  return scheme;
}

std::string_view WithoutLeadingSlashes(std::string_view s) {
  return s.substr(std::min(s.find_first_not_of('/'), s.size()));
}

// A path segment "." or "..", also written with "%2e" as browsers read it; else empty.
std::string_view DotSegment(std::string_view segment) {
  const std::string s = AsciiLower(segment);
  if (s == "." || s == "%2e") return ".";
  if (s == ".." || s == ".%2e" || s == "%2e." || s == "%2e%2e") return "..";
  return {};
}

// Boost.URL accepts only RFC 3986 characters; browsers keep more (a lone "%", "{", "|", "#" in a
// fragment ...). So before Boost sees an address, every "%" and every character its grammar
// rejects where it stands is percent-encoded, and Unprotect() decodes exactly that afterwards.
// Boost never sees an escape of the page then, so it cannot decode one (its resolve() runs
// normalize_path(), which decodes unreserved escapes). Dot segments written "%2e" become dots.
std::string Protect(std::string_view s) {
  using bu::grammar::lut_chars;
  constexpr lut_chars kHostChars = bu::unreserved_chars + bu::sub_delim_chars;
  constexpr lut_chars kQueryChars = bu::pchars + "/?";
  std::string out;
  if (auto scheme = SchemeOf(s); !scheme.empty()) {
    out = scheme + ':';
    s.remove_prefix(out.size());
  }
  if (s.starts_with("//")) {
    auto end = std::min(s.find_first_of("/?#", 2), s.size());
    auto authority = s.substr(2, end - 2);
    s.remove_prefix(end);
    out += "//";
    if (auto at = authority.rfind('@'); at != authority.npos) {
      out += bu::encode(authority.substr(0, at), kHostChars + ':') + '@';
      authority.remove_prefix(at + 1);
    }
    if (authority.starts_with('[')) {
      out += authority;  // an IP literal, left to Boost to check
    } else {
      auto colon = std::min(authority.find(':'), authority.size());
      auto host = authority.substr(0, colon);
      // Boost would take "1.2.3.4.5" for a bad IPv4 address: with its first digit encoded, a
      // host is a name to Boost, and Ipv4() reads the addresses in it as browsers do.
      if (!host.empty() && host[0] >= '0' && host[0] <= '9') {
        out += {'%', '3', host[0]};
        host.remove_prefix(1);
      }
      out += bu::encode(host, kHostChars);
      out += authority.substr(colon);  // the port, left to Boost to check
    }
  }
  auto pathEnd = std::min(s.find_first_of("?#"), s.size());
  for (std::size_t begin = 0; begin <= pathEnd;) {
    auto end = std::min(s.find('/', begin), pathEnd);
    auto segment = s.substr(begin, end - begin);
    auto dots = DotSegment(segment);
    out += dots.empty() ? bu::encode(segment, bu::pchars) : std::string(dots);
    if (end < pathEnd) out += '/';
    begin = end + 1;
  }
  s.remove_prefix(pathEnd);
  if (s.starts_with('?')) {
    auto end = std::min(s.find('#'), s.size());
    out += '?' + bu::encode(s.substr(1, end - 1), kQueryChars);
    s.remove_prefix(end);
  }
  if (s.starts_with('#')) out += '#' + bu::encode(s.substr(1), kQueryChars);
  return out;
}

// (A fresh view: Boost 1.81 miscounts a part's decoded size after resolve() removed dot segments.)
std::string Unprotect(std::string_view s) {
  return bu::pct_string_view(s).decode();
}

// Browsers' dot-segment removal: "." goes, ".." takes the segment before it, never past the root.
// (Boost's resolve() did most of it already, but it keeps ".." at the root, RFC errata 4547.)
std::string RemoveDotSegments(std::string_view path) {
  if (!path.starts_with('/')) return std::string(path);
  std::vector<std::string_view> kept;
  for (std::size_t begin = 1; begin <= path.size();) {
    auto end = std::min(path.find('/', begin), path.size());
    auto segment = path.substr(begin, end - begin);
    bool last = end == path.size();
    if (segment == "..") {
      if (!kept.empty()) kept.pop_back();
      if (last) kept.push_back({});
    } else if (segment == ".") {
      if (last) kept.push_back({});
    } else {
      kept.push_back(segment);
    }
    begin = end + 1;
  }
  std::string out;
  for (auto segment : kept) (out += '/') += segment;
  return out;
}

// A domain as browsers write it: percent-decoded, lower case, internationalised names in ASCII
// (UTS #46 non-transitional, by libidn2); empty when it has a character no host may have.
std::optional<std::string> DomainToAscii(bu::pct_string_view protectedHost) {
  std::string raw = Unprotect(protectedHost);  // as the page wrote it; browsers decode that too
  auto escaped = bu::make_pct_string_view(raw);
  if (!escaped) return std::nullopt;
  std::string host = escaped->decode();
  if (std::any_of(host.begin(), host.end(), [](unsigned char c) { return c >= 0x80; })) {
    char* ascii = nullptr;
    auto toAscii = [&](int flags) {
      return idn2_lookup_u8(reinterpret_cast<const uint8_t*>(host.c_str()),
                            reinterpret_cast<uint8_t**>(&ascii), flags);
    };
    int rc = toAscii(IDN2_NONTRANSITIONAL);
    // libidn2 holds names to IDNA2008, which disallows the symbols and emoji that UTS #46, and
    // so browsers, allow ("☕.example"). Its transitional mode checks UTS #46 alone, and maps as
    // the non-transitional one for a name without the deviation characters ß ẞ ς ZWJ ZWNJ.
    auto has = [&host](std::string_view part) { return host.find(part) != host.npos; };
    if (rc == IDN2_DISALLOWED && !has("ß") && !has("ẞ") && !has("ς") && !has("\u200c") &&
        !has("\u200d"))
      rc = toAscii(IDN2_TRANSITIONAL);
    if (rc != IDN2_OK) return std::nullopt;
    host = ascii;
    idn2_free(ascii);
  }
  for (char& c : host) {
    if (static_cast<unsigned char>(c) <= 0x20 || c == 0x7F ||
        std::string_view("#%/:<>?@[\\]^|").find(c) != std::string_view::npos)
      return std::nullopt;
    c = AsciiLower(c);
  }
  return host;
}

// An IPv6 address as browsers write it: the first longest run of two or more zero pieces as
// "::", the rest in lower-case hex, also for IPv4-mapped addresses.
std::string Ipv6(const bu::ipv6_address& address) {
  auto bytes = address.to_bytes();
  unsigned pieces[8];
  for (int i = 0; i < 8; ++i) pieces[i] = bytes[2 * i] << 8 | bytes[2 * i + 1];
  int zeros = -1, zerosLength = 1;
  for (int i = 0, j; i < 8; i = j + 1) {
    for (j = i; j < 8 && pieces[j] == 0;) ++j;
    if (j - i > zerosLength) zeros = i, zerosLength = j - i;
  }
  std::string out = "[";
  char hex[8];
  for (int i = 0; i < 8; ++i) {
    if (i == zeros) {
      out += i == 0 ? "::" : ":";
      i += zerosLength - 1;
      continue;
    }
    std::snprintf(hex, sizeof hex, "%x", pieces[i]);
    out += hex;
    if (i < 7) out += ':';
  }
  return out + ']';
}

// The authority of a special address: the domain as browsers write it (only file: may have none),
// the port without leading zeros and dropped when it is the scheme's default.
bool ApplyAuthorityRules(bu::url& u, const SpecialScheme& scheme) {
  if (u.host_type() == bu::host_type::ipvfuture) return false;
  if (u.host_type() == bu::host_type::name) {
    auto host = DomainToAscii(u.encoded_host());
    if (host) host = Ipv4(*host);
    if (!host || (host->empty() && scheme.name != "file")) return false;
    u.set_encoded_host(*host);
  }
  if (u.has_port() && scheme.defaultPort < 0) return false;  // file:
  if (u.has_port()) {
    std::string_view digits = u.port();
    if (digits.empty()) {
      u.remove_port();  // "http://h:/"
    } else {
      digits.remove_prefix(std::min(digits.find_first_not_of('0'), digits.size() - 1));
      int port = digits.size() > 5 ? 65536 : std::atoi(std::string(digits).c_str());
      if (port > 65535) return false;
      if (port == scheme.defaultPort)
        u.remove_port();
      else
        u.set_port(std::to_string(port));
    }
  }
  return true;
}

// `s` (stripped) as an absolute address in Boost's protected form, resolved against `base` when
// it is relative, with the browser rules for special schemes applied. Empty when it is no address.
std::optional<bu::url> Parse(std::string s, const bu::url* base) {
  std::string scheme = SchemeOf(s);
  s.replace(0, scheme.size(), scheme);
  const SpecialScheme* special =
      Special(scheme.empty() && base ? std::string_view(base->scheme()) : scheme);
  if (special) {
    std::replace(s.begin(), s.begin() + std::min(s.find_first_of("?#"), s.size()), '\\', '/');
    if (!scheme.empty()) {
      // "http:x" and "http:/x" are relative to a base of the same scheme; otherwise, as
      // "http:///x", they name host x. file: takes "file:x" and "file:/x" as "file:///x".
      std::string rest = s.substr(scheme.size() + 1);
      if (!rest.starts_with("//") && base && base->scheme() == scheme) {
        s = rest;
        scheme.clear();
      } else if (scheme == "file") {
        if (!rest.starts_with("//")) s = "file:///" + std::string(WithoutLeadingSlashes(rest));
      } else {
        s = scheme + "://" + std::string(WithoutLeadingSlashes(rest));
      }
    } else if (s.starts_with("//") && special->name != "file") {
      s = "//" + std::string(WithoutLeadingSlashes(s));  // "///x" names host x too
    }
  }
  // A relative path whose first segment has a colon ("a:b" after "http:a:b", "1a:b").
  if (scheme.empty() && s.substr(0, s.find_first_of("/?#")).find(':') != s.npos) s = "./" + s;

  std::string protectedRef = Protect(s);
  auto ref = bu::parse_uri_reference(protectedRef);
  if (!ref || (ref->has_authority() && !ref->encoded_path().empty() && !ref->is_path_absolute()))
    return std::nullopt;  // Boost 1.81 reads "http://h:8x/" as port 8, path "x/"
  bu::url u;
  if (ref->has_scheme())
    u = *ref;
  else if (!base || !bu::resolve(*base, *ref, u))
    return std::nullopt;
  if (!ref->has_fragment()) u.remove_fragment();  // Boost 1.81 keeps the base's for "" and "?"
  special = Special(u.scheme());
  if (special && !ApplyAuthorityRules(u, *special)) return std::nullopt;
  return u;
}

bool IsUtf8Query(std::string_view encoding) {
  auto is = [encoding](std::string_view name) { return EqualsIgnoringAsciiCase(encoding, name); };
  return encoding.empty() || is("UTF-8") || is("UTF-16LE") || is("UTF-16BE") || is("replacement");
}

// The query in the document's encoding (UTF-8 for UTF-16 documents, as browsers), then
// percent-encoded; what the encoding cannot represent becomes "&#N;", encoded as %26%23N%3B.
std::string EncodeQuery(std::string_view query, std::string_view encoding) {
  if (IsUtf8Query(encoding)) return Escape(query, kQuerySet);
  std::string out;
  while (!query.empty()) {
    bool ascii = static_cast<unsigned char>(query[0]) < 0x80;
    auto n = std::find_if(query.begin(), query.end(),
                          [ascii](unsigned char c) { return (c < 0x80) != ascii; }) -
             query.begin();
    auto run = query.substr(0, n);
    query.remove_prefix(n);
    std::string bytes = ascii ? std::string(run) : text::EncodeFromUtf8(run, encoding);
    if (bytes.find("&#") == bytes.npos) {
      out += Escape(bytes, kQuerySet);
      continue;
    }
    // Character by character, to tell the "&#N;" of a character that failed from real bytes.
    while (!run.empty()) {
      auto lead = static_cast<unsigned char>(run[0]);
      std::size_t length = std::min<std::size_t>(lead >= 0xF0   ? 4
                                                 : lead >= 0xE0 ? 3
                                                                : 2,
                                                 run.size());
      std::string one = text::EncodeFromUtf8(run.substr(0, length), encoding);
      run.remove_prefix(length);
      out += one.starts_with("&#") ? "%26%23" + one.substr(2, one.size() - 3) + "%3B"
                                   : Escape(one, kQuerySet);
    }
  }
  return out;
}

std::string Host(const bu::url& u) {
  if (u.host_type() == bu::host_type::ipv6) return Ipv6(u.host_ipv6_address());
  return Escape(Unprotect(u.encoded_host()), {});
}

// The href string: each part decoded from Boost's protected form and percent-encoded as
// browsers encode that part.
std::string Serialize(const bu::url& u, std::string_view encoding) {
  bool special = Special(u.scheme()) != nullptr;
  std::string out = std::string(u.scheme()) + ':';
  if (u.has_authority()) {
    out += "//";
    std::string user = Escape(Unprotect(u.encoded_user()), kUserinfoSet);
    std::string password = Escape(Unprotect(u.encoded_password()), kUserinfoSet);
    if (!password.empty())
      out += user + ':' + password + '@';
    else if (!user.empty())
      out += user + '@';
    out += Host(u);
    if (u.has_port()) out += ':' + std::string(u.port());
  }
  std::string path = RemoveDotSegments(Unprotect(u.encoded_path()));
  if (special && path.empty()) path = "/";
  bool opaque = !u.has_authority() && !u.is_path_absolute();
  out += Escape(path, opaque ? kOpaquePathSet : kPathSet);
  if (u.has_query()) out += '?' + EncodeQuery(Unprotect(u.encoded_query()), encoding);
  if (u.has_fragment()) out += '#' + Escape(Unprotect(u.encoded_fragment()), kFragmentSet);
  return out;
}

// What a base address gives every plain relative path: the common case of a page's links, which
// needs none of the rules above. Set only for an http(s) base in its normal form.
struct PlainPathBase {
  std::string origin;     // "http://host:port", the address up to its path
  std::string directory;  // the base path up to its last "/"
  std::string host;
};

// A reference that only a path merge and dot segments change: a path of letters, digits, "-._~"
// and "/", not empty and not "//" (which names a host), perhaps followed by a query that every
// encoding writes as it stands (no escape, quote, space, "#" or other byte that is encoded).
bool IsPlainPath(std::string_view reference) {
  auto unreserved = [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
           c == '.' || c == '_' || c == '~';
  };
  const std::size_t queryStart = std::min(reference.find('?'), reference.size());
  const std::string_view path = reference.substr(0, queryStart);
  if (path.empty() || path.starts_with("//")) return false;
  const std::string_view query = reference.substr(queryStart);
  return std::all_of(path.begin(), path.end(), [&](char c) { return unreserved(c) || c == '/'; }) &&
         std::all_of(query.begin(), query.end(), [&](char c) {
           return unreserved(c) || std::string_view("!$&()*+,;=:@/?").find(c) != query.npos;
         });
}

// The length of the "http://host" or "https://host" that starts `reference`, when the rest is a
// plain absolute path (see IsPlainPath) and the host a name that needs no conversion: lower-case
// letters, digits, "-" and ".", its last label starting with a letter (not an IPv4 address).
// Zero otherwise.
std::size_t PlainAbsoluteOrigin(std::string_view reference) {
  std::size_t hostStart = 0;
  for (const std::string_view scheme : {"http://", "https://"})
    if (reference.starts_with(scheme)) hostStart = scheme.size();
  const std::size_t pathStart = reference.find('/', hostStart);
  if (hostStart == 0 || pathStart == std::string_view::npos) return 0;
  const std::string_view host = reference.substr(hostStart, pathStart - hostStart);
  const std::size_t lastLabel = host.rfind('.') + 1;  // 0 without a dot
  if (lastLabel == host.size() || host[lastLabel] < 'a' || host[lastLabel] > 'z') return 0;
  const bool bPlainHost = std::all_of(host.begin(), host.end(), [](char c) {
    return (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '-' || c == '.';
  });
  return bPlainHost && IsPlainPath(reference.substr(pathStart)) ? pathStart : 0;
}

std::optional<PlainPathBase> PlainPathBaseOf(std::string_view base, const bu::url& parsed) {
  if (parsed.scheme() != "http" && parsed.scheme() != "https") return std::nullopt;
  if (Serialize(parsed, "UTF-8") != base) return std::nullopt;
  const std::size_t pathStart = base.find('/', base.find("//") + 2);
  const std::size_t pathEnd = std::min(base.find_first_of("?#", pathStart), base.size());
  const std::string_view path = base.substr(pathStart, pathEnd - pathStart);
  return PlainPathBase{std::string(base.substr(0, pathStart)),
                       std::string(path.substr(0, path.rfind('/') + 1)), Host(parsed)};
}

// The last address ResolveUrl gave and its host. Readers of links ask for the host of the
// address they were just given (GetHttpHost(link->Href())); that parse need not run twice.
struct LastResolved {
  std::string href;
  std::optional<std::string> httpHost;
};
thread_local LastResolved lastResolved;

}  // namespace

std::optional<std::string> ResolveUrl(std::string_view base, std::string_view reference,
                                      std::string_view encoding) {
  // A document resolves every address against the same base: parse it once.
  thread_local std::string lastBase;
  thread_local std::optional<bu::url> parsedBase;
  thread_local std::optional<PlainPathBase> plainPathBase;
  if (base != lastBase) {
    lastBase = base;
    parsedBase = base.empty() ? std::nullopt : Parse(Strip(base), nullptr);
    plainPathBase = parsedBase ? PlainPathBaseOf(base, *parsedBase) : std::nullopt;
  }
  const std::size_t plainOrigin = PlainAbsoluteOrigin(reference);
  if (plainOrigin != 0 || (plainPathBase && IsPlainPath(reference))) {
    const std::size_t queryStart = std::min(reference.find('?'), reference.size());
    const std::string_view written = reference.substr(plainOrigin, queryStart - plainOrigin);
    std::string href;
    if (plainOrigin != 0) {
      const std::string_view origin = reference.substr(0, plainOrigin);
      href = std::string(origin) + RemoveDotSegments(written);
      lastResolved.httpHost = std::string(origin.substr(origin.find("//") + 2));
    } else {
      const PlainPathBase& plain = *plainPathBase;
      href = plain.origin + RemoveDotSegments(written.starts_with('/')
                                                   ? std::string(written)
                                                   : plain.directory + std::string(written));
      lastResolved.httpHost = plain.host;
    }
    href += reference.substr(queryStart);
    lastResolved.href = std::move(href);
    return lastResolved.href;
  }

  std::string ref = Strip(reference);
  std::string scheme = SchemeOf(ref);
  if (!scheme.empty() && !Special(scheme))
    return scheme + ref.substr(scheme.size());  // javascript:, mailto:, data: ... pass through
  const std::optional<bu::url>& b = parsedBase;
  // Against a base without a hierarchy (about:blank) only a fragment resolves.
  if (scheme.empty() && b && !b->has_authority() && !b->is_path_absolute() && !ref.starts_with('#'))
    return std::nullopt;
  auto u = Parse(std::move(ref), b ? &*b : nullptr);
  if (!u) return std::nullopt;
  std::string href = Serialize(*u, encoding);
  const bool bHttp = u->scheme() == "http" || u->scheme() == "https";
  lastResolved = {href, bHttp ? std::optional(Host(*u)) : std::nullopt};
  return href;
}

std::optional<std::string> NormalizeUrl(std::string_view address) {
  return ResolveUrl({}, address);
}

std::optional<std::string> HttpHost(std::string_view address) {
  // A serialised address reads back as the same address, so its host is the one just found.
  if (address == lastResolved.href) return lastResolved.httpHost;
  std::string s = Strip(address);
  auto scheme = SchemeOf(s);
  if (scheme != "http" && scheme != "https") return std::nullopt;
  auto u = Parse(std::move(s), nullptr);
  if (!u) return std::nullopt;
  return Host(*u);
}

std::string FileUrlFromPath(std::string_view absolutePath) {
  return "file://" + Escape(absolutePath, kFilePathSet);
}

}  // namespace tavrin::url
