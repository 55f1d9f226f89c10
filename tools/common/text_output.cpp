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

// Calls write until all units are out; false when it fails or stalls.
template <typename Unit, typename Write>
bool writeAll(const Unit *units, std::size_t count, Write write) {
  DWORD written = 0;
  for (std::size_t done = 0; done < count; done += written) {
    if (!write(units + done, static_cast<DWORD>(count - done), &written) || written == 0) {
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
  if (isConsole(stream)) {
    return writeAll(text.data(), text.size(),
                    [stream](const wchar_t *units, DWORD count, DWORD *written) {
                      return WriteConsoleW(stream, units, count, written, nullptr) != FALSE;
                    });
  }
  const std::string bytes = fileBytes(text);
  return writeAll(bytes.data(), bytes.size(),
                  [stream](const char *units, DWORD count, DWORD *written) {
                    return WriteFile(stream, units, count, written, nullptr) != FALSE;
                  });
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
