// Text encodings as a browser picks and names them (WHATWG Encoding Standard), converted by iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrin::text {

// The canonical WHATWG name of an encoding label ("sjis" -> "Shift_JIS"); empty for an unknown
// label. Labels are matched without regard to case and surrounding white space.
std::optional<std::string> EncodingForLabel(std::string_view label);

struct DecodedHtml {
  std::string utf8;
  std::string encoding;  // canonical WHATWG name
};

// Decodes the bytes of an HTML document the way a browser picks the encoding: byte-order mark,
// then `overrideLabel` (the user's choice), then the transport charset, then the <meta> prescan;
// with nothing declared UTF-8 when the bytes are valid UTF-8, else Shift_JIS. Bytes invalid in
// the chosen encoding become U+FFFD. Empty when overrideLabel names no known encoding.
std::optional<DecodedHtml> DecodeHtml(std::string_view bytes, std::string_view transportCharset = {},
                                      std::string_view overrideLabel = {});

// UTF-8 text in the named encoding; characters it cannot represent become "&#N;" as browsers
// write them into form data and queries.
std::string EncodeFromUtf8(std::string_view utf8, std::string_view encoding);

}  // namespace tavrin::text
