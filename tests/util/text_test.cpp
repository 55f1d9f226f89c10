#include <gtest/gtest.h>

#include <climits>
#include <random>
#include <string>

#include "util/text_conversion.h"
#include "util/text_format.h"

using lumo::format;
using lumo::toUtf16;
using lumo::toUtf8;

TEST(FormatTest, OutputsOfAnyLengthComeOutWholeAndExact) {
  EXPECT_EQ(format("%s", ""), "");
  for (std::size_t length : {999u, 1000u, 100000u}) {
    const std::string body(length - 5, 'x');
    EXPECT_EQ(format("%s-%d", body.c_str(), 1234), body + "-1234");
  }
  // The second pass must read the arguments from the start again.
  EXPECT_EQ(format("%*d|%s", 5000, 7, "end"), std::string(4999, ' ') + "7|end");
}

TEST(FormatTest, RejectedFormatGivesTheFailureText) {
  // msvcrt refuses wide text that the C locale cannot encode.
  EXPECT_EQ(format("%ls", L"\x20ac"), "can't format string");
}

TEST(ConversionTest, EmptyInputAndNuls) {
  EXPECT_EQ(toUtf8(nullptr), "");
  EXPECT_EQ(toUtf8(L""), "");
  EXPECT_EQ(toUtf16(""), L"");
  EXPECT_EQ(toUtf8(L"ab\0cd"), "ab");
  EXPECT_EQ(toUtf16(std::string("a\0b\0", 4)), std::wstring(L"a\0b\0", 4));
}

TEST(ConversionTest, InvalidInputBecomesTheReplacementCharacter) {
  EXPECT_EQ(toUtf8(L"a\xD800z"), "a\xEF\xBF\xBDz");
  EXPECT_EQ(toUtf16("a\xFFz"), L"a\xFFFDz");
}

TEST(ConversionTest, ValidTextOfEveryLengthClassSurvivesTheRoundTrip) {
  EXPECT_EQ(toUtf8(L"\x00e9\x20ac\xD83D\xDE00"), "\xC3\xA9\xE2\x82\xAC\xF0\x9F\x98\x80");
  std::mt19937 random(7);
  const std::uint32_t limits[] = {0x80, 0x800, 0x10000, 0x110000};
  std::wstring text;
  for (int i = 0; i < 200000; ++i) {
    const std::uint32_t c = random() % limits[i % 4];
    if (c >= 0x10000) {
      text += static_cast<wchar_t>(0xD800 + ((c - 0x10000) >> 10));
      text += static_cast<wchar_t>(0xDC00 + (c & 0x3FF));
    } else if (c != 0 && (c < 0xD800 || c > 0xDFFF)) {
      text += static_cast<wchar_t>(c);
    }
  }
  EXPECT_EQ(toUtf16(toUtf8(text.c_str())), text);
}

TEST(ConversionTest, TextBeyondA32BitCountIsRefusedNotCut) {
  const std::string huge(static_cast<std::size_t>(INT_MAX) + 1, 'a');
  EXPECT_EQ(toUtf16(huge), L"incorrect string, can't convert to utf16");
}

TEST(ToLowerTest, ChangesOnlyAsciiCapitals) {
  std::string all;
  std::string expected;
  for (int b = 0; b < 256; ++b) {
    all += static_cast<char>(b);
    expected += static_cast<char>(b >= 'A' && b <= 'Z' ? b + 32 : b);
  }
  EXPECT_EQ(lumo::toLower(all), expected);
}
