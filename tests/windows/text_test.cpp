// UTF-8 and UTF-16 at the Windows boundary.
#include "framework/text.h"

#include <gtest/gtest.h>

using namespace tavrin;

TEST(Text, EveryValidCharacterSurvivesBothWays) {
  const std::wstring wide = L"a\u00e9\u3042\uff21\U0001f600\U0010fffd";
  const std::string utf8 = "a\u00e9\u3042\uff21\U0001f600\U0010fffd";
  EXPECT_EQ(WideToUtf8(wide), utf8);
  EXPECT_EQ(Utf8ToWide(utf8), wide);
  EXPECT_EQ(WideToUtf8(std::wstring(L"a\0b", 3)), std::string("a\0b", 3));
  EXPECT_EQ(WideToUtf8(L""), "");
}

TEST(Text, AnUnpairedSurrogateBecomesTheReplacementCharacter) {
  EXPECT_EQ(WideToUtf8(std::wstring{L'x', wchar_t(0xd800), L'y'}), "x\ufffdy");
  EXPECT_EQ(WideToUtf8(std::wstring{wchar_t(0xdc00)}), "\ufffd");
}
