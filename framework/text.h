#pragma once
// UTF-8 inside, UTF-16 for the wide APIs; invalid input becomes U+FFFD rather than being dropped.

#include <string>
#include <string_view>

namespace tavrin {

std::wstring Utf8ToWide(std::string_view text);
// An unpaired surrogate becomes U+FFFD; every valid character survives the round trip.
std::string WideToUtf8(std::wstring_view text);

}  // namespace tavrin
