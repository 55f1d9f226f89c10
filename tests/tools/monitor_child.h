#pragma once

// The monitor run as a user runs it, in a process of its own.

#include <windows.h>

#include <atomic>
#include <string>
#include <thread>

#include "test_support.h"

namespace lumo {
namespace test {

std::string readFile(const std::wstring &path);

// A child whose standard error goes to a file and whose standard input is
// a pipe that stays open until closeInput(). Its standard output goes to a
// file, or, for a slow reader, to a pipe that this process reads a few
// bytes at a time.
class Child {
public:
  enum class Output { File, SlowReader };

  explicit Child(const std::wstring &arguments, Output output = Output::File,
                 const std::wstring &program = L"paintmonitor.exe");
  Child(const Child &) = delete;
  Child &operator=(const Child &) = delete;
  ~Child();

  bool started() const { return process_ != nullptr; }
  void closeInput() { input_.reset(); }

  // The exit code, or ~0u if the child is still running after the wait.
  DWORD finish(DWORD timeoutMs = 20000);
  void kill();

  std::string out() const { return readFile(outPath_); }
  std::string err() const { return readFile(errPath_); }
  // Waits up to ten seconds for the text on the child's stderr.
  bool says(const std::string &text) const;

private:
  static int count_;
  std::wstring outPath_;
  std::wstring errPath_;
  UniqueHandle input_;
  UniqueHandle slowOutput_;
  std::thread slowReader_;
  UniqueHandle process_;
};

}  // namespace test
}  // namespace lumo
