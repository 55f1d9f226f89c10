#include "command_line.h"

#include <cwchar>

namespace lumo {
namespace tools {

bool parseUInt32(const std::wstring &text, std::uint32_t *value) {
  const bool hex = text.size() > 2 && text[0] == L'0' && (text[1] == L'x' || text[1] == L'X');
  const std::size_t first = hex ? 2 : 0;
  if (text.size() == first) {
    return false;
  }
  std::uint64_t result = 0;
  for (std::size_t i = first; i < text.size(); ++i) {
    const wchar_t c = text[i];
    unsigned digit;
    if (c >= L'0' && c <= L'9') {
      digit = c - L'0';
    } else if (hex && c >= L'a' && c <= L'f') {
      digit = c - L'a' + 10;
    } else if (hex && c >= L'A' && c <= L'F') {
      digit = c - L'A' + 10;
    } else {
      return false;
    }
    result = result * (hex ? 16 : 10) + digit;
    if (result > 0xFFFFFFFFu) {
      return false;
    }
  }
  *value = static_cast<std::uint32_t>(result);
  return true;
}

bool parseSeconds(const std::wstring &text, double most, std::uint32_t *milliseconds) {
  if (text.empty() || (!(text[0] >= L'0' && text[0] <= L'9') && text[0] != L'.')) {
    return false;
  }
  wchar_t *end = nullptr;
  const double seconds = std::wcstod(text.c_str(), &end);
  if (*end != L'\0' || !(seconds > 0) || seconds > most || seconds * 1000 < 1) {
    return false;
  }
  *milliseconds = static_cast<std::uint32_t>(seconds * 1000);
  return true;
}

std::wstring quoted(const std::wstring &text) { return L"\"" + text + L"\""; }

}  // namespace tools
}  // namespace lumo
