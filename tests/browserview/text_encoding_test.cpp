#include "browserview/text_encoding.h"

#include <gtest/gtest.h>

namespace tavrin::text {
namespace {

TEST(EncodeFromUtf8, WritesShiftJisAsCodePage932) {
  EXPECT_EQ(EncodeFromUtf8("日本", "Shift_JIS"), "\x93\xFA\x96\x7B");
  EXPECT_EQ(EncodeFromUtf8("日本", " sjis "), "\x93\xFA\x96\x7B");
}

TEST(EncodeFromUtf8, WritesUnrepresentableCharactersAsReferences) {
  EXPECT_EQ(EncodeFromUtf8("😀", "Shift_JIS"), "&#128512;");
  EXPECT_EQ(EncodeFromUtf8("a😀日", "Shift_JIS"), "a&#128512;\x93\xFA");
}

TEST(EncodeFromUtf8, PassesUtf8Through) {
  EXPECT_EQ(EncodeFromUtf8("日本😀", "UTF-8"), "日本😀");
  EXPECT_EQ(EncodeFromUtf8("日本😀", "utf-16le"), "日本😀");
}

}  // namespace
}  // namespace tavrin::text
