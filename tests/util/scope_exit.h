#pragma once

#include <functional>
#include <utility>

// Undoes a test's change to process state even when an assertion leaves early.
class ScopeExit {
public:
  explicit ScopeExit(std::function<void()> undo) : undo_(std::move(undo)) {}
  ~ScopeExit() { undo_(); }

private:
  std::function<void()> undo_;
};
