// Addresses as browsers treat them: Boost.URL parses and resolves by RFC 3986; this layer adds
// what browsers do on top (white space, backslashes, percent-encoding, IDNA hosts, default ports).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrin::url {

// `reference` (an attribute value) resolved against the absolute address `base`, serialised the
// way a browser's href property gives it. `encoding` is the WHATWG name of the document's
// encoding, in which the query is percent-encoded. Addresses of schemes other than http, https
// and file pass through (stripped only). Empty when the reference cannot be parsed.
std::optional<std::string> ResolveUrl(std::string_view base, std::string_view reference,
                                      std::string_view encoding = "UTF-8");

// An absolute address normalised as ResolveUrl would give it; empty when it is not one.
std::optional<std::string> NormalizeUrl(std::string_view address);

// The bare host of an http or https address (lower case, IDNA converted); empty otherwise.
std::optional<std::string> HttpHost(std::string_view address);

// The file: address of an absolute local path.
std::string FileUrlFromPath(std::string_view absolutePath);

}  // namespace tavrin::url
