#pragma once

// The source's own thread: its window, the hooks installed for it, the
// 32-bit loader's watch, the tracker's ticks, and every report as it comes.
// It waits on nothing but its queue, its clock and its stop: never on the
// consumer or the frame builder.

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "source/screen_source.h"
#include "source/shared_tracker.h"
#include "util/unique_handle.h"

namespace lumo {
namespace source {

class ReportIntake {
public:
  // Starts the thread and waits until it has its window and hooks. Throws
  // StartError where it has not, with everything undone.
  ReportIntake(const ScreenSourceSettings &settings, SharedTracker *tracker);
  ReportIntake(const ReportIntake &) = delete;
  ReportIntake &operator=(const ReportIntake &) = delete;
  ~ReportIntake();

  bool watching32() const { return watching32_.load(); }
  const std::wstring &why32NotWatched() const { return why32_; }

  // Removes the hooks, ends the loader and joins the thread; false where a
  // hook could not be removed. Once only: later calls give the same.
  bool stop() noexcept;

private:
  class Serving;
  void run(std::exception_ptr *failure);

  const ScreenSourceSettings &settings_;
  SharedTracker &tracker_;
  UniqueHandle stop_;
  UniqueHandle started_;
  std::wstring why32_;
  std::atomic<bool> watching32_{false};
  std::atomic<bool> removed_{true};
  std::thread thread_;
};

}  // namespace source
}  // namespace lumo
