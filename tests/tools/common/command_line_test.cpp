#include <gtest/gtest.h>

#include <cstdint>

#include "tools/common/command_line.h"

using lumo::tools::parseSeconds;
using lumo::tools::parseUInt32;

TEST(CommandLineTest, NumbersAreJudgedByTheirValue) {
  std::uint32_t value = 0;
  EXPECT_TRUE(parseUInt32(L"00000000001", &value));
  EXPECT_EQ(value, 1u);
  EXPECT_TRUE(parseUInt32(L"08", &value));
  EXPECT_EQ(value, 8u);
  EXPECT_TRUE(parseUInt32(L"0x00000000FFFFFFFF", &value));
  EXPECT_EQ(value, 0xFFFFFFFFu);
  EXPECT_TRUE(parseUInt32(L"4294967295", &value));
  EXPECT_EQ(value, 4294967295u);
  for (const wchar_t *bad : {L"4294967296", L"0x100000000", L"", L"0x", L" 5", L"5 ", L"-1", L"+1",
                             L"1e3", L"0xg", L"\x0661"}) {
    EXPECT_FALSE(parseUInt32(bad, &value)) << bad;
  }
}

TEST(CommandLineTest, SecondsArePositiveUpToTheLimit) {
  std::uint32_t ms = 0;
  EXPECT_TRUE(parseSeconds(L"1.5", 10, &ms));
  EXPECT_EQ(ms, 1500u);
  EXPECT_TRUE(parseSeconds(L".25", 10, &ms));
  EXPECT_EQ(ms, 250u);
  EXPECT_TRUE(parseSeconds(L"10", 10, &ms));
  for (const wchar_t *bad : {L"0", L"10.5", L"-1", L"", L" 1", L"1s", L"inf", L"nan", L"0.0001"}) {
    EXPECT_FALSE(parseSeconds(bad, 10, &ms)) << bad;
  }
}
