#include <gtest/gtest.h>

#include "child.h"
#include "win/log.h"

namespace lumo {
namespace {

// Formatting this would read through a wild pointer.
const char *const poison = reinterpret_cast<const char *>(1);

TEST(Log, LevelsReachTheSinkAsFinishedLines) {
  test::RecordingSink sink;
  Log log(&sink);
  log.error("e %d", -5);
  log.info("i %s", "\xc3\xa9t\xc3\xa9");
  log.debug("d %u %p", 7u, reinterpret_cast<void *>(0x1f));
  EXPECT_EQ(sink.lines, (std::vector<std::string>{"1 e -5", "4 i \xc3\xa9t\xc3\xa9",
                                                  "9 d 7 000000000000001F"}));
}

TEST(Log, RefusedLevelsAndMissingSinkFormatNothing) {
  test::RecordingSink sink(Log::infoLevel);
  Log log(&sink);
  log.debug("%s", poison);
  log.info("kept");
  EXPECT_EQ(sink.lines, std::vector<std::string>{"4 kept"});
  EXPECT_EQ(sink.asked, (std::vector<int>{9, 4}));
  Log silent;
  silent.error("%s", poison);
}

TEST(Log, EmptyTextIsNotPrintedAndLongTextIsWhole) {
  test::RecordingSink sink;
  Log log(&sink);
  log.info("%s", "");
  const std::string longText(5000, 'x');
  log.info("%s!", longText.c_str());
  ASSERT_EQ(sink.lines.size(), 1u);
  EXPECT_EQ(sink.lines[0], "4 " + longText + "!");
}

}  // namespace
}  // namespace lumo
