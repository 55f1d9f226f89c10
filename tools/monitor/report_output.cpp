#include "report_output.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <thread>

#include "text_output.h"

namespace lumo {
namespace tools {

namespace {

const int batchPauseMs = 10;

}  // namespace

// Shared with the writer thread, which may still be inside a write when the
// monitor has given up on it: the thread holds its own reference.
struct ReportOutput::Shared {
  HANDLE stream;
  std::size_t capacity;
  std::mutex mutex;
  std::condition_variable changed;
  std::deque<std::wstring> lines;
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
  std::unique_lock<std::mutex> lock(shared->mutex);
  for (;;) {
    shared->waiting = true;
    shared->changed.wait(lock, [&] { return !shared->lines.empty() || shared->closing; });
    shared->waiting = false;
    if (shared->lines.empty()) {
      return;
    }
    // One write for everything queued so far.
    std::wstring text;
    while (!shared->lines.empty()) {
      text += shared->lines.front();
      text += L'\n';
      shared->queuedUnits -= shared->lines.front().size();
      shared->lines.pop_front();
    }
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

void ReportOutput::add(const std::wstring &line) {
  bool wake = false;
  {
    const std::lock_guard<std::mutex> lock(shared_->mutex);
    if (shared_->closing || shared_->broken ||
        shared_->queuedUnits + line.size() > shared_->capacity) {
      ++shared_->dropped;
      return;
    }
    shared_->lines.push_back(line);
    shared_->queuedUnits += line.size();
    wake = shared_->waiting;
  }
  if (wake) {
    shared_->changed.notify_all();
  }
}

std::uint64_t ReportOutput::finish(DWORD waitMs) {
  finished_ = true;
  std::unique_lock<std::mutex> lock(shared_->mutex);
  shared_->finishing = true;
  shared_->changed.notify_all();
  shared_->changed.wait_for(lock, std::chrono::milliseconds(waitMs), [&] {
    return (shared_->lines.empty() && !shared_->writing) || shared_->broken;
  });
  // A writer stuck with a reader that does not read is left to the end of
  // the process; what it was given counts as written.
  shared_->dropped += shared_->lines.size();
  shared_->lines.clear();
  shared_->closing = true;
  shared_->changed.notify_all();
  return shared_->dropped;
}

}  // namespace tools
}  // namespace lumo
