#include <gtest/gtest.h>

#include <string>

#include "tools/common/text_output.h"

using lumo::tools::fileBytes;
using lumo::tools::formatText;

TEST(TextOutputTest, FormatsTextsOfAnyLength) {
  const std::string long1000(1000, 'x');
  EXPECT_EQ(formatText("<%s> %d", long1000.c_str(), 7), L"<" + std::wstring(1000, L'x') + L"> 7");
  EXPECT_EQ(formatText("%s", "\xC3\xBC\xE2\x82\xAC"), L"\u00FC\u20AC");
}

TEST(TextOutputTest, FilesAndPipesGetUtf8WithCarriageReturns) {
  EXPECT_EQ(fileBytes(L"Fenster \u00FC \u20AC \u65E5\u672C\nnext\n"),
            "Fenster \xC3\xBC \xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC\r\nnext\r\n");
  EXPECT_EQ(fileBytes(L"\U0001F600"), "\xF0\x9F\x98\x80");
}
