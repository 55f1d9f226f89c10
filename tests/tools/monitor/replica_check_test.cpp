// The replica check on the real screen: its captures are of the virtual
// screen the monitor started with, which a display change leaves behind.

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

#include "tools/monitor/replica_check.h"

using lumo::region::Rect;

namespace {

TEST(ReplicaCheckTest, CapturesOfAnotherVirtualScreenThanTheReplicasAreNotChecked) {
  const Rect captured(0, 0, 64, 48);
  struct Case {
    const char *what;
    Rect layout;
    bool checked;
  };
  const Case cases[] = {
      {"the same", captured, true},
      {"moved", Rect(16, 0, 80, 48), false},
      {"resized", Rect(0, 0, 32, 48), false},
      {"back", captured, true},
  };
  lumo::tools::ReplicaCheck check(captured);
  const std::vector<std::uint32_t> pixels(64 * 48);
  for (const Case &c : cases) {
    check.frame(c.layout, {});
    check.addCapture(pixels.data());
    const std::wstring summary = check.summary(0);
    EXPECT_EQ(summary.find(L"replica: not checked") == std::wstring::npos, c.checked) << c.what;
  }
}

}  // namespace
