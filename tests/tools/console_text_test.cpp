#include <gtest/gtest.h>

#include <string>

#include "tools/console_text.h"

using lumo::tools::fileBytes;
using lumo::tools::wideFormat;

TEST(ConsoleTextTest, FormatsTextsOfAnyLength) {
  const std::wstring long1000(1000, L'x');
  EXPECT_EQ(wideFormat(L"<%ls> %d", long1000.c_str(), 7), L"<" + long1000 + L"> 7");
  EXPECT_EQ(wideFormat(L"%ls", L"\u00FC\u20AC"), L"\u00FC\u20AC");
}

TEST(ConsoleTextTest, FilesAndPipesGetUtf8WithCarriageReturns) {
  EXPECT_EQ(fileBytes(L"Fenster \u00FC \u20AC \u65E5\u672C\nnext\n"),
            "Fenster \xC3\xBC \xE2\x82\xAC \xE6\x97\xA5\xE6\x9C\xAC\r\nnext\r\n");
  EXPECT_EQ(fileBytes(L"\U0001F600"), "\xF0\x9F\x98\x80");
}
