// Text encodings as a browser picks and names them (WHATWG Encoding Standard), converted by iconv.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace tavrin::text {

// The canonical WHATWG name of an encoding label ("sjis" -> "Shift_JIS"); empty for an unknown
// label. Labels are matched without regard to ASCII case and surrounding ASCII white space.
std::optional<std::string> EncodingForLabel(std::string_view label);

struct DecodedHtml {
  std::string utf8;
  std::string encoding;  // canonical WHATWG name
};

// Decodes the bytes of an HTML document the way a browser picks the encoding: byte-order mark,
// then `overrideLabel` (the user's choice), then the transport charset, then the <meta> prescan;
// with nothing declared UTF-8 when the bytes are valid UTF-8, else Shift_JIS when they read as
// Shift_JIS without a rejected sequence, else windows-1252. The prescan reads
// the first 1024 bytes as the HTML standard does; a <meta> naming UTF-16 means UTF-8 there, and
// x-user-defined windows-1252. Each invalid byte sequence becomes one U+FFFD. Empty when
// overrideLabel is given and names no known encoding. Shift_JIS is decoded as code page 932, and
// EUC-JP with the same JIS X 0208 table.
std::optional<DecodedHtml> DecodeHtml(std::string_view bytes,
                                      std::string_view transportCharset = {},
                                      std::string_view overrideLabel = {});

// UTF-8 text in the named encoding (a canonical name or any label); characters a browser does not
// write in it become "&#N;" as browsers write them into form data and queries: those whose bytes
// would not decode back to them, and those of rows browsers only read (Shift_JIS's user-defined
// rows, Big5's HKSCS rows below 0xA1, EUC-JP's JIS X 0212). As for URLs, the
// UTF-16 encodings, "replacement" and an unknown label give UTF-8. Bytes of `utf8` that are not
// UTF-8 count as U+FFFD.
//
// DecodeHtml and EncodeFromUtf8 throw std::runtime_error only when the C library lacks a
// converter (an incomplete installation).
std::string EncodeFromUtf8(std::string_view utf8, std::string_view encoding);

}  // namespace tavrin::text
