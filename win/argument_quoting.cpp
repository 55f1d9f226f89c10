#include "win/argument_quoting.h"

namespace lumo {
namespace win {

std::wstring quoteArgument(const std::wstring &argument) {
  std::wstring quoted(1, L'"');
  std::size_t backslashes = 0;
  for (const wchar_t c : argument) {
    if (c == L'\\') {
      ++backslashes;
    } else if (c == L'"') {
      quoted.append(2 * backslashes + 1, L'\\');
      quoted.push_back(c);
      backslashes = 0;
    } else {
      quoted.append(backslashes, L'\\');
      quoted.push_back(c);
      backslashes = 0;
    }
  }
  quoted.append(2 * backslashes, L'\\');
  quoted.push_back(L'"');
  return quoted;
}

}  // namespace win
}  // namespace lumo
