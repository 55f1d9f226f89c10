#include "diagnostics.h"

#include "text_output.h"

namespace lumo {
namespace tools {

void Diagnostics::say(const std::wstring &text) const {
  const HANDLE stream = stream_ != nullptr ? stream_ : GetStdHandle(STD_ERROR_HANDLE);
  writeText(stream, tool_ + L": " + text + L"\n");
}

void Diagnostics::status(const std::wstring &text) const { say(text); }

void Diagnostics::error(const std::wstring &text) const { say(text); }

int Diagnostics::fail(const std::wstring &text) const {
  error(text);
  return 1;
}

int Diagnostics::usageError(const std::wstring &problem) const {
  error(problem + L" (try --help)");
  return 2;
}

}  // namespace tools
}  // namespace lumo
