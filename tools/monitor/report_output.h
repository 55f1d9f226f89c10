#pragma once

// The monitor's standard output, written by a thread of its own so that the
// message loop never waits for a reader: a slow reader must not keep the
// monitor from draining its queue, where Windows drops posts beyond 10,000
// waiting messages. What does not fit in the bounded buffer is dropped and
// counted.

#include <windows.h>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "region/rect.h"

namespace lumo {
namespace tools {

class ReportOutput {
public:
  static constexpr std::size_t defaultCapacity = 1 << 20;

  // Writes to the stream, which must stay open until finish().
  explicit ReportOutput(HANDLE stream, std::size_t capacity = defaultCapacity);
  ReportOutput(const ReportOutput &) = delete;
  ReportOutput &operator=(const ReportOutput &) = delete;
  // Calls finish() with no time to wait if it was not called.
  ~ReportOutput();

  // Queues a line (without its line end); never waits.
  void add(std::wstring_view line);
  // Queues the report's line, "left top right bottom".
  void addReport(const region::Rect &report);

  // Gives the writer up to waitMs to write what is queued; what is still
  // queued after that is dropped. Returns the number of lines dropped, now
  // and while the buffer was full.
  std::uint64_t finish(DWORD waitMs);

private:
  struct Shared;
  static void writeLines(const std::shared_ptr<Shared> &shared);

  std::shared_ptr<Shared> shared_;
  bool finished_ = false;
};

}  // namespace tools
}  // namespace lumo
