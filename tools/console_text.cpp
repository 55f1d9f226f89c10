#include "console_text.h"

#include <cwchar>
#include <vector>

#include "util/text_conversion.h"

namespace lumo {
namespace tools {

namespace {

bool isConsole(HANDLE stream) {
  DWORD mode = 0;
  return GetFileType(stream) == FILE_TYPE_CHAR && GetConsoleMode(stream, &mode);
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
  if (isConsole(stream)) {
    DWORD written = 0;
    for (std::size_t done = 0; done < text.size(); done += written) {
      if (!WriteConsoleW(stream, text.data() + done, static_cast<DWORD>(text.size() - done),
                         &written, nullptr) ||
          written == 0) {
        return false;
      }
    }
    return true;
  }
  const std::string bytes = fileBytes(text);
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

void complain(const wchar_t *tool, const std::wstring &text) {
  writeText(GetStdHandle(STD_ERROR_HANDLE), std::wstring(tool) + L": " + text + L"\n");
}

std::wstring wideVformat(const wchar_t *format, va_list args) {
  std::vector<wchar_t> buffer(256);
  for (;;) {
    va_list pass;
    va_copy(pass, args);
    const int length = std::vswprintf(buffer.data(), buffer.size(), format, pass);
    va_end(pass);
    if (length >= 0 && static_cast<std::size_t>(length) < buffer.size()) {
      return std::wstring(buffer.data(), static_cast<std::size_t>(length));
    }
    // Too small a buffer gives -1 from one C runtime and the length needed
    // from another; a bad format gives -1 too, and would grow the buffer
    // without end, so growth stops at a generous size.
    if (buffer.size() >= (1u << 20)) {
      return std::wstring();
    }
    buffer.resize(length > 0 ? static_cast<std::size_t>(length) + 1 : buffer.size() * 4);
  }
}

std::wstring wideFormat(const wchar_t *format, ...) {
  va_list args;
  va_start(args, format);
  std::wstring text = wideVformat(format, args);
  va_end(args);
  return text;
}

}  // namespace tools
}  // namespace lumo
