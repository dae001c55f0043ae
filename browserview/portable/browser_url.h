// Addresses as browsers treat them: Boost.URL parses and resolves by RFC 3986; this layer adds
// what browsers do on top (white space, backslashes, percent-encoding, IDNA hosts, default ports).
//
// The rules are the WHATWG URL Standard's as Chromium applies them, for the special schemes
// http, https, file, ftp, ws and wss (ftp, ws and wss too since browsers treat them alike: their
// host is lower-cased and the default ports 21, 80 and 443 dropped). Known differences from
// Chromium, all rare in pages: a host with a space fails (Chromium writes "a%20b"); libidn2
// rejects non-ASCII names with "--" in the third and fourth place, a hyphen at a label's edge,
// or a symbol or emoji together with ß or ς, which browsers accept; "file:////x" keeps its
// slashes; addresses of the other schemes are not percent-encoded (Chromium encodes the space
// in "mailto:x?subject=a b").
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrin::url {

// `reference` (an attribute value) resolved against the absolute address `base`, serialised the
// way a browser's href property gives it. `encoding` is the WHATWG name of the document's
// encoding, in which the query is percent-encoded (UTF-8 for UTF-16 documents); a character it
// cannot represent is written "&#N;" and percent-encoded as such. An absolute reference of a
// scheme that is not special (javascript:, mailto:, data:, about: ...) passes through with only
// the stripping and its scheme in lower case. A relative reference needs a hierarchical base:
// against about:blank or mailto:x only a fragment resolves ("about:blank#x"). Empty when the
// reference cannot be parsed, or is an http(s) address without a host.
std::optional<std::string> ResolveUrl(std::string_view base, std::string_view reference,
                                      std::string_view encoding = "UTF-8");

// An absolute address normalised as ResolveUrl would give it (query in UTF-8); empty when it is
// not one.
std::optional<std::string> NormalizeUrl(std::string_view address);

// The bare host of an http or https address (lower case, IDNA converted, an IPv6 address in
// brackets, without user info and port); empty otherwise.
std::optional<std::string> HttpHost(std::string_view address);

// The file: address of an absolute local (POSIX) path, its bytes percent-encoded as needed.
std::string FileUrlFromPath(std::string_view absolutePath);

}  // namespace tavrin::url
