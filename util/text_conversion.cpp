#include "util/text_conversion.h"

#include <climits>
#include <locale>
#include <stdexcept>

#include <windows.h>

namespace lumo {

std::string toUtf8(const wchar_t *text) {
  if (text == nullptr) {
    return std::string();
  }
  try {
    const int withNul = WideCharToMultiByte(CP_UTF8, 0, text, -1, nullptr, 0, nullptr, nullptr);
    if (withNul <= 1) {
      return std::string();
    }
    // The string's own terminator takes the converted NUL.
    std::string result(static_cast<std::size_t>(withNul) - 1, '\0');
    WideCharToMultiByte(CP_UTF8, 0, text, -1, result.data(), withNul, nullptr, nullptr);
    return result;
  } catch (...) {
    return "incorrect string, can't convert to utf8";
  }
}

std::wstring toUtf16(const std::string &text) {
  if (text.empty()) {
    return std::wstring();
  }
  try {
    // The system takes a 32-bit count; a longer text would be cut to whatever
    // the truncated count says, so it is refused whole.
    if (text.size() > static_cast<std::size_t>(INT_MAX)) {
      throw std::length_error("text too long to convert");
    }
    const int length = static_cast<int>(text.size());
    const int units = MultiByteToWideChar(CP_UTF8, 0, text.data(), length, nullptr, 0);
    if (units <= 0) {
      return std::wstring();
    }
    std::wstring result(static_cast<std::size_t>(units), L'\0');
    MultiByteToWideChar(CP_UTF8, 0, text.data(), length, result.data(), units);
    return result;
  } catch (...) {
    return L"incorrect string, can't convert to utf16";
  }
}

std::string toLower(const std::string &text) {
  std::string result = text;
  const auto &ctype = std::use_facet<std::ctype<char>>(std::locale());
  ctype.tolower(result.data(), result.data() + result.size());
  return result;
}

}  // namespace lumo
