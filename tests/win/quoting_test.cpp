#include <gtest/gtest.h>

#include <random>

#include "child.h"
#include "util/text_conversion.h"
#include "win/argument_quoting.h"
#include "win/self_launcher.h"

namespace lumo {
namespace win {
namespace {

TEST(QuoteArgument, BackslashesDoubleOnlyBeforeQuotes) {
  EXPECT_EQ(quoteArgument(L""), L"\"\"");
  EXPECT_EQ(quoteArgument(L"plain"), L"\"plain\"");
  EXPECT_EQ(quoteArgument(L"a b\tc"), L"\"a b\tc\"");
  EXPECT_EQ(quoteArgument(L"say \"hi\""), L"\"say \\\"hi\\\"\"");
  EXPECT_EQ(quoteArgument(L"C:\\dir\\"), L"\"C:\\dir\\\\\"");
  EXPECT_EQ(quoteArgument(L"a\\b\\\\c"), L"\"a\\b\\\\c\"");
  EXPECT_EQ(quoteArgument(L"x\\\\\"y"), L"\"x\\\\\\\\\\\"y\"");
}

// Text that exercises the parser: quotes, runs of backslashes, blanks, and
// characters beyond ASCII, one of them outside the basic plane.
std::wstring randomArgument(std::mt19937 &random) {
  static const std::wstring pieces[] = {
      L"a",        L"Z", L"7", L" ", L"\t",     L"\"",     L"\\",     L"\\\\",
      L"\\\\\\\"", L"'", L"^", L"%", L"\u00e9", L"\u0416", L"\u4e2d", L"\U0001F600"};
  std::wstring argument;
  const int count = std::uniform_int_distribution<int>(0, 10)(random);
  std::uniform_int_distribution<std::size_t> pick(0, std::size(pieces) - 1);
  for (int i = 0; i < count; ++i) {
    argument += pieces[pick(random)];
  }
  if (random() % 4 == 0) {
    argument.append(random() % 4 + 1, L'\\');
  }
  return argument;
}

TEST(QuoteArgument, RandomArgumentsReachTheChildUnchanged) {
  const unsigned seed = std::random_device()();
  std::mt19937 random(seed);
  SCOPED_TRACE("seed " + std::to_string(seed));
  int checked = 0;
  for (int child = 0; child < 2; ++child) {
    SelfLauncher launcher;
    launcher.setShowCommand(SW_HIDE);
    std::vector<std::wstring> sent = {test::thisProgram(), L"--probe", L"args"};
    launcher.addArgument(sent[1]);
    launcher.addArgument(sent[2]);
    // Fill most of the command line, leaving room for the longest argument.
    for (std::size_t length = 0; length < 31000;) {
      sent.push_back(randomArgument(random));
      launcher.addArgument(sent.back());
      length += quoteArgument(sent.back()).size() + 1;
    }
    const test::ChildReport report = test::runReporting(launcher);
    ASSERT_EQ(report.runtimeArgv.size(), sent.size());
    ASSERT_EQ(report.shellArgv.size(), sent.size());
    for (std::size_t i = 0; i < sent.size(); ++i) {
      ASSERT_EQ(report.runtimeArgv[i], sent[i]) << "argument " << i;
      ASSERT_EQ(report.shellArgv[i], sent[i]) << "argument " << i;
    }
    checked += static_cast<int>(sent.size()) - 3;
  }
  EXPECT_GT(checked, 3000);
}

}  // namespace
}  // namespace win
}  // namespace lumo
