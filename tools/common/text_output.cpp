#include "text_output.h"

#include <cstdarg>

#include "util/text_conversion.h"
#include "util/text_format.h"

namespace lumo {
namespace tools {

namespace {

bool isConsole(HANDLE stream) {
  DWORD mode = 0;
  return GetFileType(stream) == FILE_TYPE_CHAR && GetConsoleMode(stream, &mode);
}

bool writeConsole(HANDLE stream, const std::wstring &text) {
  DWORD written = 0;
  for (std::size_t done = 0; done < text.size(); done += written) {
    if (!WriteConsoleW(stream, text.data() + done, static_cast<DWORD>(text.size() - done), &written,
                       nullptr) ||
        written == 0) {
      return false;
    }
  }
  return true;
}

bool writeBytes(HANDLE stream, const std::string &bytes) {
  DWORD written = 0;
  for (std::size_t done = 0; done < bytes.size(); done += written) {
    if (!WriteFile(stream, bytes.data() + done, static_cast<DWORD>(bytes.size() - done), &written,
                   nullptr) ||
        written == 0) {
      return false;
    }
  }
  return true;
}

}  // namespace

std::string fileBytes(const std::wstring &text) {
  std::wstring withReturns;
  withReturns.reserve(text.size() + text.size() / 16);
  for (const wchar_t unit : text) {
    if (unit == L'\n') {
      withReturns.push_back(L'\r');
    }
    withReturns.push_back(unit);
  }
  return toUtf8(withReturns.c_str());
}

bool writeText(HANDLE stream, const std::wstring &text) {
  if (stream == nullptr || stream == INVALID_HANDLE_VALUE) {
    return false;
  }
  return isConsole(stream) ? writeConsole(stream, text) : writeBytes(stream, fileBytes(text));
}

std::wstring formatText(const char *format, ...) {
  va_list args;
  va_start(args, format);
  const std::string text = vformat(format, args);
  va_end(args);
  return toUtf16(text);
}

std::string utf8(const std::wstring &text) { return toUtf8(text.c_str()); }

}  // namespace tools
}  // namespace lumo
