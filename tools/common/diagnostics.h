#pragma once

// What a tool says on standard error, each as a line "TOOL: TEXT": news of
// the run, and what went wrong with the exit code that goes with it.

#include <windows.h>

#include <string>

namespace lumo {
namespace tools {

class Diagnostics {
public:
  // Lines go to stream, or, where it is null, to the process's standard
  // error as it is when each line is said.
  explicit Diagnostics(const wchar_t *tool, HANDLE stream = nullptr)
      : tool_(tool), stream_(stream) {}

  // How the run goes.
  void status(const std::wstring &text) const;
  // Something went wrong.
  void error(const std::wstring &text) const;
  // Something went wrong that ends the run: gives its exit code, 1.
  int fail(const std::wstring &text) const;
  // The command line is wrong: says so with a pointer to the help, and
  // gives its exit code, 2.
  int usageError(const std::wstring &problem) const;

private:
  void say(const std::wstring &text) const;

  std::wstring tool_;
  HANDLE stream_;
};

}  // namespace tools
}  // namespace lumo
