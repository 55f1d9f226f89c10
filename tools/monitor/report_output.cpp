#include "report_output.h"

#include <chrono>
#include <condition_variable>
#include <mutex>
#include <thread>

#include "text_output.h"

namespace lumo {
namespace tools {

namespace {

const int batchPauseMs = 10;

// Writes the number's digits backwards, ending at end; returns where they
// start.
wchar_t *digitsBefore(wchar_t *end, int value) {
  const bool negative = value < 0;
  // Unsigned, so that the most negative int has a magnitude too.
  unsigned magnitude = negative ? 0u - static_cast<unsigned>(value) : static_cast<unsigned>(value);
  do {
    *--end = static_cast<wchar_t>(L'0' + magnitude % 10);
    magnitude /= 10;
  } while (magnitude != 0);
  if (negative) {
    *--end = L'-';
  }
  return end;
}

}  // namespace

// Shared with the writer thread, which may still be inside a write when the
// monitor has given up on it: the thread holds its own reference.
struct ReportOutput::Shared {
  HANDLE stream;
  std::size_t capacity;
  std::mutex mutex;
  std::condition_variable changed;
  // The queued lines, each with its line end: one buffer, written whole
  // and handed back empty, so that a line costs one copy into it.
  std::wstring queued;
  std::size_t queuedLines = 0;
  std::size_t queuedUnits = 0;
  std::uint64_t dropped = 0;
  bool writing = false;
  bool finishing = false;
  // Waking the writer costs a system call; it is only woken when it waits.
  bool waiting = false;
  bool closing = false;
  bool broken = false;
};

void ReportOutput::writeLines(const std::shared_ptr<Shared> &shared) {
  std::wstring text;
  std::unique_lock<std::mutex> lock(shared->mutex);
  for (;;) {
    shared->waiting = true;
    shared->changed.wait(lock, [&] { return shared->queuedLines != 0 || shared->closing; });
    shared->waiting = false;
    if (shared->queuedLines == 0) {
      return;
    }
    // One write for everything queued so far; the monitor meanwhile fills
    // the buffer written last time.
    text.clear();
    text.swap(shared->queued);
    shared->queuedLines = 0;
    shared->queuedUnits = 0;
    shared->writing = true;
    lock.unlock();
    const bool written = writeText(shared->stream, text);
    lock.lock();
    shared->writing = false;
    shared->broken = shared->broken || !written;
    shared->changed.notify_all();
    // Lines that come meanwhile go out together: a write, and the wake-up
    // before it, are system calls, which a line each would cost the monitor.
    shared->changed.wait_for(lock, std::chrono::milliseconds(batchPauseMs),
                             [&] { return shared->closing || shared->finishing; });
  }
}

ReportOutput::ReportOutput(HANDLE stream, std::size_t capacity)
    : shared_(std::make_shared<Shared>()) {
  shared_->stream = stream;
  shared_->capacity = capacity;
  std::thread(writeLines, shared_).detach();
}

ReportOutput::~ReportOutput() {
  if (!finished_) {
    finish(0);
  }
}

void ReportOutput::add(std::wstring_view line) {
  bool wake = false;
  {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    if (shared_->closing || shared_->broken ||
        shared_->queuedUnits + line.size() > shared_->capacity) {
      ++shared_->dropped;
      return;
    }
    shared_->queued.append(line).push_back(L'\n');
    ++shared_->queuedLines;
    shared_->queuedUnits += line.size();
    wake = shared_->waiting;
  }
  if (wake) {
    shared_->changed.notify_all();
  }
}

void ReportOutput::addReport(const region::Rect &report) {
  // Four numbers of at most 11 characters and three spaces.
  wchar_t line[4 * 11 + 3];
  wchar_t *start = line + ARRAYSIZE(line);
  const int numbers[] = {report.left, report.top, report.right, report.bottom};
  for (int i = 3; i >= 0; --i) {
    start = digitsBefore(start, numbers[i]);
    if (i != 0) {
      *--start = L' ';
    }
  }
  add(std::wstring_view(start, static_cast<std::size_t>(line + ARRAYSIZE(line) - start)));
}

std::uint64_t ReportOutput::finish(DWORD waitMs) {
  finished_ = true;
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->finishing = true;
  shared_->changed.notify_all();
  shared_->changed.wait_for(lock, std::chrono::milliseconds(waitMs), [&] {
    return (shared_->queuedLines == 0 && !shared_->writing) || shared_->broken;
  });
  // A writer stuck with a reader that does not read is left to the end of
  // the process; what it was given counts as written.
  shared_->dropped += shared_->queuedLines;
  shared_->queued.clear();
  shared_->queuedLines = 0;
  shared_->queuedUnits = 0;
  shared_->closing = true;
  shared_->changed.notify_all();
  return shared_->dropped;
}

}  // namespace tools
}  // namespace lumo
